// Loading a drum set into sound: layer voices found and read, missing files
// asked about exactly as often as needed, and what the trigger then plays.

#include <gtest/gtest.h>

#include "audio/OfflineBackend.h"
#include "drumset/CThumperDoc.h"
#include "engine/ThumperRuntime.h"
#include "play/NoteTrigger.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using test::ScriptedUi;
using test::TempDir;
using test::WriteTextFile;
using test::WriteWav;

// A short stereo sample whose every value is v, so a level names the file.
void WriteConstantWav(const std::string& path, int16_t v, int frames = 2000) {
  WriteWav(path, std::vector<int16_t>(static_cast<size_t>(frames) * 2, v));
}

class RuntimeTest : public ::testing::Test {
 protected:
  RuntimeTest() : runtime(doc, ui, MakeOfflineBackend()) {
    runtime.m_onFullRepaint = [this] { ++repaints; };
  }
  ~RuntimeTest() override {
    if (reader) runtime.m_output.GetReclaimer().UnregisterReader(reader);
  }

  // One group of the given paths, saved as kit.drums in folder and opened again.
  void SaveKit(const std::string& folder, const StringList& paths) {
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    *kit.m_pGroupList[0] = paths;
    for (int i = 0; i < static_cast<int>(paths.size()); ++i) {
      // Entry i is layer 0 of slot i, every layer borrowing it.
      for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(i, l)] = 0;
      kit.m_layerSample[LayerIndex(i, 0)] = {0, i};
    }
    ASSERT_TRUE(kit.OnSaveDocument(folder + "/kit.drums", ui));
  }

  // The level the next note of `note` at full velocity starts with, in 16-bit units.
  double LevelOfNote(int note) {
    if (!reader) reader = runtime.m_output.GetReclaimer().RegisterReader();
    runtime.m_trigger.OnMidiMessage(*reader, PackShortMessage(0x90, note, 127), 0);
    std::vector<float> out(2 * 64);
    runtime.m_output.m_pDirectSound->GetMixer().Mix(out.data(), 64);
    runtime.m_output.m_pDirectSound->GetMixer().StopAll();
    std::vector<float> rest(2 * 256);
    runtime.m_output.m_pDirectSound->GetMixer().Mix(rest.data(), 256);
    return out[0] * 32768.0;
  }

  // Questions and search messages; the MIDI device of the drum set may be
  // missing on this machine, and that is no concern of these tests.
  int SearchPrompts() const {
    int n = static_cast<int>(ui.fileDialogs.size());
    for (const auto& m : ui.messages)
      if (m.buttons == MsgButtons::YesNo || m.text.find("Ei auennut") != std::string::npos) ++n;
    return n;
  }

  ScriptedUi ui;
  CThumperDoc doc;
  ThumperRuntime runtime;
  SampleListState list;
  RtReader* reader = nullptr;
  int repaints = 0;
};

TEST_F(RuntimeTest, AKitMovedWithItsSamplesLoadsEveryVoiceWithoutAQuestion) {
  TempDir old, moved;
  SaveKit(old.path(), {old / "kick.wav", old / "snare.wav"});
  WriteConstantWav(moved / "kick.wav", 1000);
  WriteConstantWav(moved / "snare.wav", 2000);
  std::filesystem::copy_file(old / "kit.drums", moved / "kit.drums");
  ASSERT_TRUE(runtime.OpenDrumSet(moved / "kit.drums", list));
  EXPECT_EQ(SearchPrompts(), 0);
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_TRUE(runtime.HasVoice(1, 0));
  EXPECT_EQ((*doc.m_pGroupList[0])[1], moved / "snare.wav");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(repaints, 1);
}

TEST_F(RuntimeTest, AKitWithWindowsPathsNextToItsSamplesOpensSilently) {
  TempDir dir;
  SaveKit(dir.path(), {"C:\\old\\snare.wav", "D:\\Samples\\Drums\\kick.wav"});
  WriteConstantWav(dir / "snare.wav", 1000);
  WriteConstantWav(dir / "kick.wav", 1000);
  ASSERT_TRUE(runtime.OpenDrumSet(dir / "kit.drums", list));
  EXPECT_EQ(SearchPrompts(), 0);
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_TRUE(runtime.HasVoice(1, 0));
}

TEST_F(RuntimeTest, LoadLayerVoiceShowsThePathThenTriesTheCandidatesThenAsks) {
  TempDir setDir, lastDir;
  doc.SetPathName(setDir / "a.drums");
  runtime.m_search.m_strLastSampleDir = lastDir.path().string() + "/";
  WriteConstantWav(setDir / "snare.wav", 1000);
  // Beside the drum set.
  EXPECT_TRUE(runtime.LoadLayerVoice("/old/snare.wav", 2, 0));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "/old/snare.wav Ei auennut 1");
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(2, 0)]->m_strName, setDir / "snare.wav");
  // In the last folder.
  WriteConstantWav(lastDir / "kick.wav", 1000);
  EXPECT_TRUE(runtime.LoadLayerVoice("/old/kick.wav", 3, 0));
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(3, 0)]->m_strName, lastDir / "kick.wav");
  EXPECT_TRUE(ui.fileDialogs.empty());
  // Nowhere: the dialog offers the second candidate; Cancel fails with no more messages.
  ui.messages.clear();
  EXPECT_FALSE(runtime.LoadLayerVoice("/old/tom.wav", 4, 0));
  EXPECT_EQ(ui.messages.size(), 1u);
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_EQ(ui.fileDialogs[0].strInitialName, lastDir / "tom.wav");
  EXPECT_EQ(ui.fileDialogs[0].strDefExt, ".wav");
  EXPECT_EQ(ui.fileDialogs[0].nFlags, 0xA0006u);
  EXPECT_EQ(ui.fileDialogs[0].strFilter, "Wav Files (*.wav) | *.wav||");
  EXPECT_FALSE(runtime.HasVoice(4, 0));
  // The user's pick serves this voice and becomes the folder looked in next.
  TempDir picked;
  WriteConstantWav(picked / "tom.wav", 1000);
  ui.AnswerFile(picked / "tom.wav");
  EXPECT_TRUE(runtime.LoadLayerVoice("/old/tom.wav", 4, 0));
  EXPECT_EQ(runtime.m_search.m_strLastSampleDir, picked.path().string() + "/");
}

TEST_F(RuntimeTest, LoadLayerVoiceFindsAWindows1252NameUnderItsUtf8Name) {
  TempDir setDir, lastDir;
  doc.SetPathName(setDir / "a.drums");
  runtime.m_search.m_strLastSampleDir = lastDir.path().string() + "/";
  WriteConstantWav(lastDir / "b\xC3\xA4ss.wav", 1000);
  EXPECT_TRUE(runtime.LoadLayerVoice("C:\\kits\\b\xE4ss.wav", 2, 0));
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(2, 0)]->m_strName, lastDir / "b\xC3\xA4ss.wav");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "C:\\kits\\b\xC3\xA4ss.wav Ei auennut 1");  // decoded
  WriteConstantWav(setDir / "t\xC3\xB6m.wav", 1000);
  EXPECT_TRUE(runtime.LoadLayerVoice("/gone/t\xF6m.wav", 3, 0));
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(3, 0)]->m_strName, setDir / "t\xC3\xB6m.wav");
  EXPECT_TRUE(ui.fileDialogs.empty());
}

TEST_F(RuntimeTest, UpdateStepRunsAfterNewAndSuccessfulLoadsOnly) {
  runtime.NewDrumSet(list);
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(doc.m_nMidiInDevice, 1);
  TempDir dir;
  WriteConstantWav(dir / "kick.wav", 1000);
  SaveKit(dir.path(), {dir / "kick.wav"});
  list.m_nSelectedGroup = 5;
  ASSERT_TRUE(runtime.OpenDrumSet(dir / "kit.drums", list));
  EXPECT_EQ(repaints, 2);
  EXPECT_EQ(list.m_nSelectedGroup, 0);
  ASSERT_TRUE(runtime.HasVoice(0, 0));
  // A damaged file is refused and changes nothing: no update step, voices kept.
  WriteTextFile(dir / "bad.drums", "not a drum set");
  EXPECT_FALSE(runtime.OpenDrumSet(dir / "bad.drums", list));
  EXPECT_EQ(repaints, 2);
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_EQ(doc.GetPathName(), dir / "kit.drums");
}

TEST_F(RuntimeTest, AFileThatIsNotASampleKeepsItsPlaceButGetsNoVoice) {
  TempDir dir;
  WriteConstantWav(dir / "loud.wav", 1000);
  WriteConstantWav(dir / "soft.wav", 3000);
  WriteTextFile(dir / "text.wav", "this is not a sample");
  CThumperDoc kit;
  kit.OnNewDocument();
  kit.m_pGroupNames->push_back("Kit");
  *kit.m_pGroupList[0] = {dir / "loud.wav", dir / "text.wav", dir / "soft.wav"};
  // Slot 2 (note 38): own samples on layers 0 (loud) and 2 (the text file).
  kit.m_layerSample[LayerIndex(2, 0)] = {0, 0};
  kit.m_layerSample[LayerIndex(2, 2)] = {0, 1};
  for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(2, l)] = l < 2 ? 0 : 2;
  // Slot 3 (note 39): layer 0 is the text file, layer 1 a real sample.
  kit.m_layerSample[LayerIndex(3, 0)] = {0, 1};
  kit.m_layerSample[LayerIndex(3, 1)] = {0, 2};
  for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(3, l)] = l < 1 ? 0 : 1;
  ASSERT_TRUE(kit.OnSaveDocument(dir / "kit.drums", ui));
  const auto saved = test::ReadFileBytes(dir / "kit.drums");

  ASSERT_TRUE(runtime.OpenDrumSet(dir / "kit.drums", list));
  EXPECT_FALSE(runtime.HasVoice(2, 2));
  EXPECT_EQ(doc.m_nLayerSource[LayerIndex(2, 2)], 2);  // the drum set keeps what was saved
  EXPECT_EQ(doc.m_layerSample[LayerIndex(2, 2)], (LayerSampleRef{0, 1}));
  // Velocity 70 picks layer 2 (scheme 5): it borrows the loud sample instead.
  const TriggerSlot& slot2 = runtime.m_trigger.Current().m_slot[2];
  EXPECT_EQ(slot2.pLayerVoice[2], runtime.m_pVoices[LayerIndex(2, 0)].get());
  EXPECT_TRUE(slot2.bSounds);
  // A broken loudest layer does not silence the key: it borrows the softer sample.
  const TriggerSlot& slot3 = runtime.m_trigger.Current().m_slot[3];
  EXPECT_TRUE(slot3.bSounds);
  EXPECT_EQ(slot3.pLayerVoice[0], runtime.m_pVoices[LayerIndex(3, 1)].get());
  EXPECT_EQ(doc.m_layerSample[LayerIndex(3, 0)], (LayerSampleRef{0, 1}));
  const double loud = LevelOfNote(38), soft = LevelOfNote(39);
  EXPECT_GT(loud, 100.0);
  EXPECT_NEAR(soft, 3.0 * loud, 2.0);  // soft.wav holds three times loud.wav's value
  // Saving gives back the same file: nothing the user saved was lost.
  ASSERT_TRUE(doc.OnSaveDocument(dir / "again.drums", ui));
  EXPECT_EQ(test::ReadFileBytes(dir / "again.drums"), saved);
}

TEST_F(RuntimeTest, ResetVoicesReleasesAndReloadsOnlyOwnLayers) {
  TempDir dir;
  WriteConstantWav(dir / "a.wav", 1000);
  WriteConstantWav(dir / "b.wav", 2000);
  SaveKit(dir.path(), {dir / "a.wav", dir / "b.wav"});
  ASSERT_TRUE(runtime.OpenDrumSet(dir / "kit.drums", list));
  const StringList entries = *doc.m_pGroupList[0];
  runtime.ResetVoices(false);
  for (int k = 0; k < kLayerTotal; ++k) EXPECT_FALSE(runtime.m_pVoices[k]) << k;
  EXPECT_EQ(*doc.m_pGroupList[0], entries);
  EXPECT_EQ(LevelOfNote(36), 0.0);

  // Reload: a file gone meanwhile is asked about; No keeps the marker in the list.
  std::filesystem::remove(dir / "b.wav");
  ui.messageAnswers = {MsgResult::No};
  runtime.ResetVoices(true);
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_FALSE(runtime.HasVoice(0, 1));  // borrowing layers get no voice of their own
  EXPECT_FALSE(runtime.HasVoice(1, 0));
  EXPECT_EQ((*doc.m_pGroupList[0])[1], MissingFileMarker);
  EXPECT_NEAR(LevelOfNote(36), 1000.0 * GainOfAttenuation(NoteAttenuation(-4000, 127, 127)), 0.5);
}

// The device now runs at 48 kHz: the poll makes the kit again in the
// background (as the window loads), at the new rate, on the same device.
TEST_F(RuntimeTest, ANewDeviceRateMakesTheKitAgainForIt) {
  TempDir dir;
  WriteConstantWav(dir / "a.wav", 1000, 4410);
  SaveKit(dir.path(), {dir / "a.wav"});
  runtime.m_bLoadInBackground = true;
  ASSERT_TRUE(runtime.OpenDrumSet(dir / "kit.drums", list));
  runtime.FinishLoading();
  SoundDevice* device = runtime.m_output.m_pDirectSound.get();
  ASSERT_TRUE(device);
  auto soundingFrames = [&] {
    if (!reader) reader = runtime.m_output.GetReclaimer().RegisterReader();
    runtime.m_trigger.OnMidiMessage(*reader, PackShortMessage(0x90, 36, 127), 0);
    uint32_t frames = 0;
    std::vector<float> out(2);
    for (int i = 0; i < 20000; ++i) {
      device->GetMixer().Mix(out.data(), 1);
      if (out[0] != 0.0f) ++frames;
    }
    return frames;
  };
  EXPECT_EQ(soundingFrames(), 4410u);

  device->NoteDeviceRate(48000);
  runtime.Poll();
  EXPECT_EQ(runtime.m_output.m_pDirectSound.get(), device) << "the device was replaced";
  EXPECT_EQ(device->SampleRate(), 48000u);
  runtime.FinishLoading();
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_NEAR(soundingFrames(), 4800, 2);
  EXPECT_EQ(SearchPrompts(), 0);
}

TEST_F(RuntimeTest, ReleasedVoicesAreFreedOnlyAfterTheTriggerMovedOn) {
  TempDir dir;
  WriteConstantWav(dir / "a.wav", 1000);
  SaveKit(dir.path(), {dir / "a.wav"});
  ASSERT_TRUE(runtime.OpenDrumSet(dir / "kit.drums", list));
  RtReader* midi = runtime.m_output.GetReclaimer().RegisterReader();
  {
    // A note in flight holds the old state: the voice must survive the release.
    RtReadSection section(*midi);
    const TriggerState& seen = runtime.m_trigger.Current();
    SampleVoice* voice = seen.m_slot[0].pLayerVoice[0];
    ASSERT_NE(voice, nullptr);
    runtime.ReleaseVoice(0, 0);
    runtime.Poll();
    EXPECT_EQ(voice->m_strName, dir / "a.wav");  // still alive (ASan would object otherwise)
    voice->SetVolume(-100);
    voice->Play();
  }
  runtime.Poll();
  EXPECT_FALSE(runtime.m_trigger.Current().m_slot[0].bSounds);
  runtime.m_output.GetReclaimer().UnregisterReader(midi);
}

}  // namespace
}  // namespace thumper
