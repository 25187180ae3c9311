#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>

#include "audio/WaveReader.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

std::vector<uint8_t> Le16(uint16_t v) {
  return {uint8_t(v & 0xFF), uint8_t(v >> 8)};
}
std::vector<uint8_t> Le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& part) {
  out.insert(out.end(), part.begin(), part.end());
}
void AppendText(std::vector<uint8_t>& out, const char* id) {
  out.insert(out.end(), id, id + 4);
}

std::vector<uint8_t> FmtChunk(int channels, uint32_t rate = 44100, int bits = 16) {
  std::vector<uint8_t> c;
  AppendText(c, "fmt ");
  Append(c, Le32(16));
  Append(c, Le16(1));
  Append(c, Le16(uint16_t(channels)));
  Append(c, Le32(rate));
  Append(c, Le32(rate * channels * bits / 8));
  Append(c, Le16(uint16_t(channels * bits / 8)));
  Append(c, Le16(uint16_t(bits)));
  return c;
}

std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> c;
  AppendText(c, id);
  Append(c, Le32(uint32_t(body.size())));
  Append(c, body);
  if (body.size() % 2) c.push_back(0);
  return c;
}

std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body;
  AppendText(body, "WAVE");
  for (const auto& c : chunks) Append(body, c);
  std::vector<uint8_t> file;
  AppendText(file, "RIFF");
  Append(file, Le32(uint32_t(body.size())));
  Append(file, body);
  return file;
}

std::vector<uint8_t> Held(const WaveReader& r) {
  return {r.m_pData.get(), r.m_pData.get() + r.m_nDataBytes};
}

// Writes frames of interleaved float through libsndfile in any format it knows.
void WriteWithSndfile(const std::string& path, int format, int channels, int rate,
                      const std::vector<float>& samples) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_float(f, samples.data(), sf_count_t(samples.size() / channels));
  sf_close(f);
}

class WaveReaderTest : public ::testing::Test {
 protected:
  ScriptedUi ui;
  WaveReader reader{ui};
  TempDir dir;

  int ReadBytes(const std::vector<uint8_t>& file) {
    const std::string path = dir / "s.wav";
    WriteFileBytes(path, file);
    return reader.Read(path);
  }
};

TEST_F(WaveReaderTest, StereoSixteenBitDataComesOutByteForByte) {
  std::vector<uint8_t> data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + 3);
  ASSERT_EQ(ReadBytes(Riff({FmtChunk(2), Chunk("data", data)})), 0);
  EXPECT_EQ(reader.m_nDataBytes, 1000u);
  EXPECT_EQ(Held(reader), data);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WaveReaderTest, MonoIsWidenedToTwoEqualChannels) {
  ASSERT_EQ(ReadBytes(Riff({FmtChunk(1), Chunk("data", {1, 2, 3, 4})})), 0);
  EXPECT_EQ(Held(reader), (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 3, 4}));
}

TEST_F(WaveReaderTest, ChunksMayStandInAnyOrderAmongOthers) {
  ASSERT_EQ(ReadBytes(Riff({Chunk("LIST", {'a', 'b', 'c'}), Chunk("data", {9, 8, 7, 6}),
                            Chunk("junk", {0, 0}), FmtChunk(2)})),
            0);
  EXPECT_EQ(Held(reader), (std::vector<uint8_t>{9, 8, 7, 6}));
}

TEST_F(WaveReaderTest, AMissingFileIsReportedAndHoldsNothing) {
  ASSERT_EQ(ReadBytes(Riff({FmtChunk(2), Chunk("data", {1, 2, 3, 4})})), 0);
  EXPECT_EQ(reader.Read(dir / "nothing-here.wav"), 1);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Could not OpenFile");
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(reader.m_pData, nullptr);
  EXPECT_EQ(reader.m_nDataBytes, 0u);
}

TEST_F(WaveReaderTest, DamagedFilesFailSilently) {
  const std::vector<std::vector<uint8_t>> files = {
      std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'},
      {},
      Riff({FmtChunk(2)}),                    // no data chunk
      Riff({Chunk("data", {1, 2, 3, 4})}),    // no format chunk
      {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W'},  // cut inside the header
  };
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(ReadBytes(files[i]), 1) << i;
    EXPECT_EQ(reader.m_pData, nullptr) << i;
    EXPECT_EQ(reader.m_nDataBytes, 0u) << i;
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WaveReaderTest, TruncatedOrOddDataGivesTheWholeFramesThatArePresent) {
  // The data chunk claims 1000 bytes; 10 are there.
  auto file = Riff({FmtChunk(2), Chunk("data", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10})});
  file[file.size() - 14] = 0xE8;  // size field low byte: 1000 = 0x3E8
  file[file.size() - 13] = 0x03;
  if (ReadBytes(file) == 0) {
    EXPECT_EQ(reader.m_nDataBytes % 4, 0u);
    EXPECT_LE(reader.m_nDataBytes, 8u);
    EXPECT_EQ(Held(reader),
              std::vector<uint8_t>(file.begin() + 44, file.begin() + 44 + reader.m_nDataBytes));
  }
  // An odd-length data chunk: the frames that are whole.
  ASSERT_EQ(ReadBytes(Riff({FmtChunk(2), Chunk("data", {1, 2, 3, 4, 5, 6, 7})})), 0);
  EXPECT_EQ(Held(reader), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(WaveReaderTest, OtherWidthsAreConvertedNotMisread) {
  const std::vector<float> stereo = {0.5f, -0.25f, 0.0f, 1.0f - 1.0f / 65536, -1.0f, 0.125f};
  const std::vector<int16_t> expected = {16384, -8192, 0, 32767, -32768, 4096};
  for (int subtype :
       {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
    const std::string path = dir / "w.wav";
    WriteWithSndfile(path, SF_FORMAT_WAV | subtype, 2, 44100, stereo);
    ASSERT_EQ(reader.Read(path), 0) << subtype;
    ASSERT_EQ(reader.m_nDataBytes, 12u) << subtype;
    std::vector<int16_t> got(6);
    std::memcpy(got.data(), reader.m_pData.get(), 12);
    const int tolerance = subtype == SF_FORMAT_PCM_U8 ? 256 : 1;
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], expected[i], tolerance) << subtype << " " << i;
  }
}

TEST_F(WaveReaderTest, FloatBeyondFullScaleSaturates) {
  const std::string path = dir / "hot.wav";
  WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, {2.0f, -3.0f});
  ASSERT_EQ(reader.Read(path), 0);
  std::vector<int16_t> got(4);
  std::memcpy(got.data(), reader.m_pData.get(), 8);
  EXPECT_EQ(got, (std::vector<int16_t>{32767, 32767, -32768, -32768}));
}

TEST_F(WaveReaderTest, OtherRatesAreConvertedToKeepThePitch) {
  // One second of a 1 kHz sine at 22,050 Hz becomes one second at 44,100 Hz.
  std::vector<float> mono(22050);
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * std::sin(2 * M_PI * 1000 * i / 22050.0);
  const std::string path = dir / "slow.wav";
  WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, mono);
  ASSERT_EQ(reader.Read(path), 0);
  const size_t frames = reader.m_nDataBytes / 4;
  EXPECT_NEAR(double(frames), 44100.0, 2.0);
  std::vector<int16_t> got(frames * 2);
  std::memcpy(got.data(), reader.m_pData.get(), frames * 4);
  for (size_t f : {1000u, 20000u, 30011u}) {
    const double want = 16384 * std::sin(2 * M_PI * 1000 * f / 44100.0);
    EXPECT_NEAR(got[2 * f], want, 200) << f;
    EXPECT_EQ(got[2 * f], got[2 * f + 1]);
  }
}

TEST_F(WaveReaderTest, MoreThanTwoChannelsGiveTheFirstTwo) {
  const std::string path = dir / "quad.wav";
  WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 44100,
                   {0.5f, -0.5f, 0.25f, 0.125f, 0.0f, 0.75f, 0.5f, 0.5f});
  ASSERT_EQ(reader.Read(path), 0);
  std::vector<int16_t> got(4);
  ASSERT_EQ(reader.m_nDataBytes, 8u);
  std::memcpy(got.data(), reader.m_pData.get(), 8);
  EXPECT_EQ(got, (std::vector<int16_t>{16384, -16384, 0, 24575}));  // written at 0.75 * 32767
}

TEST_F(WaveReaderTest, FlacAndAiffAreReadToo) {
  const std::vector<float> stereo = {0.5f, -0.5f, 0.25f, -0.25f};
  for (auto [name, format] : {std::pair{"s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                              std::pair{"s.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}}) {
    const std::string path = dir / name;
    WriteWithSndfile(path, format, 2, 44100, stereo);
    ASSERT_EQ(reader.Read(path), 0) << name;
    std::vector<int16_t> got(4);
    ASSERT_EQ(reader.m_nDataBytes, 8u) << name;
    std::memcpy(got.data(), reader.m_pData.get(), 8);
    EXPECT_EQ(got, (std::vector<int16_t>{16384, -16384, 8192, -8192})) << name;
  }
}

TEST_F(WaveReaderTest, TheCallerTakesTheDataOverAndTheNextReadReplacesIt) {
  ASSERT_EQ(ReadBytes(Riff({FmtChunk(2), Chunk("data", {1, 2, 3, 4})})), 0);
  std::unique_ptr<uint8_t[]> taken = std::move(reader.m_pData);
  ASSERT_EQ(ReadBytes(Riff({FmtChunk(1), Chunk("data", {5, 6})})), 0);
  EXPECT_EQ(taken[0], 1);
  EXPECT_EQ(Held(reader), (std::vector<uint8_t>{5, 6, 5, 6}));
}

TEST_F(WaveReaderTest, MemoryReadMatchesFileRead) {
  auto file = Riff({FmtChunk(1), Chunk("data", {1, 2, 3, 4})});
  ASSERT_EQ(reader.ReadMemory(file.data(), file.size()), 0);
  EXPECT_EQ(Held(reader), (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 3, 4}));
  EXPECT_EQ(reader.ReadMemory(file.data(), 20), 1);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace thumper::test
