#pragma once
// Where kits come from: what a file given by the user holds (judged by its
// content, not its name), Thumper's own kits folder, and the folders in which
// Hydrogen keeps installed kits. Control thread; reads the environment.

#include <string>
#include <vector>

#include "kits/HydrogenKit.h"
#include "kits/KitImport.h"

namespace thumper {

enum class KitSourceKind {
  Unreadable,  // missing, or cannot be opened
  KitJson,     // a drum set described as JSON (anything not recognised below)
  DrumkitXml,  // a Hydrogen drumkit.xml
  KitFolder,   // a folder holding drumkit.xml
  KitArchive,  // a .h2drumkit (compressed tar)
};

KitSourceKind KindOfKitSource(const std::string& path);

// True for the sources ImportKitSource takes: a kit folder, drumkit.xml, archive.
bool IsHydrogenKitSource(const std::string& path);

// $XDG_DATA_HOME/thumper/kits, or ~/.local/share/thumper/kits.
std::string ThumperKitsFolder();

// Where installed Hydrogen kits are looked for, in order: the system's data
// folders ($XDG_DATA_DIRS, by default /usr/local/share and /usr/share), the
// user's ($XDG_DATA_HOME or ~/.local/share, and ~/.hydrogen), each followed by
// hydrogen/data/drumkits, then Thumper's own kits folder. Without duplicates.
std::vector<std::string> KitSearchFolders();

struct FoundKit {
  std::string strFolder;
  HydrogenKit kit;
};

// Every kit in the search folders (a sub-folder with a readable drumkit.xml),
// in folder order and by name within a folder. Kits that cannot be read are
// reported in errors.
std::vector<FoundKit> FindInstalledKits(std::vector<std::string>& errors);

// Where the kit of a Hydrogen kit source lies: path itself, or for an archive
// the folder it was unpacked to in Thumper's kits folder. strError when it
// could not be unpacked.
struct KitFolderResult {
  std::string strPath;
  std::string strError;
  std::string strUnpackedTo;
  bool bReused = false;
};
KitFolderResult KitFolderOf(const std::string& path);

// A Hydrogen kit source read and made a drum set: an archive is first unpacked
// into Thumper's kits folder. A non-empty strError means nothing was made;
// bUsageError tells a refused option (exit status 1) from a file that cannot
// be read (status 2).
struct KitSourceResult {
  KitImportResult import;
  std::string strError;
  bool bUsageError = false;
  std::string strKitName;
  std::string strUnpackedTo;  // where an archive went
  bool bReused = false;       // the same kit was already unpacked there
};

KitSourceResult ImportKitSource(const std::string& path, const KitImportOptions& options = {});

}  // namespace thumper
