#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "AudioTestSupport.h"
#include "audio/SampleVoice.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

class SampleVoiceTest : public ::testing::Test {
 protected:
  Reclaimer reclaimer;
  PulledDevice device{reclaimer};
  ScriptedUi ui;
  Mixer& mixer = device.GetMixer();

  std::unique_ptr<SampleVoice> MakeVoice(const std::vector<uint8_t>& bytes, int copies = 16) {
    return std::make_unique<SampleVoice>(ui, &device, bytes.data(),
                                         static_cast<uint32_t>(bytes.size()), copies,
                                         OutputFormat(), "/samples/kick.wav");
  }
};

TEST_F(SampleVoiceTest, ConstructionMakesOneBufferAndItsDuplicates) {
  auto v = MakeVoice(ConstantSample(100, 1000));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(v->m_strName, "/samples/kick.wav");
  EXPECT_EQ(v->m_nCopies, 16);
  EXPECT_EQ(v->m_nNext, 0);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(v->m_pBuffer[i].IsValid()) << i;
  auto preview = MakeVoice(ConstantSample(100, 1000), 1);
  EXPECT_TRUE(preview->m_pBuffer[0].IsValid());
  EXPECT_FALSE(preview->m_pBuffer[1].IsValid());
}

TEST_F(SampleVoiceTest, SeventeenthPlayRestartsTheCopyStartedFirst) {
  auto v = MakeVoice(RampSample(20000));
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(v->m_nNext, k);
    v->Play();
    MixLeft(mixer, 10);
  }
  EXPECT_EQ(v->m_nNext, 0);
  v->Play();  // at frame 160: copy 0 (started at frame 0) restarts
  EXPECT_EQ(v->m_nNext, 1);
  auto out = MixLeft(mixer, 200);
  // At frame 160 + 150 copies 1..15 are at 310 - 10k and the restarted copy at 150.
  int expected = 150;
  for (int k = 1; k < 16; ++k) expected += 310 - 10 * k;
  EXPECT_EQ(out[150], expected);
}

TEST_F(SampleVoiceTest, OneCopyRestartsFromTheBeginningEachPlay) {
  auto v = MakeVoice(RampSample(20000), 1);
  v->Play();
  MixLeft(mixer, 500);
  v->Play();
  EXPECT_EQ(v->m_nNext, 0);
  auto out = MixLeft(mixer, 100);
  EXPECT_EQ(out[0], 500);  // the new start at 0 and the old sound at 500, fading
  EXPECT_EQ(out[99], 99);  // the old sound is gone after the fade
}

TEST_F(SampleVoiceTest, SetVolumeChangesOnlyTheCopyThatPlaysNext) {
  auto v = MakeVoice(ConstantSample(20000, 10000));
  v->Play();  // copy 0 at full level
  MixLeft(mixer, 10);
  v->SetVolume(-2000);  // copy 1
  v->Play();
  auto out = MixLeft(mixer, 10);
  EXPECT_EQ(out[0], 10000 + 1000);
  v->Play();  // copy 2 still at full level: a new copy plays at attenuation 0
  EXPECT_EQ(MixLeft(mixer, 10)[0], 10000 + 1000 + 10000);
}

TEST_F(SampleVoiceTest, StopAllFadesEveryCopyAndTheNextPlayStartsAtTheBeginning) {
  auto v = MakeVoice(RampSample(20000));
  v->Play();
  v->Play();
  MixLeft(mixer, 1000);
  v->StopAll();
  auto out = MixLeft(mixer, 100);
  EXPECT_EQ(out[0], 2000);
  EXPECT_EQ(out[88], 0);
  EXPECT_EQ(v->m_nNext, 2);
  v->Play();
  EXPECT_EQ(MixLeft(mixer, 10)[5], 5);
}

TEST_F(SampleVoiceTest, DestructionReleasesEveryCopyAndFreesTheDataOnce) {
  auto v = MakeVoice(ConstantSample(20000, 100));
  for (int i = 0; i < 4; ++i) v->Play();
  MixLeft(mixer, 10);
  v.reset();
  EXPECT_EQ(reclaimer.PendingCount(), 1u);
  MixLeft(mixer, 256);  // the block that notices the release ends the copies
  EXPECT_EQ(mixer.SoundingVoices(), 0u);
  EXPECT_EQ(reclaimer.Reclaim(), 0u);  // not before the next block has begun
  MixLeft(mixer, 16);
  EXPECT_EQ(reclaimer.Reclaim(), 1u);
}

TEST_F(SampleVoiceTest, NoDeviceReportsTheBufferAndTheVoiceDoesNothing) {
  auto bytes = ConstantSample(100, 1);
  SampleVoice v(ui, nullptr, bytes.data(), 400, 16, OutputFormat(), "x.wav");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "En onnistunut luomaan bufferia");
  EXPECT_EQ(ui.messages[0].caption, "SND");
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
  EXPECT_FALSE(v.IsPlayable());
  v.SetVolume(-100);
  v.Play();
  v.StopAll();
  EXPECT_EQ(v.m_nNext, 0);
}

TEST_F(SampleVoiceTest, ASizeTheEngineCannotHoldIsReportedOnce) {
  auto bytes = ConstantSample(1, 1);
  SampleVoice empty(ui, &device, bytes.data(), 0, 16, OutputFormat(), "empty.wav");
  ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{"En onnistunut luomaan bufferia"});
  empty.Play();
  EXPECT_EQ(MixLeft(mixer, 4)[0], 0);
}

TEST_F(SampleVoiceTest, WidthTurnsAStereoSampleAndLeavesAMonoOneAsPanned) {
  std::vector<uint8_t> bytes(4 * 1000);
  for (uint32_t f = 0; f < 1000; ++f) {
    const int16_t l = 4000, r = 0;
    std::memcpy(&bytes[4 * f], &l, 2);
    std::memcpy(&bytes[4 * f + 2], &r, 2);
  }
  auto stereo = MakeVoice(bytes);
  EXPECT_TRUE(stereo->IsStereo());
  std::vector<int16_t> out(2 * 8);
  stereo->PlayWithWidth(1.0f, 1.0f, -1.0f, 0);  // swapped: the left input on the right
  mixer.Mix(out.data(), 8);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(out[3], 4000);
  stereo->StopAll(1);
  mixer.Mix(out.data(), 8);
  stereo->PlayWithWidth(1.0f, 0.5f, 0.0f, 0);  // the middle: the left input at cos(pi/4) to both
  mixer.Mix(out.data(), 8);
  EXPECT_EQ(out[2], std::lround(4000 * std::sqrt(0.5)));
  EXPECT_EQ(out[3], std::lround(4000 * std::sqrt(0.5)));
  stereo->StopAll(1);
  mixer.Mix(out.data(), 8);

  auto data = std::make_unique<SampleData>();
  data->pSamples = std::make_unique<int16_t[]>(1000);
  std::fill_n(data->pSamples.get(), 1000, int16_t{4000});
  data->nFrames = 1000;
  data->nChannels = 1;
  DecodedSample decoded;
  decoded.status = DecodeStatus::Ok;
  decoded.nVoiceBytes = 4000;
  decoded.pData = std::move(data);
  SampleVoice mono(ui, &device, std::move(decoded), 4, "mono.wav");
  ASSERT_TRUE(mono.IsPlayable());
  EXPECT_FALSE(mono.IsStereo());
  mono.PlayWithWidth(1.0f, 0.5f, -1.0f, 0);  // a mono sample has no width to turn
  mixer.Mix(out.data(), 8);
  EXPECT_EQ(out[2], 4000);
  EXPECT_EQ(out[3], 2000);
}

TEST_F(SampleVoiceTest, ConcurrentPlaysEachClaimTheirOwnCopy) {
  auto v = MakeVoice(ConstantSample(100000, 1));
  std::thread a([&] {
    for (int i = 0; i < 8; ++i) v->Play();
  });
  std::thread b([&] {
    for (int i = 0; i < 8; ++i) v->Play();
  });
  a.join();
  b.join();
  EXPECT_EQ(v->m_nNext, 0);
  EXPECT_EQ(MixLeft(mixer, 4)[0], 16);  // all sixteen copies, none started twice
}

}  // namespace
}  // namespace thumper::test
