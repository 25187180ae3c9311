#include "kits/KitSources.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "kits/KitArchive.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  return Env("HOME");
}

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, as the
// base directory rules ask, else ~/.local/share.
std::string DataHome() {
  const std::string xdg = Env("XDG_DATA_HOME");
  if (!xdg.empty() && xdg.front() == '/') return xdg;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.local/share";
}

std::vector<std::string> DataDirs() {
  std::string dirs = Env("XDG_DATA_DIRS");
  if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
  std::vector<std::string> found;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(start, colon - start);
    if (!dir.empty() && dir.front() == '/') found.push_back(dir);
    start = colon + 1;
  }
  return found;
}

// The first bytes of a file, without blocking on a FIFO.
std::vector<uint8_t> Head(const std::string& path, size_t size) {
  std::vector<uint8_t> bytes(size);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  ssize_t got = ::read(fd, bytes.data(), bytes.size());
  ::close(fd);
  bytes.resize(got > 0 ? got : 0);
  return bytes;
}

bool LooksLikeXml(const std::vector<uint8_t>& head) {
  size_t i = 0;
  if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) i = 3;
  while (i < head.size() &&
         (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
    ++i;
  // Stricter than a '<': a ".drums" file for MIDI device 60 starts with one.
  const std::string_view text(reinterpret_cast<const char*>(head.data()) + i, head.size() - i);
  for (std::string_view start : {"<?xml", "<!--", "<drumkit_info"})
    if (text.substr(0, start.size()) == start) return true;
  return false;
}

}  // namespace

KitSourceKind KindOfKitSource(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return KitSourceKind::Unreadable;
  if (fs::is_directory(status)) return KitSourceKind::KitFolder;
  if (!fs::is_regular_file(status)) return KitSourceKind::Unreadable;
  const std::vector<uint8_t> head = Head(path, 512);
  if (LooksLikeArchive(head)) return KitSourceKind::KitArchive;
  if (LooksLikeXml(head)) return KitSourceKind::DrumkitXml;
  return KitSourceKind::KitJson;
}

bool IsHydrogenKitSource(const std::string& path) {
  const KitSourceKind kind = KindOfKitSource(path);
  return kind == KitSourceKind::DrumkitXml || kind == KitSourceKind::KitFolder ||
         kind == KitSourceKind::KitArchive;
}

std::string ThumperKitsFolder() {
  const std::string data = DataHome();
  return data.empty() ? std::string() : data + "/thumper/kits";
}

std::vector<std::string> KitSearchFolders() {
  std::vector<std::string> folders;
  auto add = [&](const std::string& folder) {
    if (folder.empty()) return;
    const std::string normal = fs::path(folder).lexically_normal().string();
    if (std::find(folders.begin(), folders.end(), normal) == folders.end())
      folders.push_back(normal);
  };
  for (const std::string& dir : DataDirs()) add(dir + "/hydrogen/data/drumkits");
  if (!DataHome().empty()) add(DataHome() + "/hydrogen/data/drumkits");
  if (!HomeFolder().empty()) {
    add(HomeFolder() + "/.local/share/hydrogen/data/drumkits");
    add(HomeFolder() + "/.hydrogen/data/drumkits");
  }
  add(ThumperKitsFolder());
  return folders;
}

std::vector<FoundKit> FindInstalledKits(std::vector<std::string>& errors) {
  std::vector<FoundKit> found;
  for (const std::string& folder : KitSearchFolders()) {
    std::error_code ec;
    std::vector<fs::path> kits;
    for (const auto& item : fs::directory_iterator(folder, ec)) {
      if (item.is_directory(ec) && item.path().filename().string().front() != '.' &&
          fs::exists(item.path() / "drumkit.xml", ec))
        kits.push_back(item.path());
    }
    std::sort(kits.begin(), kits.end());
    for (const fs::path& kit : kits) {
      KitReadResult read = ReadHydrogenKit(kit.string());
      if (read.kit)
        found.push_back({kit.string(), std::move(*read.kit)});
      else
        errors.push_back(read.strError);
    }
  }
  return found;
}

KitFolderResult KitFolderOf(const std::string& path) {
  KitFolderResult result;
  result.strPath = path;
  if (KindOfKitSource(path) != KitSourceKind::KitArchive) return result;
  const std::string kits = ThumperKitsFolder();
  if (kits.empty()) {
    result.strError = path + ": nowhere to unpack it (neither XDG_DATA_HOME nor HOME is set)";
    return result;
  }
  const UnpackResult unpacked = UnpackKitArchive(path, kits);
  if (!unpacked.bOk) {
    result.strError = unpacked.strError;
    return result;
  }
  result.strPath = unpacked.strKitFolder;
  result.strUnpackedTo = unpacked.strKitFolder;
  result.bReused = unpacked.bReused;
  return result;
}

KitSourceResult ImportKitSource(const std::string& path, const KitImportOptions& options) {
  KitSourceResult result;
  const KitFolderResult folder = KitFolderOf(path);
  if (!folder.strError.empty()) {
    result.strError = folder.strError;
    return result;
  }
  const std::string& kitPath = folder.strPath;
  result.strUnpackedTo = folder.strUnpackedTo;
  result.bReused = folder.bReused;
  KitReadResult read = ReadHydrogenKit(kitPath);
  if (!read.kit) {
    result.strError = read.strError;
    return result;
  }
  result.strKitName = read.kit->strName;
  result.import = ImportHydrogenKit(*read.kit, options);
  if (result.import.error != KitImportError::None) {
    result.strError = result.import.strError;
    result.bUsageError = result.import.error == KitImportError::GmNotesUnusable;
  }
  return result;
}

}  // namespace thumper
