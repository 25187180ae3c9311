#pragma once
// Whole-file reads and crash-safe whole-file writes, with the framework's
// file-error texts. UI thread (or any non-real-time thread).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace thumper {

enum class FileError {
  None,
  NotFound,
  BadPath,
  AccessDenied,
  TooManyOpen,
  DiskFull,
  EndOfFile,
  HardIo,
  Generic,
};

// errno of a failed call; writing says whether the file was being created.
FileError FileErrorFromErrno(int err, bool writing);

// The framework's text for an error, "%1 was not found." and so on, with %1
// replaced by name.
std::string FileErrorText(FileError error, const std::string& name);

struct FileReadResult {
  FileError error = FileError::None;
  std::vector<uint8_t> bytes;
};

// Reads a regular file whole. Never blocks on a FIFO; a folder is "access denied".
[[nodiscard]] FileReadResult ReadWholeFile(const std::string& path);

// Writes a temporary file in the target's folder and renames it over the target,
// so that a failed write leaves the old file whole. The file keeps the old file's
// owner and permissions; a symbolic link keeps pointing at the file it named. A
// read-only target is refused, as the other platform refuses to overwrite one. A
// writable file in a folder that does not let us add files is overwritten in place.
[[nodiscard]] FileError WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace thumper
