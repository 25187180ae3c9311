// What the Options dialog is filled with and what its OK does: the channel the
// trigger listens to, the drum set's MIDI input device, and the output driver,
// whose switch must leave every voice playing. The MIDI device cases run on a
// real JACK server (dummy backend).

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/OptionsTestSupport.h"
#include "engine/ShowOptions.h"
#include "midi/JackMidiSender.h"
#include "support/JackServer.h"

namespace thumper::test {
namespace {

MidiPortList Ports(int count) {
  MidiPortList ports;
  ports.strApi = "JACK";
  for (int i = 0; i < count; ++i) ports.names.push_back("port " + std::to_string(i));
  return ports;
}

class ShowOptionsTest : public OptionsRuntimeTest {
 protected:
  void SetUp() override { LoadKit(); }

  OptionsDlgData Prepared(int ports = 3) {
    OptionsDlgData data;
    PrepareOptions(runtime, data, Ports(ports));
    return data;
  }
};

TEST_F(ShowOptionsTest, PreparedFromTheRunningProgram) {
  runtime.m_trigger.SetChannel(7);
  doc.m_nMidiInDevice = 2;
  const OptionsDlgData data = Prepared(3);
  EXPECT_EQ(data.m_strMidiIn[0], "port 0");
  EXPECT_EQ(data.m_strMidiIn[2], "port 2");
  EXPECT_EQ(data.m_strMidiIn[3], "");
  EXPECT_EQ(data.m_nLastMidiIn, 2);
  EXPECT_EQ(data.m_nMidiIn, 2);
  EXPECT_EQ(data.m_nChannel, 7);
  EXPECT_EQ(data.m_nDriverCount, 3);
  EXPECT_EQ(data.m_strDriver[0], "Default output device");
  EXPECT_EQ(data.m_strDriver[2], "No audio output");
  EXPECT_EQ(data.m_nDriver, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ShowOptionsTest, OnlyTheFirstThirtyDevicesAreListedAndNoneLeavesOneEmptyName) {
  OptionsDlgData many = Prepared(45);
  EXPECT_EQ(many.m_nLastMidiIn, 29);
  EXPECT_EQ(many.m_strMidiIn[29], "port 29");
  OptionsDlgData none = Prepared(0);
  EXPECT_EQ(none.m_nLastMidiIn, 0);
  EXPECT_EQ(none.m_strMidiIn[0], "");
  // The drum set's device is offered as chosen even when this machine lacks it.
  EXPECT_EQ(none.m_nMidiIn, 1);
}

TEST_F(ShowOptionsTest, ChannelTenMakesTheTriggerListenToChannelTen) {
  ASSERT_GT(LevelOf(0x90), 100.0);
  OptionsDlgData data = Prepared();
  EXPECT_EQ(data.m_nChannel, 1);
  data.m_nChannel = 10;
  ApplyOptions(runtime, ui, data);
  EXPECT_EQ(runtime.m_trigger.m_nNoteOnStatus.load(), 0x99);
  EXPECT_EQ(LevelOf(0x90), 0.0);
  EXPECT_GT(LevelOf(0x99), 100.0);
  // Controller 7 of channel 10 now scales the notes.
  Send(0xB9, 7, 0);
  EXPECT_NEAR(LevelOf(0x99), 1000.0 * GainOfAttenuation(NoteAttenuation(-4000, 0, 127)), 0.5);
}

TEST_F(ShowOptionsTest, OkUntouchedChangesNeitherDeviceNorDriver) {
  const SampleVoice* voice = runtime.m_pVoices[LayerIndex(0, 0)].get();
  ApplyOptions(runtime, ui, Prepared());
  EXPECT_TRUE(drivers->opened.empty());
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(0, 0)].get(), voice);  // not reloaded
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 0);
  // No close and no open of the MIDI device: either would have said something here.
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.notices.empty());
  EXPECT_EQ(doc.m_nMidiInDevice, 1);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(runtime.m_trigger.Channel(), 1);
}

TEST_F(ShowOptionsTest, ADriverSwitchKeepsEveryVoicePlaying) {
  OptionsDlgData data = Prepared();
  data.m_nDriver = 2;
  ApplyOptions(runtime, ui, data);
  EXPECT_EQ(drivers->opened, std::vector<std::string>{"No audio output"});
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 2);
  EXPECT_EQ(runtime.m_output.m_pDirectSound->Description(), "No audio output");
  ASSERT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_GT(LevelOf(0x90), 100.0);

  data = Prepared();
  EXPECT_EQ(data.m_nDriver, 2);
  data.m_nDriver = 0;
  ApplyOptions(runtime, ui, data);
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 0);
  EXPECT_EQ(runtime.m_output.m_pDirectSound->Description(), "Default output device");
  EXPECT_GT(LevelOf(0x90), 100.0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(ShowOptionsTest, ADriverThatDoesNotOpenIsReportedOnceAndTheFirstWorkingOneTakesOver) {
  drivers->drivers[0].opens = false;
  drivers->drivers[1].opens = false;
  OptionsDlgData data = Prepared();
  data.m_nDriver = 1;
  ApplyOptions(runtime, ui, data);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"JACK: system does not seem to work"});
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(drivers->opened, (std::vector<std::string>{"JACK: system", "Default output device",
                                                       "JACK: system", "No audio output"}));
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 2);
  ASSERT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_GT(LevelOf(0x90), 100.0);
}

TEST_F(ShowOptionsTest, WithoutADriverListOkKeepsTheDriverInUse) {
  OptionsDlgData data = Prepared();
  data.m_nDriver = 2;
  ApplyOptions(runtime, ui, data);
  ASSERT_EQ(runtime.m_output.m_nOutputDriver, 2);
  drivers->opened.clear();

  drivers->enumerationFails = true;
  data = Prepared();
  EXPECT_EQ(data.m_nDriverCount, 0);
  EXPECT_TRUE(ui.messages.empty());  // an empty box, nothing said
  ApplyOptions(runtime, ui, data);
  EXPECT_TRUE(drivers->opened.empty());
  EXPECT_EQ(runtime.m_output.m_nOutputDriver, 2);
  EXPECT_GT(LevelOf(0x90), 100.0);
}

// --- the MIDI input device, on JACK MIDI ---

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class ShowOptionsJackTest : public ShowOptionsTest {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK MIDI test";
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->Running()) << "jackd did not start: " << server->Failure();
    if (ListMidiInputPorts().strApi != "JACK") GTEST_SKIP() << "MIDI input is not on JACK here";
    ShowOptionsTest::SetUp();
  }
  void TearDown() override {
    // Before the server goes: the device's client must not outlive it.
    if (runtime.m_midiIn.m_bMidiInOpen) runtime.m_midiIn.MidiInOpenClose(0, 0);
  }

  int DeviceOf(const OptionsDlgData& data, const JackMidiSender& sender) {
    for (int i = 0; i <= data.m_nLastMidiIn; ++i)
      if (data.m_strMidiIn[i] == sender.PortName()) return i;
    return -1;
  }
  // Whether notes from sender reach the trigger: releases (which sound nothing)
  // go out until one arrives or the time is up.
  bool Reaches(JackMidiSender& sender, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    NoteEvent e;
    while (std::chrono::steady_clock::now() < end) {
      sender.Send(0x89, 40, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (runtime.m_trigger.PopNoteEvent(e)) {
        while (runtime.m_trigger.PopNoteEvent(e)) {
        }
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<JackServer> server;
};

TEST_F(ShowOptionsJackTest, AnotherDeviceIsClosedAndOpenedAtOnceAndKeptOnlyBySaving) {
  JackMidiSender first("first pad"), second("second pad");
  ASSERT_TRUE(first.Ok() && second.Ok());
  OptionsDlgData data;
  PrepareOptions(runtime, data);  // this machine's ports
  const int a = DeviceOf(data, first), b = DeviceOf(data, second);
  ASSERT_GE(a, 0) << "the first sender's port is not listed";
  ASSERT_GE(b, 0) << "the second sender's port is not listed";
  doc.m_nMidiInDevice = a == 1 ? 0 : 1;  // neither sender's number, so each is a change
  data.m_nMidiIn = a;
  data.m_nChannel = 10;
  ApplyOptions(runtime, ui, data);
  // Nothing was open, so the close that comes first says so; then the device opens.
  EXPECT_EQ(
      ui.MessageTexts(),
      std::vector<std::string>{"The MIDI input cannot be closed: no MIDI input device is open."});
  EXPECT_EQ(runtime.m_midiIn.m_bMidiInOpen, 1);
  EXPECT_EQ(doc.m_nMidiInDevice, a);
  EXPECT_FALSE(doc.IsModified());
  ASSERT_TRUE(Reaches(first, std::chrono::seconds(5))) << "nothing arrives from the first device";
  first.Send(0x99, 36, 100);
  NoteEvent e;
  ASSERT_TRUE(WaitFor([&] { return runtime.m_trigger.PopNoteEvent(e); }));
  EXPECT_EQ(e.kind, NoteEvent::Kind::Playing);
  EXPECT_EQ(e.nSlot, 0);
  EXPECT_TRUE(e.bSounds);

  ui.messages.clear();
  data = OptionsDlgData();
  PrepareOptions(runtime, data);
  EXPECT_EQ(data.m_nMidiIn, a);
  EXPECT_EQ(data.m_nChannel, 10);
  data.m_nMidiIn = DeviceOf(data, second);
  ApplyOptions(runtime, ui, data);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
  EXPECT_EQ(runtime.m_midiIn.m_bMidiInOpen, 1);
  EXPECT_EQ(doc.m_nMidiInDevice, data.m_nMidiIn);
  EXPECT_FALSE(doc.IsModified());
  ASSERT_TRUE(Reaches(second, std::chrono::seconds(5))) << "nothing arrives from the second device";
  EXPECT_FALSE(Reaches(first, std::chrono::milliseconds(200))) << "the first device is still open";
}

TEST_F(ShowOptionsJackTest, ADeviceThisMachineLacksIsStoredAndSaidWithoutABox) {
  OptionsDlgData data;
  PrepareOptions(runtime, data);
  const int missing = data.m_nLastMidiIn + 5;
  data.m_nMidiIn = missing;
  ApplyOptions(runtime, ui, data);
  EXPECT_EQ(doc.m_nMidiInDevice, missing);
  EXPECT_EQ(runtime.m_midiIn.m_bMidiInOpen, 0);
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_EQ(ui.notices[0].text.rfind("There is no MIDI input device " + std::to_string(missing), 0),
            0u)
      << ui.notices[0].text;
  EXPECT_FALSE(doc.IsModified());
}

}  // namespace
}  // namespace thumper::test
