#pragma once
// SFZ kits made by the tests: .sfz text and (empty) sample files in a folder.

#include <filesystem>
#include <string>

#include "kits/SfzReader.h"
#include "support/TestSupport.h"

namespace thumper::test {

class SfzKitFolder {
 public:
  // Writes text to name under the folder, making the folders it needs.
  void Write(const std::string& name, const std::string& text) {
    const std::filesystem::path path = m_dir.path() / name;
    std::filesystem::create_directories(path.parent_path());
    WriteTextFile(path.string(), text);
  }
  // The reader only looks samples up; their content does not matter here.
  void Sample(const std::string& name) { Write(name, "RIFF"); }

  SfzReadResult Read(const std::string& name = "kit.sfz", SfzReadOptions options = {}) const {
    return ReadSfzKit(m_dir / name, options);
  }
  std::string operator/(const std::string& name) const { return m_dir / name; }

 private:
  TempDir m_dir;
};

inline bool Mentions(const SfzReadResult& r, const std::string& text) {
  for (const std::string& m : r.messages)
    if (m.find(text) != std::string::npos) return true;
  return r.strError.find(text) != std::string::npos;
}

}  // namespace thumper::test
