#pragma once
// Unpacking a ".h2drumkit" (a compressed tar archive of a kit folder) into
// Thumper's own kits folder, safely: entries with absolute paths or ".."
// components, links that lead outside the folder, device files and archives past
// a size limit are refused, nothing is written outside the kit's folder, and a
// refused archive leaves nothing behind (it is unpacked beside the target first
// and renamed into place). Control thread; it does file I/O.

#include <cstdint>
#include <span>
#include <string>

namespace thumper {

inline constexpr uint64_t kMaxUnpackedBytes = uint64_t{4} << 30;  // 4 GiB in all
inline constexpr int kMaxArchiveEntries = 100000;

struct UnpackResult {
  bool bOk = false;
  std::string strError;      // names the archive and the entry
  std::string strKitFolder;  // the kit's folder, holding drumkit.xml
  bool bReused = false;      // an identical kit was already unpacked there
};

// Unpacks archivePath into kitsFolder/NAME, NAME being the archive's top folder
// (or the archive's own name when it has none). An existing folder of that name
// is reused when its drumkit.xml is identical; otherwise NAME-2, NAME-3, ...
UnpackResult UnpackKitArchive(const std::string& archivePath, const std::string& kitsFolder,
                              uint64_t maxBytes = kMaxUnpackedBytes);

// Whether the first bytes of a file are those of a compressed or plain tar archive.
bool LooksLikeArchive(std::span<const uint8_t> head);

}  // namespace thumper
