#include "kits/KitArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "drumset/FileIo.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;
using Components = std::vector<std::string>;

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};

class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }

 private:
  int m_fd;
};

// Splits an archive path into its components, dropping "." and empty ones.
// Nothing for an absolute path or one with "..".
std::optional<Components> SafeComponents(const std::string& path, std::string& why) {
  if (!path.empty() && path.front() == '/') {
    why = "has an absolute path";
    return std::nullopt;
  }
  Components parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    start = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      why = "has a \"..\" component";
      return std::nullopt;
    }
    if (part.size() > 255) {
      why = "has a name too long for the file system";
      return std::nullopt;
    }
    parts.push_back(std::move(part));
  }
  return parts;
}

std::string Joined(const Components& parts, size_t count) {
  std::string path;
  for (size_t i = 0; i < count && i < parts.size(); ++i) path += (i ? "/" : "") + parts[i];
  return path;
}

// The folder that holds parts[0..count), made where missing, reached without
// following any link.
Fd OpenFolder(int root, const Components& parts, size_t count) {
  Fd dir(::openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (size_t i = 0; i < count && dir; ++i) {
    const char* name = parts[i].c_str();
    if (::mkdirat(dir.get(), name, 0755) != 0 && errno != EEXIST) return Fd();
    dir = Fd(::openat(dir.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return dir;
}

struct PendingLink {
  Components where;
  std::string target;
  bool bHard = false;
};

class Unpacker {
 public:
  Unpacker(std::string archivePath, uint64_t maxBytes)
      : m_strArchive(std::move(archivePath)), m_nMaxBytes(maxBytes) {}

  // Unpacks every entry into the folder root; false with m_strError set on refusal.
  bool Run(const std::string& rootPath) {
    std::unique_ptr<archive, ArchiveCloser> a(archive_read_new());
    if (!a) return Fail("cannot be read (out of memory)");
    archive_read_support_filter_all(a.get());
    archive_read_support_format_tar(a.get());
    if (archive_read_open_filename(a.get(), m_strArchive.c_str(), 1 << 16) != ARCHIVE_OK)
      return Fail(std::string("is not a kit archive: ") + archive_error_string(a.get()));
    m_root = Fd(::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_root) return Fail("cannot be unpacked: " + std::string(std::strerror(errno)));

    archive_entry* entry = nullptr;
    int entries = 0;
    for (;;) {
      const int r = archive_read_next_header(a.get(), &entry);
      if (r == ARCHIVE_EOF) break;
      if (r < ARCHIVE_WARN)
        return Fail(std::string("is damaged: ") + archive_error_string(a.get()));
      if (++entries > kMaxArchiveEntries)
        return Fail("has more than " + std::to_string(kMaxArchiveEntries) + " entries");
      if (!Entry(a.get(), entry)) return false;
    }
    return true;
  }

  // Links last, so that no file is ever written through one; only those inside
  // the kit's own folder (kit, a path in the archive) are made.
  bool MakeLinks(const Components& kit) {
    auto inKit = [&](const PendingLink& link) {
      return link.where.size() > kit.size() &&
             std::equal(kit.begin(), kit.end(), link.where.begin());
    };
    for (const PendingLink& link : m_links)
      if (inKit(link) && !link.bHard && !CheckSymlink(link, kit.size())) return false;
    for (const PendingLink& link : m_links)
      if (inKit(link) && !MakeLink(link)) return false;
    return true;
  }

  const std::string& Error() const { return m_strError; }

 private:
  bool Fail(const std::string& why) {
    m_strError = m_strArchive + ": " + why;
    return false;
  }
  bool FailEntry(const std::string& name, const std::string& why) {
    return Fail("entry \"" + name + "\" " + why + "; nothing was unpacked");
  }

  bool Entry(archive* a, archive_entry* entry) {
    const char* raw = archive_entry_pathname(entry);
    if (!raw) raw = archive_entry_pathname_utf8(entry);
    if (!raw) return Fail("has an entry whose name cannot be read");
    const std::string name = raw;
    std::string why;
    const auto parts = SafeComponents(name, why);
    if (!parts) return FailEntry(name, why);
    if (parts->empty()) return true;  // the archive's "./"

    if (const char* hard = archive_entry_hardlink(entry)) {
      const auto target = SafeComponents(hard, why);
      if (!target || target->empty())
        return FailEntry(name, "links to \"" + std::string(hard) + "\", outside the kit");
      m_links.push_back({*parts, Joined(*target, target->size()), true});
      return true;
    }
    switch (archive_entry_filetype(entry)) {
      case AE_IFDIR:
        if (!OpenFolder(m_root.get(), *parts, parts->size()))
          return FailEntry(name, "cannot be made: " + std::string(std::strerror(errno)));
        return true;
      case AE_IFLNK: {
        const char* target = archive_entry_symlink(entry);
        m_links.push_back({*parts, target ? target : "", false});
        m_linkNames.insert(Joined(*parts, parts->size()));
        return true;
      }
      case AE_IFREG:
        return File(a, name, *parts);
      default:
        return FailEntry(name, "is a device or other special file");
    }
  }

  bool File(archive* a, const std::string& name, const Components& parts) {
    Fd dir = OpenFolder(m_root.get(), parts, parts.size() - 1);
    if (!dir) return FailEntry(name, "cannot be placed: " + std::string(std::strerror(errno)));
    Fd out(::openat(dir.get(), parts.back().c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out) return FailEntry(name, "cannot be written: " + std::string(std::strerror(errno)));
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
      const int r = archive_read_data_block(a, &block, &size, &offset);
      if (r == ARCHIVE_EOF) break;
      if (r < ARCHIVE_WARN) return Fail(std::string("is damaged: ") + archive_error_string(a));
      // Counted as written, sparse holes included, whatever the header claims.
      const uint64_t end = static_cast<uint64_t>(offset) + size;
      if (offset < 0 || end > m_nMaxBytes || m_nTotal + size > m_nMaxBytes)
        return Fail("unpacks to more than " + std::to_string(m_nMaxBytes >> 20) +
                    " MiB; nothing was unpacked");
      m_nTotal += size;
      const char* bytes = static_cast<const char*>(block);
      size_t done = 0;
      while (done < size) {
        const ssize_t n = ::pwrite(out.get(), bytes + done, size - done, offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
          return FailEntry(name, "cannot be written: " + std::string(std::strerror(errno)));
        done += n;
      }
    }
    return true;
  }

  // A symbolic link must stay inside the kit, and get there through real
  // folders only, so that what it names is what its text says.
  bool CheckSymlink(const PendingLink& link, size_t kitDepth) {
    const std::string name = Joined(link.where, link.where.size());
    if (link.target.empty() || link.target.front() == '/')
      return FailEntry(name, "links to \"" + link.target + "\", outside the kit");
    Components at(link.where.begin(), link.where.end() - 1);
    const Components steps = [&] {
      Components s;
      size_t start = 0;
      while (start <= link.target.size()) {
        size_t slash = link.target.find('/', start);
        if (slash == std::string::npos) slash = link.target.size();
        std::string part = link.target.substr(start, slash - start);
        if (!part.empty() && part != ".") s.push_back(part);
        start = slash + 1;
      }
      return s;
    }();
    for (size_t i = 0; i < steps.size(); ++i) {
      if (steps[i] == "..") {
        if (at.size() <= kitDepth)
          return FailEntry(name, "links to \"" + link.target + "\", outside the kit");
        at.pop_back();
        continue;
      }
      at.push_back(steps[i]);
      if (i + 1 == steps.size()) break;
      const std::string through = Joined(at, at.size());
      struct stat st {};
      if (m_linkNames.count(through) ||
          ::fstatat(m_root.get(), through.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISDIR(st.st_mode))
        return FailEntry(name,
                         "links through \"" + through + "\", which is not a folder of the kit");
    }
    return true;
  }

  bool MakeLink(const PendingLink& link) {
    const std::string name = Joined(link.where, link.where.size());
    Fd dir = OpenFolder(m_root.get(), link.where, link.where.size() - 1);
    if (!dir) return FailEntry(name, "cannot be placed: " + std::string(std::strerror(errno)));
    const char* leaf = link.where.back().c_str();
    ::unlinkat(dir.get(), leaf, 0);
    if (link.bHard) {
      struct stat st {};
      if (::fstatat(m_root.get(), link.target.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(st.st_mode) ||
          ::linkat(m_root.get(), link.target.c_str(), dir.get(), leaf, 0) != 0)
        return FailEntry(name, "links to \"" + link.target + "\", which is not a file of the kit");
      return true;
    }
    if (::symlinkat(link.target.c_str(), dir.get(), leaf) != 0)
      return FailEntry(name, "cannot be made: " + std::string(std::strerror(errno)));
    return true;
  }

  std::string m_strArchive;
  uint64_t m_nMaxBytes;
  uint64_t m_nTotal = 0;
  Fd m_root;
  std::vector<PendingLink> m_links;
  std::set<std::string> m_linkNames;
  std::string m_strError;
};

bool SameBytes(const fs::path& a, const fs::path& b) {
  const FileReadResult x = ReadWholeFile(a.string());
  const FileReadResult y = ReadWholeFile(b.string());
  return x.error == FileError::None && y.error == FileError::None && x.bytes == y.bytes;
}

// The folder in the unpacked tree that holds drumkit.xml: the top itself, or
// one of its folders.
std::optional<fs::path> FindKitRoot(const fs::path& top) {
  std::error_code ec;
  if (fs::is_regular_file(fs::symlink_status(top / "drumkit.xml", ec))) return top;
  std::vector<fs::path> folders;
  for (const auto& item : fs::directory_iterator(top, ec))
    if (item.is_directory(ec) && !item.is_symlink(ec)) folders.push_back(item.path());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& folder : folders)
    if (fs::is_regular_file(fs::symlink_status(folder / "drumkit.xml", ec))) return folder;
  return std::nullopt;
}

std::string ArchiveStem(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  const size_t dot = name.find('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? "kit" : name;
}

}  // namespace

bool LooksLikeArchive(std::span<const uint8_t> head) {
  auto starts = [&](std::initializer_list<uint8_t> magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin());
  };
  if (starts({0x1F, 0x8B}) || starts({'B', 'Z', 'h'}) || starts({0xFD, '7', 'z', 'X', 'Z'}) ||
      starts({0x28, 0xB5, 0x2F, 0xFD}))
    return true;
  return head.size() >= 263 && std::memcmp(head.data() + 257, "ustar", 5) == 0 &&
         (head[262] == 0 || head[262] == ' ');
}

UnpackResult UnpackKitArchive(const std::string& archivePath, const std::string& kitsFolder,
                              uint64_t maxBytes) {
  UnpackResult result;
  std::error_code ec;
  fs::create_directories(kitsFolder, ec);
  std::string pattern = (fs::path(kitsFolder) / ".unpacking-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    result.strError =
        archivePath + ": cannot unpack into " + kitsFolder + ": " + std::strerror(errno);
    return result;
  }
  const fs::path temp = pattern;
  struct Cleanup {
    fs::path path;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } cleanup{temp};

  Unpacker unpacker(archivePath, maxBytes);
  if (!unpacker.Run(temp.string())) {
    result.strError = unpacker.Error();
    return result;
  }
  const auto root = FindKitRoot(temp);
  if (!root) {
    result.strError = archivePath + ": the archive holds no drumkit.xml";
    return result;
  }
  Components kit;
  if (*root != temp) kit.push_back(root->filename().string());
  if (!unpacker.MakeLinks(kit)) {
    result.strError = unpacker.Error();
    return result;
  }
  const std::string name = *root == temp ? ArchiveStem(archivePath) : root->filename().string();
  for (int n = 1; n <= 1000; ++n) {
    const fs::path target = fs::path(kitsFolder) / (n == 1 ? name : name + "-" + std::to_string(n));
    if (fs::exists(fs::symlink_status(target, ec))) {
      if (SameBytes(target / "drumkit.xml", *root / "drumkit.xml")) {
        result.bOk = result.bReused = true;
        result.strKitFolder = target.string();
        return result;
      }
      continue;
    }
    // Never over a folder that appeared meanwhile.
    if (::renameat2(AT_FDCWD, root->c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      ::chmod(target.c_str(), 0755);  // mkdtemp made it private
      result.bOk = true;
      result.strKitFolder = target.string();
      return result;
    }
    if (errno != EEXIST && errno != ENOTEMPTY) {
      result.strError =
          archivePath + ": cannot move the kit to " + target.string() + ": " + std::strerror(errno);
      return result;
    }
  }
  result.strError = archivePath + ": no free folder name for " + name + " in " + kitsFolder;
  return result;
}

}  // namespace thumper
