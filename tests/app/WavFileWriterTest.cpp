// The WAV files a render writes: their bytes read back raw, the sample
// conversions, and every way writing can fail.

#include "app/cli/WavFileWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>

#include "support/TestSupport.h"

namespace thumper::test {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return uint16_t(b[at] | (b[at + 1] << 8));
}
std::string Id(const std::vector<uint8_t>& b, size_t at) {
  return std::string(b.begin() + at, b.begin() + at + 4);
}

// Offset of a chunk's data in a RIFF file, walking the chunks; 0 when absent.
size_t FindChunk(const std::vector<uint8_t>& b, const std::string& id, uint32_t* size) {
  for (size_t at = 12; at + 8 <= b.size(); at += 8 + Le32(b, at + 4) + (Le32(b, at + 4) & 1)) {
    if (Id(b, at) == id) {
      *size = Le32(b, at + 4);
      return at + 8;
    }
  }
  return 0;
}

std::vector<std::string> FilesIn(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WavFileWriterFormat, Pcm16FileIsACanonicalHeaderThenTheSamples) {
  TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  const std::vector<int16_t> samples = {1, -2, 32767, -32768, 0, 0x1234};
  ASSERT_TRUE(writer.Write(std::span<const int16_t>(samples)).ok);
  EXPECT_EQ(writer.FramesWritten(), 3);
  WavWriteStatus closed = writer.Close();
  ASSERT_TRUE(closed.ok) << closed.message;

  const std::vector<uint8_t> expected = {
      'R',  'I',  'F',  'F',  48,   0,    0,    0,    'W', 'A', 'V',  'E',
      'f',  'm',  't',  ' ',  16,   0,    0,    0,    1,   0,   2,    0,  // PCM, two channels
      0x44, 0xAC, 0,    0,                                                // 44,100 Hz
      0x10, 0xB1, 0x02, 0,                          // 176,400 bytes per second
      4,    0,    16,   0,                          // 4-byte frames of 16-bit samples
      'd',  'a',  't',  'a',  12,   0,    0,    0,  // 3 frames
      1,    0,    0xFE, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0,   0,   0x34, 0x12};
  EXPECT_EQ(ReadFileBytes(dir / "out.wav"), expected);
}

TEST(WavFileWriterFormat, FloatFileHoldsIeeeSamplesAndTheFrameCount) {
  TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Float32).ok);
  const std::vector<float> samples = {0.5f, -0.25f, 1.5f, -1.0f};
  ASSERT_TRUE(writer.Write(std::span<const float>(samples)).ok);
  ASSERT_TRUE(writer.Close().ok);

  const std::vector<uint8_t> b = ReadFileBytes(dir / "out.wav");
  ASSERT_GE(b.size(), 44u);
  EXPECT_EQ(Id(b, 0), "RIFF");
  EXPECT_EQ(Le32(b, 4), b.size() - 8);
  EXPECT_EQ(Id(b, 8), "WAVE");
  uint32_t size = 0;
  const size_t fmt = FindChunk(b, "fmt ", &size);
  ASSERT_NE(fmt, 0u);
  EXPECT_EQ(Le16(b, fmt), 3);  // IEEE float
  EXPECT_EQ(Le16(b, fmt + 2), 2);
  EXPECT_EQ(Le32(b, fmt + 4), 44100u);
  EXPECT_EQ(Le32(b, fmt + 8), 352800u);
  EXPECT_EQ(Le16(b, fmt + 12), 8);
  EXPECT_EQ(Le16(b, fmt + 14), 32);
  const size_t fact = FindChunk(b, "fact", &size);
  ASSERT_NE(fact, 0u);
  EXPECT_EQ(Le32(b, fact), 2u);
  EXPECT_EQ(FindChunk(b, "PEAK", &size), 0u)
      << "a peak chunk's time stamp would change every render";
  const size_t data = FindChunk(b, "data", &size);
  ASSERT_NE(data, 0u);
  ASSERT_EQ(size, 16u);
  ASSERT_EQ(data + size, b.size());
  float read[4];
  std::memcpy(read, &b[data], sizeof read);
  EXPECT_EQ(std::vector<float>(read, read + 4), samples);  // above full scale kept
}

TEST(WavFileWriterFormat, SameAudioGivesTheSameBytes) {
  TempDir dir;
  const std::vector<float> samples(2000, 0.125f);
  for (const char* name : {"a.wav", "b.wav"}) {
    WavFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / name, WavSampleFormat::Float32).ok);
    ASSERT_TRUE(writer.Write(std::span<const float>(samples)).ok);
    ASSERT_TRUE(writer.Close().ok);
  }
  EXPECT_EQ(ReadFileBytes(dir / "a.wav"), ReadFileBytes(dir / "b.wav"));
}

TEST(WavFileWriterConversion, FloatToPcm16RoundsToNearestAndSaturates) {
  TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> samples = {1.0f,  -1.0f,        0.5f,          -0.5f, 2.0f,
                                      -3.0f, 0.6f / 32768, -0.6f / 32768, nan,   0.0f};
  ASSERT_TRUE(writer.Write(std::span<const float>(samples)).ok);
  ASSERT_TRUE(writer.Close().ok);
  const std::vector<uint8_t> b = ReadFileBytes(dir / "out.wav");
  ASSERT_EQ(b.size(), 44u + 20);
  std::vector<int16_t> got(10);
  std::memcpy(got.data(), &b[44], 20);
  EXPECT_EQ(got, (std::vector<int16_t>{32767, -32768, 16384, -16384, 32767, -32768, 1, -1, 0, 0}));
}

TEST(WavFileWriterConversion, Pcm16IntoAFloatFileIsDividedBy32768) {
  TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Float32).ok);
  const std::vector<int16_t> samples = {-32768, 16384, 1, 0};
  ASSERT_TRUE(writer.Write(std::span<const int16_t>(samples)).ok);
  ASSERT_TRUE(writer.Close().ok);
  const std::vector<uint8_t> b = ReadFileBytes(dir / "out.wav");
  uint32_t size = 0;
  const size_t data = FindChunk(b, "data", &size);
  ASSERT_EQ(size, 16u);
  float read[4];
  std::memcpy(read, &b[data], sizeof read);
  EXPECT_EQ(std::vector<float>(read, read + 4),
            (std::vector<float>{-1.0f, 0.5f, 1.0f / 32768, 0.0f}));
}

TEST(WavFileWriterStreaming, ManyBlocksAddUpInTheHeader) {
  TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  std::vector<float> block(2 * 1237);
  for (int i = 0; i < 50; ++i) {
    for (size_t s = 0; s < block.size(); ++s) block[s] = float((i * 7 + s) % 200) / 256.0f;
    ASSERT_TRUE(writer.Write(std::span<const float>(block)).ok);
  }
  EXPECT_EQ(writer.FramesWritten(), 50 * 1237);
  ASSERT_TRUE(writer.Close().ok);
  const std::vector<uint8_t> b = ReadFileBytes(dir / "out.wav");
  EXPECT_EQ(b.size(), 44u + 50 * 1237 * 4);
  EXPECT_EQ(Le32(b, 4), b.size() - 8);
  EXPECT_EQ(Le32(b, 40), 50u * 1237 * 4);
  // The last sample of the last block: (49 * 7 + 2473) % 200 / 256 = 16 / 256.
  EXPECT_EQ(int16_t(Le16(b, b.size() - 2)), 2048);
}

TEST(WavFileWriterStreaming, FileAppearsUnderItsNameOnlyWhenClosed) {
  TempDir dir;
  WriteTextFile(dir / "out.wav", "the previous render");
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  const std::vector<int16_t> samples = {5, 6};
  ASSERT_TRUE(writer.Write(std::span<const int16_t>(samples)).ok);
  EXPECT_EQ(ReadFileBytes(dir / "out.wav").size(), 19u);
  ASSERT_TRUE(writer.Close().ok);
  EXPECT_EQ(ReadFileBytes(dir / "out.wav").size(), 48u);
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"out.wav"});
}

TEST(WavFileWriterStreaming, DiscardKeepsThePreviousFileAndLeavesNothingBehind) {
  TempDir dir;
  WriteTextFile(dir / "out.wav", "keep me");
  {
    WavFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
    const std::vector<int16_t> samples = {5, 6};
    ASSERT_TRUE(writer.Write(std::span<const int16_t>(samples)).ok);
    writer.Discard();
    EXPECT_FALSE(writer.IsOpen());
  }
  {
    WavFileWriter unclosed;  // dropped without Close: discarded too
    ASSERT_TRUE(unclosed.Open(dir / "new.wav", WavSampleFormat::Float32).ok);
  }
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"out.wav"});
  EXPECT_EQ(ReadFileBytes(dir / "out.wav").size(), 7u);
}

TEST(WavFileWriterStreaming, SymbolicLinkIsWrittenThroughAndKept) {
  TempDir dir;
  WriteTextFile(dir / "target.wav", "old");
  std::filesystem::create_symlink(dir / "target.wav", dir / "link.wav");
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "link.wav", WavSampleFormat::Pcm16).ok);
  const std::vector<int16_t> samples = {5, 6};
  ASSERT_TRUE(writer.Write(std::span<const int16_t>(samples)).ok);
  ASSERT_TRUE(writer.Close().ok);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.wav"));
  EXPECT_EQ(ReadFileBytes(dir / "target.wav").size(), 48u);
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"link.wav", "target.wav"}));
}

TEST(WavFileWriterErrors, CannotCreateNamesTheFileAndTheReason) {
  TempDir dir;
  WavFileWriter writer;
  WavWriteStatus missing = writer.Open(dir / "no/such/folder/out.wav", WavSampleFormat::Pcm16);
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.message.find("cannot create " + dir / "no/such/folder/out.wav"),
            std::string::npos)
      << missing.message;
  EXPECT_NE(missing.message.find("No such file or directory"), std::string::npos);
  EXPECT_FALSE(writer.IsOpen());

  WavWriteStatus folder = writer.Open(dir.path().string(), WavSampleFormat::Pcm16);
  EXPECT_FALSE(folder.ok);
  EXPECT_NE(folder.message.find("folder"), std::string::npos) << folder.message;

  WavWriteStatus full = writer.Open("/dev/full", WavSampleFormat::Pcm16);
  EXPECT_FALSE(full.ok);
  EXPECT_NE(full.message.find("No space left on device"), std::string::npos) << full.message;
  EXPECT_TRUE(FilesIn(dir).empty());
}

TEST(WavFileWriterErrors, BadCallsAreRefused) {
  TempDir dir;
  WavFileWriter writer;
  const std::vector<int16_t> odd = {1, 2, 3};
  EXPECT_FALSE(writer.Write(std::span<const int16_t>(odd)).ok);  // not open
  EXPECT_FALSE(writer.Close().ok);
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  EXPECT_FALSE(writer.Open(dir / "other.wav", WavSampleFormat::Pcm16).ok);
  WavWriteStatus status = writer.Write(std::span<const int16_t>(odd));
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("whole stereo frames"), std::string::npos);
  EXPECT_EQ(writer.FramesWritten(), 0);
  ASSERT_TRUE(writer.Close().ok);
  EXPECT_EQ(ReadFileBytes(dir / "out.wav").size(), 44u);
}

TEST(WavFileWriterErrors, SizeLimitOfTheFormatIsKept) {
  TempDir dir;
  WavFileWriter writer(400);  // stands in for the 4 GiB limit
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  const std::vector<int16_t> block(200);
  ASSERT_TRUE(writer.Write(std::span<const int16_t>(block)).ok);
  WavWriteStatus over = writer.Write(std::span<const int16_t>(std::vector<int16_t>(2)));
  EXPECT_FALSE(over.ok);
  EXPECT_NE(over.message.find("4 GiB"), std::string::npos) << over.message;
  EXPECT_EQ(writer.FramesWritten(), 100);
}

// Lowers the file size limit of this process, as a full disk would stop writes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = m_old;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old;
  void (*m_oldHandler)(int);
};

TEST(WavFileWriterErrors, WriteFailureIsReportedAndLeavesNoFile) {
  TempDir dir;
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  const std::vector<float> block(2 * 44100, 0.25f);
  WavWriteStatus status;
  {
    FileSizeLimit limit(64 * 1024);
    for (int i = 0; i < 4 && status.ok; ++i) status = writer.Write(std::span<const float>(block));
  }
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("cannot write " + dir / "out.wav" + ": File too large"),
            std::string::npos)
      << status.message;
  EXPECT_FALSE(writer.Write(std::span<const float>(block)).ok);
  WavWriteStatus closed = writer.Close();
  EXPECT_FALSE(closed.ok);
  EXPECT_TRUE(FilesIn(dir).empty());
}

}  // namespace
}  // namespace thumper::test
