#include "drumset/PathNames.h"

namespace thumper {

bool IsPathSeparator(char c) {
  return c == '/' || c == '\\';
}

namespace {
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i;
  }
  return 0;
}
}  // namespace

std::string FileNameOf(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string TitleOf(std::string_view path) {
  std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

std::string FolderOf(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

}  // namespace thumper
