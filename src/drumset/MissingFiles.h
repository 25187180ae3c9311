#pragma once
// Finding sample files that are no longer at their stored paths. UI thread only.

#include <optional>
#include <string>

#include "drumset/UiServices.h"

namespace thumper {
class CThumperDoc;
}

namespace thumper {

// Stands for a file that cannot be located; compared byte for byte.
inline constexpr const char* MissingFileMarker = "psrthgjkwcy";

// Where a drum set's samples are looked for besides their stored paths.
struct SampleSearch {
  std::string
      m_strDrumSetFolder;  // the drum set's folder with its trailing '/'; empty without a file
  std::string m_strLastSampleDir;  // where the user last located a file, with its trailing '/'
  // The folder of the file the drum set's path leads to through symbolic links,
  // with its trailing '/'; empty when that is the drum set's folder itself.
  std::string m_strResolvedSetFolder{};
};

// The folder, with its trailing '/', of the file path names once every symbolic
// link on the way (a link to the file, a chain of links, a linked folder) is
// followed; empty when that is the folder path names as given, or when path
// does not resolve. A host saves a kit as a link inside its session; the kit's
// samples lie beside the real file.
std::string ResolvedFolderOf(const std::string& path);

// The open dialog that looks for a sample file: ".wav", the wav filter, the
// given initial name and flags.
FileDialogParams WavFileDialog(const std::string& initialName, uint32_t flags);

// True when the path names a file that can be opened for reading.
bool SampleFileOpens(const std::string& path);

// folder + name when that file opens; for a name that is not UTF-8 (a kit from
// the original platform, whose names are Windows-1252) also folder + the name as
// it reads in UTF-8, the way the file is named here. Nothing when neither opens.
std::optional<std::string> SampleFileIn(const std::string& folder, const std::string& name);

// The path of the sample, found at its stored path, next to the drum set (as
// given, then as resolved), in the folder the user last chose, or chosen by the
// user; MissingFileMarker when the user declines or cancels.
std::string LocateSampleFile(const std::string& path, SampleSearch& search, UiServices& ui);

// Checks every entry of every group, in group and entry order, before any voice
// is made: a relocated entry takes its new path silently; an entry that cannot
// be located is forgotten by every layer, removed from its group, and the
// group's later references renumbered so they name the same paths. The
// modified flag is left as it was.
void RunMissingFilePass(CThumperDoc& doc, SampleSearch& search, UiServices& ui);

}  // namespace thumper
