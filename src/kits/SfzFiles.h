#pragma once
// Files of an SFZ kit: sample files found although the kit spells their
// names in another case than the disk does (kits made on Windows and macOS
// do), and SFZ text told from other files by its content. Control thread.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace thumper {

// Finds relative (with '/' or '\' between folders) under folder: the exact
// name when it exists, else component by component the entry whose name
// differs only in the case of ASCII letters. Folder listings are kept, so
// thousands of samples in a few folders cost a few listings.
class SfzFileFinder {
 public:
  explicit SfzFileFinder(std::string folder) : m_strFolder(std::move(folder)) {}

  // The path of the file on disk, or nothing when there is none.
  std::optional<std::string> Find(std::string_view relative);

 private:
  const std::vector<std::string>& Listing(const std::string& folder);

  std::string m_strFolder;
  std::map<std::string, std::vector<std::string>> m_listings;
  std::map<std::string, std::optional<std::string>> m_found;
};

// True when text starts (after a byte order mark, blanks and comments) with
// an SFZ header such as <region> or <control>, or with #define or #include.
bool LooksLikeSfz(std::string_view text);

// Reads the head of the file at path and judges it with LooksLikeSfz.
bool IsSfzFile(const std::string& path);

}  // namespace thumper
