// The group operations of the document: create, fill, empty and remove groups,
// and the ".slist" files of one group.

#include <algorithm>
#include <tuple>

#include "drumset/CThumperDoc.h"
#include "drumset/DrumSetTexts.h"
#include "drumset/FileIo.h"
#include "drumset/PathNames.h"
#include "drumset/SampleListFile.h"

namespace thumper {

bool CThumperDoc::AddGroup(UiServices& ui, SampleListState& list) {
  if (GroupCount() >= kUserGroupLimit) {
    ui.MessageBox(texts::kTooManyGroupsCreate, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  auto name = ui.CreateGroupDialog(texts::kOfferedGroupName);
  if (!name) return false;
  m_pGroupNames->push_back(std::move(*name));
  m_pGroupList[GroupCount() - 1] = std::make_unique<StringList>();
  list.m_nSelectedGroup = GroupCount() - 1;
  list.m_nListScroll = 0;
  SetModifiedFlag();
  return true;
}

bool CThumperDoc::MakeFirstGroup(UiServices& ui, SampleListState& list) {
  if (GroupCount() > 0) return true;
  auto name = ui.CreateGroupDialog(texts::kFirstGroupName);
  if (!name) return false;
  m_pGroupNames->push_back(std::move(*name));
  // The list slot 0 always holds becomes the group's list.
  if (!m_pGroupList[0]) m_pGroupList[0] = std::make_unique<StringList>();
  list.m_nSelectedGroup = 0;
  SetModifiedFlag();
  return true;
}

bool CThumperDoc::AddSamplesToGroup(int group, const std::vector<std::string>& paths,
                                    SampleListState& list) {
  if (group < 0 || group >= GroupCount() || !m_pGroupList[group]) return false;
  StringList& entries = *m_pGroupList[group];
  entries.insert(entries.end(), paths.begin(), paths.end());
  SetModifiedFlag();
  list.m_nListScroll = 0;
  return true;
}

bool CThumperDoc::RemoveSampleFromGroup(LayerVoiceHost& host, int group, int index) {
  if (!EntryPath(group, index) || !host.MayEdit()) return false;
  SetModifiedFlag();
  const LayerSampleRef gone{group, index};
  for (int s = 0; s < kSlotCount; ++s) {
    for (int l = 0; l < kLayerCount; ++l) {
      LayerSampleRef& ref = m_layerSample[LayerIndex(s, l)];
      // Clearing first, renumbering second: a slot cleared at layer 0 has no
      // references left in its other layers to renumber.
      if (ref == gone) {
        if (l == 0)
          ClearSlotImpl(host, s);
        else
          ClearLayerImpl(host, s, l);
      }
      if (ref.nGroup == group && ref.nIndex > index) --ref.nIndex;
    }
  }
  StringList& entries = *m_pGroupList[group];
  entries.erase(entries.begin() + index);
  host.LayersChanged();
  return true;
}

bool CThumperDoc::RemoveGroup(LayerVoiceHost& host, int group, SampleListState& list) {
  if (group < 0 || group >= GroupCount() || group >= kGroupListSlots || !host.MayEdit())
    return false;
  SetModifiedFlag();

  // Every layer that uses the group, in entry order, then slot and layer order.
  // A reference to the group with an index it does not have (a damaged file) goes
  // too, last: it must not be carried over to the group that moves into its place.
  const int size = m_pGroupList[group] ? static_cast<int>(m_pGroupList[group]->size()) : 0;
  std::vector<std::tuple<bool, int32_t, int>> uses;  // (index missing, index, layer index)
  for (int k = 0; k < kLayerTotal; ++k) {
    const LayerSampleRef& ref = m_layerSample[k];
    if (ref.nGroup == group) uses.emplace_back(ref.nIndex < 0 || ref.nIndex >= size, ref.nIndex, k);
  }
  std::sort(uses.begin(), uses.end());
  for (const auto& [missing, index, k] : uses) {
    if (m_layerSample[k] != LayerSampleRef{group, index}) continue;  // cleared with its slot
    const int slot = k / kLayerCount;
    const int layer = k % kLayerCount;
    if (layer == 0)
      ClearSlotImpl(host, slot);
    else if (!ClearLayerImpl(host, slot, layer))
      m_layerSample[k] = {};
  }

  for (auto& ref : m_layerSample) {
    if (ref.nGroup > group) --ref.nGroup;
  }
  for (int g = group; g + 1 < kGroupListSlots; ++g)
    m_pGroupList[g] = std::move(m_pGroupList[g + 1]);
  m_pGroupList[kGroupListSlots - 1].reset();
  m_pGroupNames->erase(m_pGroupNames->begin() + group);
  if (!m_pGroupList[0]) m_pGroupList[0] = std::make_unique<StringList>();

  list.m_nSelectedGroup = group > 0 ? group - 1 : 0;
  list.m_nListScroll = 0;
  host.LayersChanged();
  return true;
}

std::string CThumperDoc::SampleListInitialName(const SampleListState& list) const {
  const int g = list.m_nSelectedGroup;
  if (g >= 0 && g < GroupCount()) return (*m_pGroupNames)[g];
  return texts::kNoGroupFileName;
}

namespace {
FileDialogParams SampleListDialog(bool open, std::string initialName) {
  FileDialogParams params;
  params.bOpen = open;
  params.strDefExt = texts::kSampleListExt;
  params.strInitialName = std::move(initialName);
  params.nFlags = ofn::kStandard;
  params.strFilter = texts::kSampleListFilter;
  return params;
}
}  // namespace

GroupFileOutcome CThumperDoc::LoadSampleList(UiServices& ui, SampleListState& list) {
  if (GroupCount() >= kUserGroupLimit) {
    ui.MessageBox(texts::kTooManyGroupsLoad, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return GroupFileOutcome::Refused;
  }
  const FileDialogResult chosen =
      ui.FileDialog(SampleListDialog(true, SampleListInitialName(list)));
  if (!chosen.bOk || chosen.paths.empty()) return GroupFileOutcome::Cancelled;
  const std::string& path = chosen.Path();

  FileReadResult file = ReadWholeFile(path);
  if (file.error != FileError::None) {
    ui.MessageBox(FileErrorText(file.error, path), kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return GroupFileOutcome::OpenFailed;
  }
  SampleListContent content = ReadSampleList(file.bytes);
  m_pGroupNames->push_back(TitleOf(path));
  m_pGroupList[GroupCount() - 1] = std::make_unique<StringList>(std::move(content.entries));
  list.m_nSelectedGroup = GroupCount() - 1;
  list.m_nListScroll = 0;
  if (!content.bComplete) {
    ui.MessageBox(FileErrorText(FileError::EndOfFile, path), kAppName, MsgButtons::Ok,
                  MsgIcon::Warning);
    return GroupFileOutcome::ReadPartly;
  }
  return GroupFileOutcome::Done;
}

GroupFileOutcome CThumperDoc::SaveSampleList(UiServices& ui, SampleListState& list) {
  const FileDialogResult chosen =
      ui.FileDialog(SampleListDialog(false, SampleListInitialName(list)));
  if (!chosen.bOk || chosen.paths.empty()) return GroupFileOutcome::Cancelled;
  const std::string& path = chosen.Path();

  const int g = list.m_nSelectedGroup;
  static const StringList kNoEntries;
  const StringList* entries = &kNoEntries;
  if (g >= 0 && g < GroupCount()) {
    // The group takes the file's title before the file is written, and keeps it
    // when the write fails.
    (*m_pGroupNames)[g] = TitleOf(path);
    if (m_pGroupList[g]) entries = m_pGroupList[g].get();
  }
  const FileError error = WriteFileReplacing(path, WriteSampleList(*entries));
  if (error != FileError::None) {
    ui.MessageBox(FileErrorText(error, path), kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return GroupFileOutcome::WriteFailed;
  }
  return GroupFileOutcome::Done;
}

}  // namespace thumper
