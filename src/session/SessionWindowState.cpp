#include "session/SessionWindowState.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace thumper {

std::string WindowStatePath(const std::string& drumSetPath) {
  std::filesystem::path path(drumSetPath);
  path.replace_extension(kWindowStateSuffix);
  return path.string();
}

bool ReadWindowShown(const std::string& drumSetPath) {
  std::ifstream in(WindowStatePath(drumSetPath));
  std::string word;
  return in >> word && word == kWindowShown;
}

std::string WriteWindowShown(const std::string& drumSetPath, bool shown) {
  const std::string path = WindowStatePath(drumSetPath);
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << (shown ? kWindowShown : kWindowHidden) << "\n";
    out.close();
    if (!out) {
      const std::string why = std::strerror(errno);
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return "The window's state cannot be written to " + path + ": " + why + ".";
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return "The window's state cannot be written to " + path + ": " + ec.message() + ".";
  }
  return {};
}

}  // namespace thumper
