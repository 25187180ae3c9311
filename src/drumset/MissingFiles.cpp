#include "drumset/MissingFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "drumset/CThumperDoc.h"
#include "drumset/PathNames.h"
#include "drumset/TextEncoding.h"

namespace thumper {

FileDialogParams WavFileDialog(const std::string& initialName, uint32_t flags) {
  FileDialogParams params;
  params.bOpen = true;
  params.strDefExt = ".wav";
  params.strInitialName = initialName;
  params.nFlags = flags;
  params.strFilter = "Wav Files (*.wav) | *.wav||";
  return params;
}

bool SampleFileOpens(const std::string& path) {
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // A folder opens for reading too, but it is no sample.
  struct stat st {};
  const bool isFile = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  ::close(fd);
  return isFile;
}

std::optional<std::string> SampleFileIn(const std::string& folder, const std::string& name) {
  if (SampleFileOpens(folder + name)) return folder + name;
  if (IsValidUtf8(name)) return std::nullopt;
  const std::string decoded = folder + Windows1252ToUtf8(name);
  if (SampleFileOpens(decoded)) return decoded;
  return std::nullopt;
}

std::string ResolvedFolderOf(const std::string& path) {
  namespace fs = std::filesystem;
  if (path.empty()) return {};
  std::error_code ec;
  const fs::path real = fs::canonical(path, ec);
  if (ec) return {};
  const std::string given = FolderOf(path);
  const fs::path givenReal = fs::canonical(given.empty() ? "." : given, ec);
  if (!ec && givenReal == real.parent_path()) return {};
  std::string folder = real.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string LocateSampleFile(const std::string& path, SampleSearch& search, UiServices& ui) {
  if (SampleFileOpens(path)) return path;
  const std::string name = FileNameOf(path);
  if (!IsValidUtf8(name))
    if (auto found = SampleFileIn(FolderOf(path), name)) return *found;
  if (auto found = SampleFileIn(search.m_strDrumSetFolder, name)) return *found;
  if (!search.m_strResolvedSetFolder.empty())
    if (auto found = SampleFileIn(search.m_strResolvedSetFolder, name)) return *found;
  if (auto found = SampleFileIn(search.m_strLastSampleDir, name)) return *found;
  const std::string lastTried = search.m_strLastSampleDir + name;

  // The user is shown the name as text, whatever its stored bytes.
  const std::string shown = DisplayText(lastTried);
  if (ui.MessageBox("Do you want to locate file " + shown + " it? (Yes recommended)",
                    "File " + shown + " has not been found", MsgButtons::YesNo,
                    MsgIcon::Question) != MsgResult::Yes)
    return MissingFileMarker;

  const FileDialogResult chosen = ui.FileDialog(WavFileDialog(shown, ofn::kMustExist));
  if (!chosen.bOk || chosen.paths.empty()) return MissingFileMarker;
  search.m_strLastSampleDir = FolderOf(chosen.Path());
  return chosen.Path();
}

void RunMissingFilePass(CThumperDoc& doc, SampleSearch& search, UiServices& ui) {
  for (int g = 0; g < doc.GroupCount() && g < kGroupListSlots; ++g) {
    if (!doc.m_pGroupList[g]) continue;
    StringList& list = *doc.m_pGroupList[g];
    const size_t n = list.size();
    std::vector<int> dropped;
    for (size_t i = 0; i < n; ++i) {
      std::string found = LocateSampleFile(list[i], search, ui);
      if (found == MissingFileMarker)
        dropped.push_back(static_cast<int>(i));
      else if (found != list[i])
        list[i] = std::move(found);
    }
    if (dropped.empty()) continue;
    for (int i : dropped) doc.ForgetSample(g, i);
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) list.erase(list.begin() + *it);
    // Every surviving reference moves up by the number of dropped entries before it.
    for (LayerSampleRef& ref : doc.m_layerSample) {
      if (ref.nGroup != g || ref.nIndex < 0) continue;
      const auto below =
          std::lower_bound(dropped.begin(), dropped.end(), ref.nIndex) - dropped.begin();
      ref.nIndex -= static_cast<int32_t>(below);
    }
  }
}

}  // namespace thumper
