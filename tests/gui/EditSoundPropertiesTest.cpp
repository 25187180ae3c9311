// Editing a slot's sound properties from the drum set: the empty-slot message,
// what the dialog is filled with, what OK writes back and Cancel leaves, the
// modified flag, and that the next note plays with the new settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "audio/OfflineBackend.h"
#include "edit/SoundProperties.h"
#include "engine/ThumperRuntime.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

// What the user does in the dialog once it is shown; returns nothing, and the
// run reports whether the dialog closed with OK.
using UserActions = std::function<void(CSoundPropsDlg&)>;

class EditSoundPropertiesTest : public ::testing::Test {
 protected:
  EditSoundPropertiesTest() : runtime(doc, ui, MakeOfflineBackend()) {
    doc.OnNewDocument();
    doc.m_pGroupNames->push_back("Kit");
    // Each entry's every value is its own, so a level names the sample.
    for (int i = 0; i < 3; ++i) {
      const std::string path = dir / ("hit" + std::to_string(i) + ".wav");
      WriteWav(path, std::vector<int16_t>(2 * 4000, static_cast<int16_t>(1000 << (2 * i))));
      doc.m_pGroupList[0]->push_back(path);
    }
  }
  ~EditSoundPropertiesTest() override {
    if (reader) runtime.m_output.GetReclaimer().UnregisterReader(reader);
  }

  std::string Entry(int i) const { return (*doc.m_pGroupList[0])[i]; }

  void Drop(int slot, int layer, int entry) {
    ASSERT_EQ(doc.DropSampleOnLayer(runtime, ui, slot, layer, 0, entry), DropOutcome::Assigned);
    doc.SetModifiedFlag(false);
  }

  // Opens the slot's dialog; `act` plays the user, then OK (ok) or Cancel is
  // pressed. Records what the dialog showed and whether it closed with OK;
  // returns whether it was shown.
  bool Edit(int slot, const UserActions& act, bool ok = true) {
    shown.clear();
    accepted = false;
    return EditSoundProperties(doc, runtime, ui, slot, [&](CSoundPropsDlg& dlg) {
      dlg.show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
      for (int k = 0; k < kLayerCount; ++k) shown.layer[k] = dlg.LayerEdit(k)->text().toStdString();
      shown.note = dlg.NoteEdit()->text().toStdString();
      shown.scheme = dlg.SchemeEdit()->text().toStdString();
      shown.cutNote = dlg.CutNoteEdit()->text().toStdString();
      shown.volume = dlg.VolumeEdit()->text().toStdString();
      shown.cut = dlg.CutBox()->isChecked();
      ++dialogs;
      if (act) act(dlg);
      if (dlg.isVisible()) (ok ? dlg.OkButton() : dlg.CancelButton())->click();
      // A dialog that refused OK is still open: the user gives up with Cancel.
      stayedOpen = dlg.isVisible();
      if (stayedOpen) dlg.CancelButton()->click();
      accepted = dlg.result() == QDialog::Accepted;
      return accepted;
    });
  }
  bool Ok(int slot, const UserActions& act = {}) { return Edit(slot, act, true); }
  bool Cancel(int slot, const UserActions& act = {}) { return Edit(slot, act, false); }

  // The level a note at velocity starts with, in 16-bit units, with nothing else sounding.
  double LevelOfNote(int note, int velocity) {
    Mixer& mixer = runtime.m_output.m_pDirectSound->GetMixer();
    Silence();
    if (!reader) reader = runtime.m_output.GetReclaimer().RegisterReader();
    runtime.m_trigger.OnMidiMessage(*reader, PackShortMessage(0x90, note, velocity), 0);
    std::vector<float> out(2 * 64);
    mixer.Mix(out.data(), 64);
    return out[0] * 32768.0;
  }
  void Silence() {
    Mixer& mixer = runtime.m_output.m_pDirectSound->GetMixer();
    mixer.StopAll();
    std::vector<float> rest(2 * 512);
    mixer.Mix(rest.data(), 512);
  }

  struct Shown {
    std::string layer[kLayerCount], note, scheme, cutNote, volume;
    bool cut = false;
    void clear() { *this = {}; }
  } shown;

  TempDir dir;
  ScriptedUi ui;
  CThumperDoc doc;
  ThumperRuntime runtime;
  RtReader* reader = nullptr;
  int dialogs = 0;
  bool accepted = false, stayedOpen = false;
};

void SetText(CSoundPropsDlg& dlg, const char* id, const char* text) {
  dlg.findChild<QLineEdit*>(QString::fromLatin1(id))->setText(QString::fromLatin1(text));
}

TEST_F(EditSoundPropertiesTest, EmptySlotShowsTheMessageInsteadOfTheDialog) {
  EXPECT_FALSE(Ok(5));
  EXPECT_EQ(dialogs, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "No Sound here. Drag & Drop samples here.");
  EXPECT_EQ(ui.messages[0].caption, "Empty Layer");
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::Information);
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(EditSoundPropertiesTest, SlotOutsideTheDrumSetDoesNothing) {
  for (int slot : {-1, 128, 100000}) {
    EXPECT_FALSE(Ok(slot));
  }
  EXPECT_EQ(dialogs, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(EditSoundPropertiesTest, NewSlotShowsItsDefaultsAndNoteOne) {
  Drop(0, 3, 0);  // aimed at layer 4 of an empty slot: layer 1 gets it
  EXPECT_TRUE(Ok(0));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(shown.note, "1");
  EXPECT_EQ(shown.volume, "-4000");
  EXPECT_EQ(shown.scheme, "5");
  EXPECT_FALSE(shown.cut);
  EXPECT_EQ(shown.cutNote, "0");
  EXPECT_EQ(shown.layer[0], Entry(0));
  for (int k = 1; k < kLayerCount; ++k) EXPECT_EQ(shown.layer[k], "Copy of layer 1") << k;
  // OK with nothing changed keeps the settings as they were.
  EXPECT_EQ(doc.m_noteSlot[0], NoteSlot{});
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(EditSoundPropertiesTest, OwnSamplesOnLayersOneAndThreeNameTheLayersTheyLend) {
  Drop(24, 0, 0);
  Drop(24, 2, 1);
  EXPECT_TRUE(Ok(24));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(shown.note, "25");  // the first key of octave pair 3+4
  EXPECT_EQ(shown.layer[0], Entry(0));
  EXPECT_EQ(shown.layer[1], "Copy of layer 1");
  EXPECT_EQ(shown.layer[2], Entry(1));
  EXPECT_EQ(shown.layer[3], "Copy of layer 3");
  EXPECT_EQ(shown.layer[4], "Copy of layer 3");
}

TEST_F(EditSoundPropertiesTest, CutBoxAndNumberTogetherNameTheSlotCut) {
  Drop(2, 0, 0);
  // Box on, number 0: no cut.
  EXPECT_TRUE(Ok(2, [](CSoundPropsDlg& dlg) {
    dlg.CutBox()->setChecked(true);
    SetText(dlg, "1022", "0");
  }));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(doc.m_noteSlot[2].nCutNote, -1);
  // Box off, number 7: no cut, and the number is gone when it opens again.
  EXPECT_TRUE(Ok(2, [](CSoundPropsDlg& dlg) {
    dlg.CutBox()->setChecked(false);
    SetText(dlg, "1022", "7");
  }));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(doc.m_noteSlot[2].nCutNote, -1);
  EXPECT_TRUE(Ok(2));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(shown.cutNote, "0");
  EXPECT_FALSE(shown.cut);
  // Box on, number 7: slot 6 is cut, shown again as 7 with the box ticked.
  EXPECT_TRUE(Ok(2, [](CSoundPropsDlg& dlg) {
    dlg.CutBox()->setChecked(true);
    SetText(dlg, "1022", "7");
  }));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(doc.m_noteSlot[2].nCutNote, 6);
  EXPECT_TRUE(Ok(2));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(shown.cutNote, "7");
  EXPECT_TRUE(shown.cut);
  // The highest number names the last slot.
  EXPECT_TRUE(Ok(2, [](CSoundPropsDlg& dlg) { SetText(dlg, "1022", "128"); }));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(doc.m_noteSlot[2].nCutNote, 127);
}

TEST_F(EditSoundPropertiesTest, OkWritesVolumeSchemeAndCutAndNothingElse) {
  Drop(9, 0, 0);
  Drop(9, 3, 1);
  const auto sources = doc.m_nLayerSource;
  const auto refs = doc.m_layerSample;
  const SampleVoice* voice0 = runtime.m_pVoices[LayerIndex(9, 0)].get();
  const SampleVoice* voice3 = runtime.m_pVoices[LayerIndex(9, 3)].get();
  doc.m_noteSlot[9].nReserved1 = 77;
  EXPECT_TRUE(Ok(9, [](CSoundPropsDlg& dlg) {
    SetText(dlg, "1039", "-1234");
    SetText(dlg, "1024", "2");
    dlg.CutBox()->setChecked(true);
    SetText(dlg, "1022", "1");
  }));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(doc.m_noteSlot[9], (NoteSlot{0, 1, -1234, 77, -1}));
  EXPECT_EQ(doc.m_nLayerSource, sources);
  EXPECT_EQ(doc.m_layerSample, refs);
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(9, 0)].get(), voice0);
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(9, 3)].get(), voice3);
  EXPECT_TRUE(doc.IsModified());
  // The other slots keep their defaults.
  EXPECT_EQ(doc.m_noteSlot[8], NoteSlot{});
  EXPECT_EQ(doc.m_noteSlot[10], NoteSlot{});
}

TEST_F(EditSoundPropertiesTest, CancelChangesNothingButMarksTheDrumSetModified) {
  Drop(4, 0, 0);
  doc.m_noteSlot[4] = {11, 2, -300, -1, -1};
  EXPECT_TRUE(Cancel(4, [](CSoundPropsDlg& dlg) {
    SetText(dlg, "1039", "-8000");
    SetText(dlg, "1024", "1");
    dlg.CutBox()->setChecked(false);
  }));
  EXPECT_FALSE(accepted);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(shown.cutNote, "12");
  EXPECT_TRUE(shown.cut);
  EXPECT_EQ(shown.scheme, "3");
  EXPECT_EQ(shown.volume, "-300");
  EXPECT_EQ(doc.m_noteSlot[4], (NoteSlot{11, 2, -300, -1, -1}));
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(EditSoundPropertiesTest, LayerWithoutVoiceShowsItsStoredPathAndAnOverlongOneBlocksOk) {
  // A drum set whose layer-0 file did not load: the reference stays, no voice.
  const std::string missing = "/" + std::string(250, 'm') + "/a.wav";  // 257 characters
  ASSERT_EQ(missing.size(), 257u);
  doc.m_pGroupList[0]->push_back(missing);
  for (int l = 0; l < kLayerCount; ++l) doc.m_nLayerSource[LayerIndex(7, l)] = 0;
  doc.m_layerSample[LayerIndex(7, 0)] = {0, 3};
  ASSERT_FALSE(runtime.HasVoice(7, 0));
  EXPECT_TRUE(Ok(7, [](CSoundPropsDlg& dlg) { SetText(dlg, "1039", "-10"); }));
  EXPECT_FALSE(accepted);
  EXPECT_EQ(shown.layer[0], missing);
  EXPECT_EQ(shown.layer[1], "Copy of layer 1");
  EXPECT_TRUE(stayedOpen);  // only Cancel closed it
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Please enter no more than 256 characters."});
  EXPECT_EQ(doc.m_noteSlot[7].nVolume, -4000);
  EXPECT_TRUE(doc.IsModified());
  // A reference that names no entry shows an empty text rather than failing.
  doc.m_layerSample[LayerIndex(7, 0)] = {5, 9};
  EXPECT_TRUE(Ok(7));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(shown.layer[0], "");
}

TEST_F(EditSoundPropertiesTest, TheNextNotePlaysTheNewSchemeAtOnce) {
  Drop(0, 0, 0);
  Drop(0, 1, 1);  // layer 2 has its own, four times louder sample
  // Velocity 110 is layer 2 under scheme 5 (thresholds 120, 105, ...) and
  // layer 1 under scheme 1 (90, 50, ...).
  const double before = LevelOfNote(36, 110);
  ASSERT_GT(before, 0.0);
  EXPECT_TRUE(Ok(0, [](CSoundPropsDlg& dlg) { SetText(dlg, "1024", "1"); }));
  EXPECT_TRUE(accepted);
  const double after = LevelOfNote(36, 110);
  EXPECT_NEAR(after / before, 1.0 / 4.0, 1e-3);
  // Cancel leaves the trigger as it was.
  EXPECT_TRUE(Cancel(0, [](CSoundPropsDlg& dlg) { SetText(dlg, "1024", "5"); }));
  EXPECT_FALSE(accepted);
  EXPECT_NEAR(LevelOfNote(36, 110), after, 1e-3 * after);
}

TEST_F(EditSoundPropertiesTest, TheNextNoteCutsTheNewCutSlotAtOnce) {
  Drop(0, 0, 0);
  Drop(1, 0, 2);
  Silence();
  if (!reader) reader = runtime.m_output.GetReclaimer().RegisterReader();
  Mixer& mixer = runtime.m_output.m_pDirectSound->GetMixer();
  const auto playThenCut = [&] {
    runtime.m_trigger.OnMidiMessage(*reader, PackShortMessage(0x90, 37, 127), 0);
    std::vector<float> out(2 * 64);
    mixer.Mix(out.data(), 64);
    runtime.m_trigger.OnMidiMessage(*reader, PackShortMessage(0x90, 36, 127), 0);
    mixer.Mix(out.data(), 64);
    // Past the short fade of a stop: what still sounds is slot 1's sample or not.
    std::vector<float> later(2 * 1024);
    mixer.Mix(later.data(), 1024);
    const double level = later[2 * 1000] * 32768.0;
    Silence();
    return level;
  };
  // Slot 1's sample is sixteen times louder than slot 0's.
  const double uncut = playThenCut();
  EXPECT_TRUE(Ok(0, [](CSoundPropsDlg& dlg) {
    dlg.CutBox()->setChecked(true);
    SetText(dlg, "1022", "2");  // slot 1, counted from 1
  }));
  EXPECT_TRUE(accepted);
  const double cut = playThenCut();
  EXPECT_GT(cut, 0.0);
  EXPECT_LT(cut, uncut / 10);
}

}  // namespace
}  // namespace thumper::test
