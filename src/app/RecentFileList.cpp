#include "app/RecentFileList.h"

#include <QSettings>
#include <algorithm>

namespace thumper {
namespace {

constexpr const char* kSection = "Recent File List";
constexpr size_t kMaxDisplayLength = 30;

}  // namespace

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  std::erase(m_entries, path);
  m_entries.insert(m_entries.begin(), path);
  if (m_entries.size() > static_cast<size_t>(kSize)) m_entries.resize(kSize);
}

void RecentFileList::Remove(int index) {
  if (index < 0 || index >= static_cast<int>(m_entries.size())) return;
  m_entries.erase(m_entries.begin() + index);
}

void RecentFileList::ReadFrom(QSettings& settings) {
  m_entries.clear();
  settings.beginGroup(QLatin1String(kSection));
  for (int i = 1; i <= kSize; ++i) {
    const std::string path =
        settings.value(QStringLiteral("File%1").arg(i)).toString().toStdString();
    // A damaged list may hold gaps or doubles; keep the order, drop those.
    if (!path.empty() && std::find(m_entries.begin(), m_entries.end(), path) == m_entries.end())
      m_entries.push_back(path);
  }
  settings.endGroup();
}

void RecentFileList::WriteTo(QSettings& settings) const {
  settings.beginGroup(QLatin1String(kSection));
  for (int i = 1; i <= kSize; ++i) {
    const QString key = QStringLiteral("File%1").arg(i);
    if (i <= static_cast<int>(m_entries.size()))
      settings.setValue(key, QString::fromStdString(m_entries[i - 1]));
    else
      settings.remove(key);
  }
  settings.endGroup();
  settings.sync();
}

std::string AbbreviatePath(const std::string& path, size_t maxLength) {
  if (path.size() <= maxLength) return path;
  const size_t lastSlash = path.find_last_of('/');
  if (lastSlash == std::string::npos) return path;
  const std::string name = path.substr(lastSlash + 1);
  // The root and the first folder stay, then "...", then as many of the last
  // folders as fit; a name too long for even that stands alone.
  const size_t rootEnd = path.find('/', 1);
  if (rootEnd == std::string::npos || rootEnd >= lastSlash) return name;
  const std::string root = path.substr(0, rootEnd + 1);
  std::string tail = "/" + name;
  if (root.size() + 3 + tail.size() > maxLength) return name;
  size_t end = lastSlash;
  while (end > rootEnd) {
    const size_t prev = path.find_last_of('/', end - 1);
    if (prev == std::string::npos || prev < rootEnd) break;
    const std::string candidate = path.substr(prev, end - prev) + tail;
    if (root.size() + 3 + candidate.size() > maxLength) break;
    tail = candidate;
    end = prev;
  }
  return root + "..." + tail;
}

std::string RecentFileList::MenuText(int index) const {
  std::string shown = AbbreviatePath(m_entries.at(index), kMaxDisplayLength);
  std::string escaped;
  for (char c : shown) {
    if (c == '&') escaped += '&';
    escaped += c;
  }
  return "&" + std::to_string(index + 1) + " " + escaped;
}

}  // namespace thumper
