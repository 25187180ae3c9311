#pragma once
// The framework's recent-file list: at most four full paths, the most recent
// first, kept in the settings under "Recent File List" as File1 to File4.

#include <string>
#include <vector>

class QSettings;

namespace thumper {

class RecentFileList {
 public:
  static constexpr int kSize = 4;

  // Puts path first; an entry for the same file moves up instead of doubling.
  void Add(const std::string& path);
  void Remove(int index);
  const std::vector<std::string>& Entries() const { return m_entries; }
  bool Empty() const { return m_entries.empty(); }

  void ReadFrom(QSettings& settings);
  void WriteTo(QSettings& settings) const;

  // The menu text of entry index: "&1 " and the path, shortened to the folder's
  // root, "..." and the last folders that fit in 30 characters; & doubled.
  std::string MenuText(int index) const;

 private:
  std::vector<std::string> m_entries;
};

// The path shortened for a menu as described above.
std::string AbbreviatePath(const std::string& path, size_t maxLength);

}  // namespace thumper
