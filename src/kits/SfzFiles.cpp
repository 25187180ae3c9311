#include "kits/SfzFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace thumper {
namespace {

namespace fs = std::filesystem;

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

const std::vector<std::string>& SfzFileFinder::Listing(const std::string& folder) {
  auto [at, added] = m_listings.try_emplace(folder);
  if (added) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
      at->second.push_back(entry.path().filename().string());
    // The same choice on every machine when two names differ only in case.
    std::sort(at->second.begin(), at->second.end());
  }
  return at->second;
}

std::optional<std::string> SfzFileFinder::Find(std::string_view relative) {
  std::string name(relative);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty()) return std::nullopt;
  auto known = m_found.find(name);
  if (known != m_found.end()) return known->second;
  std::optional<std::string> found;
  const fs::path given(name);
  const std::string exact =
      (given.is_absolute() ? given : fs::path(m_strFolder) / given).lexically_normal().string();
  if (Exists(exact)) {
    found = exact;
  } else {
    std::string path = given.is_absolute() ? std::string("/") : m_strFolder;
    size_t start = 0;
    bool ok = true;
    while (ok && start <= name.size()) {
      size_t slash = name.find('/', start);
      if (slash == std::string::npos) slash = name.size();
      const std::string part = name.substr(start, slash - start);
      start = slash + 1;
      if (part.empty() || part == ".") continue;
      const std::string next = (fs::path(path) / part).string();
      if (part == ".." || Exists(next)) {
        path = next;
        continue;
      }
      ok = false;
      for (const std::string& entry : Listing(path)) {
        if (SameIgnoringCase(entry, part)) {
          path = (fs::path(path) / entry).string();
          ok = true;
          break;
        }
      }
    }
    if (ok && Exists(path)) found = fs::path(path).lexically_normal().string();
  }
  m_found.emplace(name, found);
  return found;
}

bool LooksLikeSfz(std::string_view text) {
  size_t i = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (text.substr(i, 2) == "//") {
      const size_t eol = text.find('\n', i);
      if (eol == std::string_view::npos) return false;
      i = eol + 1;
    } else if (text.substr(i, 2) == "/*") {
      const size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) return false;
      i = end + 2;
    } else {
      break;
    }
  }
  const std::string_view rest = text.substr(i);
  for (std::string_view start : {"<control>", "<global>", "<master>", "<group>", "<region>",
                                 "<curve>", "<effect>", "<midi>", "<sample>"})
    if (rest.substr(0, start.size()) == start) return true;
  for (std::string_view start : {"#define", "#include"})
    if (rest.substr(0, start.size()) == start && rest.size() > start.size() &&
        (rest[start.size()] == ' ' || rest[start.size()] == '\t'))
      return true;
  return false;
}

bool IsSfzFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  std::string head;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    // Room for a licence in a comment before the first header.
    head.resize(65536);
    const ssize_t got = ::read(fd, head.data(), head.size());
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  ::close(fd);
  return LooksLikeSfz(head);
}

}  // namespace thumper
