#include "drumset/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <random>

#include "drumset/PathNames.h"

namespace thumper {

FileError FileErrorFromErrno(int err, bool writing) {
  switch (err) {
    case 0:
      return FileError::Generic;
    case ENOENT:
      // Creating a file fails with ENOENT when its folder is missing.
      return writing ? FileError::BadPath : FileError::NotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return FileError::BadPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return FileError::AccessDenied;
    case EMFILE:
    case ENFILE:
      return FileError::TooManyOpen;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileError::DiskFull;
    case EIO:
      return FileError::HardIo;
    default:
      return FileError::Generic;
  }
}

std::string FileErrorText(FileError error, const std::string& name) {
  const char* pattern = "An unknown error occurred while accessing %1.";
  switch (error) {
    case FileError::NotFound:
      pattern = "%1 was not found.";
      break;
    case FileError::BadPath:
      pattern = "%1 contains an invalid path.";
      break;
    case FileError::AccessDenied:
      pattern = "Access to %1 was denied.";
      break;
    case FileError::TooManyOpen:
      pattern = "%1 could not be opened because there are too many open files.";
      break;
    case FileError::DiskFull:
      pattern = "Disk full while accessing %1.";
      break;
    case FileError::EndOfFile:
      pattern = "An attempt was made to access %1 past its end.";
      break;
    case FileError::HardIo:
      pattern = "A hardware I/O error was reported while accessing %1.";
      break;
    case FileError::None:
    case FileError::Generic:
      break;
  }
  std::string text = pattern;
  const size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, name);
  return text;
}

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  // Closes now and reports the result; a failed close can mean lost data.
  int Close() {
    const int r = ::close(m_fd);
    m_fd = -1;
    return r;
  }

 private:
  int m_fd;
};

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file a write should replace: the target of a symbolic link, else the path.
std::string ReplacedFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  }
  return path;
}

FileError WriteInPlace(const std::string& path, std::span<const uint8_t> bytes) {
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
  if (fd.get() < 0 || !WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || fd.Close() != 0)
    return FileErrorFromErrno(errno, true);
  return FileError::None;
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path) {
  FileReadResult result;
  // O_NONBLOCK so that opening a FIFO cannot hang; cleared once we know it is a file.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    result.error = FileErrorFromErrno(errno, false);
    return result;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    result.error = FileErrorFromErrno(errno, false);
    return result;
  }
  if (S_ISDIR(st.st_mode)) {
    result.error = FileError::AccessDenied;
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.error = FileError::Generic;
    return result;
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

  std::vector<uint8_t>& bytes = result.bytes;
  size_t used = 0;
  try {
    bytes.resize(static_cast<size_t>(st.st_size) + 1);  // one spare byte notices growth
  } catch (const std::bad_alloc&) {
    result.error = FileError::Generic;
    return result;
  }
  for (;;) {
    if (used == bytes.size()) {
      try {
        bytes.resize(bytes.size() * 2 + 4096);
      } catch (const std::bad_alloc&) {
        result.error = FileError::Generic;
        bytes.clear();
        return result;
      }
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = FileErrorFromErrno(errno, false);
      bytes.clear();
      return result;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  bytes.resize(used);
  return result;
}

FileError WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes) {
  const std::string target = ReplacedFile(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return FileError::AccessDenied;
  if (exists && ::access(target.c_str(), W_OK) != 0) return FileErrorFromErrno(errno, true);

  const std::string folder = FolderOf(target);
  const std::string stem = folder + "." + FileNameOf(target) + ".";
  std::random_device rd;
  std::string temp;
  int raw = -1;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    temp = stem + std::to_string(rd() % 1000000u) + ".tmp";
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) {
      // A writable file in a folder we may not add to: overwrite it in place.
      if (exists && (errno == EACCES || errno == EPERM)) return WriteInPlace(target, bytes);
      return FileErrorFromErrno(errno, true);
    }
  }
  if (raw < 0) return FileError::Generic;
  FileDescriptor fd(raw);
  auto fail = [&](int err) {
    ::unlink(temp.c_str());
    return FileErrorFromErrno(err, true);
  };
  if (exists) {
    // Best effort: the replacement keeps the old file's owner and permissions.
    (void)::fchown(fd.get(), old.st_uid, old.st_gid);
    (void)::fchmod(fd.get(), old.st_mode & 07777);
  }
  if (!WriteAll(fd.get(), bytes)) return fail(errno);
  if (::fsync(fd.get()) != 0) return fail(errno);
  if (fd.Close() != 0) return fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
  // Make the rename itself durable; a failure here no longer endangers the old file.
  FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.get() >= 0) (void)::fsync(dir.get());
  return FileError::None;
}

}  // namespace thumper
