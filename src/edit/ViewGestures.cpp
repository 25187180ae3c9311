#include "edit/ViewGestures.h"

#include <algorithm>

#include "drumset/MissingFiles.h"
#include "drumset/TextEncoding.h"
#include "view/ViewCursors.h"

namespace thumper {
namespace {

constexpr int kShownRows = 16;

}  // namespace

std::string RemoveLayerQuestion(int32_t slot, int32_t layer) {
  return "This will remove sample From sound " + std::to_string(slot) + " layer " +
         std::to_string(layer) + ". Proceed?";
}

ViewGestures::ViewGestures(CThumperView& view, ThumperRuntime& runtime, UiServices& ui)
    : m_view(view), m_runtime(runtime), m_ui(ui), m_doc(view.Document()), m_list(view.ListState()) {
  m_view.SetPointerHandler(this);
}

ViewGestures::~ViewGestures() {
  m_view.SetPointerHandler(nullptr);
  if (m_bCursorSet) m_view.unsetCursor();
}

void ViewGestures::ClearDragState() {
  m_bDragGroup = m_bDragSample = m_bDragCell = false;
  m_view.SampleList().m_bThumbDrag = false;
}

void ViewGestures::EndGesture() {
  ClearDragState();
  m_bCapture = false;
}

void ViewGestures::CarryCursor(bool bCell) {
  m_view.setCursor(bCell ? thumper::CellCursor() : thumper::CarryCursor());
  m_bCursorSet = true;
}

int ViewGestures::GroupRowAt(int x, int y) const {
  const int rows = std::min(kShownRows, m_doc.GroupCount());
  for (int i = 0; i < rows; ++i)
    if (m_view.Regions().m_rcGroupRow[i].Contains(x, y)) return i;
  return -1;
}

int ViewGestures::SampleRowAt(int x, int y) const {
  const int rows = std::min(kShownRows, m_view.SampleList().SelectedCount() - m_list.m_nListScroll);
  for (int i = 0; i < rows; ++i)
    if (m_view.Regions().m_rcSampleRow[i].Contains(x, y)) return i;
  return -1;
}

bool ViewGestures::Confirm(const std::string& question) {
  return m_ui.MessageBox(question, kDeletingCaption, MsgButtons::OkCancel) == MsgResult::Ok;
}

void ViewGestures::OnLeftPressed(int x, int y) {
  m_bCapture = true;
  ClearDragState();
  const ViewRegions& regions = m_view.Regions();
  SampleListPanel& list = m_view.SampleList();
  if (regions.m_rcGroupColumn.Contains(x, y)) {
    const int row = GroupRowAt(x, y);
    if (row < 0) return;
    m_list.m_nSelectedGroup = row;
    m_list.m_nListScroll = 0;
    list.DragScrollThumb(0, 40);
    m_bDragGroup = true;
    CarryCursor(false);
    list.DrawSampleListPanel(false);
  } else if (regions.m_rcSampleColumn.Contains(x, y)) {
    const int row = SampleRowAt(x, y);
    if (row < 0) return;
    m_nDragSample = m_list.m_nListScroll + row;
    m_bDragSample = true;
    CarryCursor(false);
  } else if (list.m_rcThumb.Contains(x, y)) {
    list.m_ptThumbDrag = {x, y};
    list.m_bThumbDrag = true;
  } else if (regions.m_rcLeftPanel.Contains(x, y) || regions.m_rcRightPanel.Contains(x, y)) {
    const std::optional<CellHit> cell = m_view.Keyboards().CellAt(x, y);
    if (!cell) return;
    m_nDragSlot = cell->nSlot;
    m_nDragLayer = cell->nLayer;
    m_bDragCell = true;
    CarryCursor(true);
  } else if (regions.m_rcButtonBlock.Contains(x, y)) {
    RunButton(regions.ButtonAt(x, y));
  } else if (regions.m_rcOctaveSelector.Contains(x, y)) {
    m_view.Keyboards().ChooseOctavePair(x, y);
  }
}

void ViewGestures::OnPointerMoved(int x, int y) {
  if (m_bCursorSet && !m_bDragGroup && !m_bDragSample && !m_bDragCell) {
    m_view.unsetCursor();
    m_bCursorSet = false;
  }
  SampleListPanel& list = m_view.SampleList();
  if (list.m_bThumbDrag && y > 40 && y < 210) {
    list.DragScrollThumb(x, y);
    return;
  }
  m_view.Face().ButtonHover(x, y);
}

void ViewGestures::OnLeftReleased(int x, int y) {
  if (!m_bCapture) return;
  const ViewRegions& regions = m_view.Regions();
  if (regions.m_rcLeftPanel.Contains(x, y) || regions.m_rcRightPanel.Contains(x, y))
    DropOnPanels(x, y);
  else if (regions.m_rcTrash.Contains(x, y))
    DropOnTrash();
  EndGesture();
}

void ViewGestures::DropOnPanels(int x, int y) {
  m_doc.SetModifiedFlag();
  if (!m_bDragSample) return;
  const std::optional<CellHit> cell = m_view.Keyboards().CellAt(x, y);
  if (!cell) return;
  m_doc.DropSampleOnLayer(m_runtime, m_ui, cell->nSlot, cell->nLayer, m_list.m_nSelectedGroup,
                          m_nDragSample);
  m_view.Keyboards().DrawKeyboardCells();
  m_view.SampleList().DrawSampleListPanel(false);
}

void ViewGestures::DropOnTrash() {
  if (m_bDragSample) {
    if (!Confirm(kRemoveSampleQuestion)) return;
    m_doc.RemoveSampleFromGroup(m_runtime, m_list.m_nSelectedGroup, m_nDragSample);
    m_view.FullRepaint();
  } else if (m_bDragGroup) {
    if (!Confirm(kRemoveGroupQuestion)) return;
    m_doc.RemoveGroup(m_runtime, m_list.m_nSelectedGroup, m_list);
    m_view.FullRepaint();
  } else if (m_bDragCell) {
    m_doc.SetModifiedFlag();
    if (m_nDragLayer == 0) {
      if (Confirm(kRemoveSoundQuestion)) m_doc.ClearSlot(m_runtime, m_nDragSlot);
    } else if (Confirm(RemoveLayerQuestion(m_nDragSlot, m_nDragLayer + 1))) {
      m_doc.ClearLayer(m_runtime, m_nDragSlot, m_nDragLayer);
    }
    m_view.SampleList().DrawFreeMemory();
    m_view.FullRepaint();
  }
}

void ViewGestures::OnLeftDoubleClicked(int x, int y) {
  const std::optional<CellHit> cell = m_view.Keyboards().CellAt(x, y);
  if (cell && m_hooks.editSoundProperties) m_hooks.editSoundProperties(cell->nSlot);
}

void ViewGestures::OnRightPressed(int x, int y) {
  const std::optional<CellHit> cell = m_view.Keyboards().CellAt(x, y);
  if (cell) {
    const int index = LayerIndex(cell->nSlot, cell->nLayer);
    const LayerSampleRef ref = m_doc.m_layerSample[index];
    // A damaged file may claim a sample of its own without naming one.
    if (m_doc.m_nLayerSource[index] == cell->nLayer && m_doc.EntryPath(ref.nGroup, ref.nIndex)) {
      m_list.m_nSelectedGroup = ref.nGroup;
      m_view.SampleList().m_nHighlightSample = ref.nIndex;
      m_list.m_nListScroll = ref.nIndex > 15 ? ref.nIndex - 15 : 0;
      m_view.SampleList().DrawSampleListPanel(false);
    }
  }
  if (const int row = SampleRowAt(x, y); row >= 0) StartPreview(row);
}

void ViewGestures::StartPreview(int row) {
  const int entry = m_list.m_nListScroll + row;
  const std::string* path = m_doc.EntryPath(m_list.m_nSelectedGroup, entry);
  if (!path) return;
  Surface& surface = m_view.GetSurface();
  m_rcPreviewRow = m_view.Regions().m_rcSampleRow[row];
  surface.CopyToSheet(m_rcPreviewRow.left, m_rcPreviewRow.top, kSaveUnderWidth, kSaveUnderHeight,
                      kSaveUnderStrip.x, kSaveUnderStrip.y);
  surface.TextInRect(Surface::Target::Window, m_rcPreviewRow,
                     QString::fromStdString(DisplayText(*path)), kPreviewTextColour, 0xff000000u);
  // A file that is found but cannot be read plays nothing; its path stays shown
  // until the release puts the row back. A file that is gone was reported in a
  // box, which took the release with it: the row is put back now instead.
  if (!m_runtime.PlayPreview(*path) && !SampleFileOpens(*path)) OnRightReleased(0, 0);
}

void ViewGestures::OnRightReleased(int, int) {
  m_runtime.StopPreview();
  if (m_rcPreviewRow.top != 0) {
    m_view.GetSurface().CopyFromSheet(kSaveUnderStrip.x, kSaveUnderStrip.y, kSaveUnderWidth,
                                      kSaveUnderHeight, m_rcPreviewRow.left, m_rcPreviewRow.top);
    m_rcPreviewRow = {};
  }
  m_view.SampleList().m_nHighlightSample = -1;
  m_view.SampleList().DrawSampleListPanel(false);
}

bool ViewGestures::OnKeyPressed(int key) {
  if (key != Qt::Key_Backspace) return false;
  RemoveSelectedGroup();
  return true;
}

}  // namespace thumper
