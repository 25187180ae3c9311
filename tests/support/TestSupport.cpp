#include "TestSupport.h"

#include <fstream>
#include <random>
#include <stdexcept>

namespace thumper::test {

MsgResult ScriptedUi::MessageBox(const std::string& text, const std::string& caption,
                                 MsgButtons buttons, MsgIcon icon) {
  messages.push_back({text, caption, buttons, icon});
  if (!messageAnswers.empty()) {
    MsgResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
  }
  return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes
                                                                              : MsgResult::Ok;
}

FileDialogResult ScriptedUi::FileDialog(const FileDialogParams& params) {
  fileDialogs.push_back(params);
  if (!fileAnswers.empty()) {
    FileDialogResult r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
  }
  return {};
}

std::optional<std::string> ScriptedUi::CreateGroupDialog(const std::string& offeredName) {
  createGroupOffers.push_back(offeredName);
  if (!createGroupAnswers.empty()) {
    auto r = createGroupAnswers.front();
    createGroupAnswers.pop_front();
    return r;
  }
  return offeredName;
}

std::vector<std::string> ScriptedUi::MessageTexts() const {
  std::vector<std::string> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto p = std::filesystem::temp_directory_path() /
             ("thumper-test-" + std::to_string(rd()) + std::to_string(attempt));
    if (std::filesystem::create_directory(p)) {
      m_path = p;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

namespace {
void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
  b.insert(b.end(), tag, tag + 4);
}
}  // namespace

void WriteWav(const std::string& path, const std::vector<int16_t>& samples, int channels,
              int sampleRate) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> b;
  PutTag(b, "RIFF");
  Put32(b, 36 + dataBytes);
  PutTag(b, "WAVE");
  PutTag(b, "fmt ");
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, static_cast<uint32_t>(channels));
  Put32(b, static_cast<uint32_t>(sampleRate));
  Put32(b, static_cast<uint32_t>(sampleRate * channels * 2));
  Put16(b, static_cast<uint32_t>(channels * 2));
  Put16(b, 16);
  PutTag(b, "data");
  Put32(b, dataBytes);
  for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
  WriteFileBytes(path, b);
}

}  // namespace thumper::test
