// The render writes its file on a thread of its own, in large blocks; the file
// must be byte for byte what the writer alone makes of the same audio, block
// by block as the mixer hands it over.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

#include "app/cli/WavFileWriter.h"
#include "app/cli/WavWriterThread.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using test::ReadFileBytes;
using test::RunThumper;
using test::TempDir;

template <class T>
std::vector<T> ReadAll(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<T> out(static_cast<size_t>(info.frames) * info.channels);
  if constexpr (std::is_same_v<T, float>)
    sf_read_float(f, out.data(), sf_count_t(out.size()));
  else
    sf_read_short(f, out.data(), sf_count_t(out.size()));
  sf_close(f);
  return out;
}

// The single-threaded way: one write per mixed block of 1024 frames.
template <class T>
void WriteAlone(const std::string& path, WavSampleFormat format, const std::vector<T>& samples) {
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(path, format).ok);
  for (size_t at = 0; at < samples.size(); at += 2048) {
    const size_t n = std::min<size_t>(2048, samples.size() - at);
    ASSERT_TRUE(writer.Write(std::span<const T>(samples.data() + at, n)).ok);
  }
  ASSERT_TRUE(writer.Close().ok);
}

TEST(RenderWriterTest, TheDemoGrooveIsWrittenAsTheWriterAloneWritesIt) {
  const std::filesystem::path demo = std::filesystem::path(THUMPER_BINARY).parent_path() / "demo";
  ASSERT_TRUE(std::filesystem::exists(demo / "demo.drums"));
  TempDir dir;
  auto r =
      RunThumper({"render", demo / "demo.drums", demo / "demo.mid", "-o", dir / "threaded.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto shorts = ReadAll<int16_t>(dir / "threaded.wav");
  ASSERT_GT(shorts.size(), 4u * WavWriterThread::kBlockBytes / 2);  // several blocks
  WriteAlone(dir / "alone.wav", WavSampleFormat::Pcm16, shorts);
  EXPECT_TRUE(ReadFileBytes(dir / "threaded.wav") == ReadFileBytes(dir / "alone.wav"));

  r = RunThumper(
      {"render", demo / "demo.drums", demo / "demo.mid", "-o", dir / "threaded-f.wav", "--float"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto floats = ReadAll<float>(dir / "threaded-f.wav");
  WriteAlone(dir / "alone-f.wav", WavSampleFormat::Float32, floats);
  EXPECT_TRUE(ReadFileBytes(dir / "threaded-f.wav") == ReadFileBytes(dir / "alone-f.wav"));
}

// Audio mixed in place into the writer's blocks, in pieces of every length a
// render hands over (a block cut short by the song's end or by many events).
template <class T>
void WriteInPlace(const std::string& path, WavSampleFormat format, const std::vector<T>& samples) {
  WavFileWriter writer;
  ASSERT_TRUE(writer.Open(path, format).ok);
  WavWriterThread pipe(writer);
  for (size_t at = 0, piece = 0; at < samples.size(); ++piece) {
    std::span<T> room;
    if constexpr (std::is_same_v<T, float>)
      room = pipe.FloatRoom();
    else
      room = pipe.ShortRoom();
    const size_t n = std::min(samples.size() - at, 2 * (1 + piece * 97 % 1024));
    std::copy_n(samples.begin() + at, n, room.begin());
    ASSERT_TRUE(pipe.Commit(n).ok);
    at += n;
  }
  ASSERT_TRUE(pipe.Finish().ok);
  ASSERT_TRUE(writer.Close().ok);
}

TEST(RenderWriterTest, BlocksFilledInPlaceGiveTheWriterAlonesBytes) {
  TempDir dir;
  std::vector<int16_t> shorts(3 * WavWriterThread::kBlockBytes / 2 + 4242);
  for (size_t i = 0; i < shorts.size(); ++i) shorts[i] = static_cast<int16_t>(i * 7919);
  WriteInPlace(dir / "placed.wav", WavSampleFormat::Pcm16, shorts);
  WriteAlone(dir / "alone.wav", WavSampleFormat::Pcm16, shorts);
  EXPECT_TRUE(ReadFileBytes(dir / "placed.wav") == ReadFileBytes(dir / "alone.wav"));

  std::vector<float> floats(3 * WavWriterThread::kBlockBytes / 4 + 4242);
  for (size_t i = 0; i < floats.size(); ++i) floats[i] = std::sin(float(i)) * 0.9f;
  WriteInPlace(dir / "placed-f.wav", WavSampleFormat::Float32, floats);
  WriteAlone(dir / "alone-f.wav", WavSampleFormat::Float32, floats);
  EXPECT_TRUE(ReadFileBytes(dir / "placed-f.wav") == ReadFileBytes(dir / "alone-f.wav"));
}

TEST(RenderWriterTest, AFailedWriteIsReportedAndTheThreadEnds) {
  // A writer that takes 3 MiB at most: the failure on the writing thread comes
  // back to the renderer.
  TempDir dir;
  WavFileWriter writer(3u << 20);
  ASSERT_TRUE(writer.Open(dir / "out.wav", WavSampleFormat::Pcm16).ok);
  WavWriteStatus status;
  {
    WavWriterThread pipe(writer);
    std::vector<int16_t> block(2048, 1);
    for (int i = 0; i < 4000 && status.ok; ++i)
      status = pipe.Write(std::span<const int16_t>(block));
    if (status.ok) status = pipe.Finish();
  }
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("out.wav"), std::string::npos) << status.message;
  writer.Discard();
}

}  // namespace
}  // namespace thumper
