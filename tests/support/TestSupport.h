#pragma once
// Shared helpers for the tests: a scripted UiServices that records every call,
// a temporary folder, and small file helpers.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "drumset/UiServices.h"

namespace thumper::test {

// Records every modal call and answers from scripts. With an empty script a
// message box answers its first button (Ok / Yes), a file dialog cancels and
// the Create Group dialog accepts the offered name.
class ScriptedUi : public UiServices {
 public:
  struct Message {
    std::string text, caption;
    MsgButtons buttons;
    MsgIcon icon;
  };

  std::vector<Message> messages;
  std::vector<FileDialogParams> fileDialogs;
  std::vector<std::string> createGroupOffers;
  std::vector<Message> notices;  // non-modal reports (buttons and icon unused)

  std::deque<MsgResult> messageAnswers;
  std::deque<FileDialogResult> fileAnswers;
  std::deque<std::optional<std::string>> createGroupAnswers;

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                       MsgIcon icon) override;
  FileDialogResult FileDialog(const FileDialogParams& params) override;
  std::optional<std::string> CreateGroupDialog(const std::string& offeredName) override;
  void Notice(const std::string& text, const std::string& caption) override {
    notices.push_back({text, caption, MsgButtons::Ok, MsgIcon::None});
  }

  void AnswerFile(const std::string& path) { fileAnswers.push_back({true, {path}}); }
  void CancelFile() { fileAnswers.push_back({}); }
  std::vector<std::string> MessageTexts() const;
};

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteTextFile(const std::string& path, const std::string& text);
// The whole file as text; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

// A canonical RIFF WAVE file: PCM (format tag 1) with the given layout.
void WriteWav(const std::string& path, const std::vector<int16_t>& samples, int channels = 2,
              int sampleRate = 44100);

// The interleaved samples of a float WAV file.
inline std::vector<float> FloatWavSamples(const std::vector<uint8_t>& wav) {
  for (size_t at = 12; at + 8 <= wav.size();) {
    uint32_t size;
    std::memcpy(&size, wav.data() + at + 4, 4);
    if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      std::vector<float> out(std::min<size_t>(size, wav.size() - at - 8) / 4);
      std::memcpy(out.data(), wav.data() + at + 8, out.size() * 4);
      return out;
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

}  // namespace thumper::test
