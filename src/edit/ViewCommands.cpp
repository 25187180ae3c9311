// The panel buttons, Backspace and the load-samples command.
#include "edit/ViewGestures.h"

namespace thumper {

FileDialogParams DrumSetDialogParams(bool bOpen) {
  FileDialogParams params;
  params.bOpen = bOpen;
  params.strDefExt = ".drums";
  params.nFlags = ofn::kStandard;
  params.strFilter = bOpen ? kDrumSetOpenFilter : kDrumSetFilter;
  return params;
}

FileDialogParams LoadSampleDialogParams() {
  FileDialogParams params;
  params.bOpen = true;
  params.nFlags = ofn::kLoadSamples;
  params.strFilter = kWaveFilter;
  params.strTitle = kLoadSampleTitle;
  return params;
}

void ViewGestures::RunButton(int32_t button) {
  SampleListPanel& list = m_view.SampleList();
  switch (button) {
    case kOptions:
      if (m_hooks.showOptions) m_hooks.showOptions();
      break;
    case kLoadSet:
      if (const FileDialogResult r = m_ui.FileDialog(DrumSetDialogParams(true));
          r.bOk && !r.paths.empty() && m_hooks.openDrumSet)
        m_hooks.openDrumSet(r.Path());
      break;
    case kSaveSet:
      if (const FileDialogResult r = m_ui.FileDialog(DrumSetDialogParams(false));
          r.bOk && !r.paths.empty() && m_hooks.saveDrumSet)
        m_hooks.saveDrumSet(r.Path());
      break;
    case kCreateGroup:
      m_doc.AddGroup(m_ui, m_list);
      list.DrawSampleListPanel(false);
      break;
    case kLoadSample:
      LoadSamples();
      break;
    case kSaveGroup:
      m_doc.SaveSampleList(m_ui, m_list);
      list.DrawSampleListPanel(false);
      break;
    case kLoadGroup:
      m_doc.LoadSampleList(m_ui, m_list);
      list.DrawSampleListPanel(false);
      break;
    default:
      break;  // a gap between the buttons
  }
  // A command may have opened a dialog that took the mouse: the gesture is over.
  EndGesture();
}

void ViewGestures::LoadSamples() {
  if (m_doc.GroupCount() == 0 && !m_doc.MakeFirstGroup(m_ui, m_list)) return;
  SampleListPanel& list = m_view.SampleList();
  // The group made above is drawn even when the file dialog is cancelled.
  list.DrawSampleListPanel(false);
  const FileDialogResult r = m_ui.FileDialog(LoadSampleDialogParams());
  if (!r.bOk || r.paths.empty()) return;
  m_doc.AddSamplesToGroup(m_list.m_nSelectedGroup, r.paths, m_list);
  list.DrawSampleListPanel(false);
}

void ViewGestures::RemoveSelectedGroup() {
  // Nothing to remove, so nothing to ask about.
  if (m_doc.GroupCount() == 0) return;
  if (!Confirm(kRemoveGroupQuestion)) return;
  m_doc.RemoveGroup(m_runtime, m_list.m_nSelectedGroup, m_list);
  EndGesture();
  m_view.FullRepaint();
}

}  // namespace thumper
