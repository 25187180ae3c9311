// MIDI input: the RtMidi callback's packing, the open and close steps with their
// error texts, and, on a real JACK server (dummy backend), notes that reach the
// trigger through the virtual port and through a numbered device.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "JackMidiSender.h"
#include "TriggerTestSupport.h"
#include "midi/MidiInput.h"
#include "support/JackServer.h"

namespace thumper::test {
namespace {

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class MidiCallbackTest : public TriggerTest {
 protected:
  void Deliver(std::vector<unsigned char> bytes) { MidiInCallback(0.001, &bytes, &source); }
  MidiSource source{&inbox};
};

TEST_F(MidiCallbackTest, ShortMessagesArePackedForTheTrigger) {
  GiveOwnLayers(2, {0, 2});
  Publish();
  Deliver({0x90, 38, 100});
  EXPECT_EQ(voices[12]->m_nNext, 1);
  EXPECT_LEVEL(NextLevel(), Expected(2, -1030));
  Deliver({0xB0, 7, 0});
  EXPECT_EQ(trigger.ChannelVolume(1), 0);
  Deliver({0x80, 38, 0});
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].nLayer, 2);
  EXPECT_EQ(events[1].kind, NoteEvent::Kind::Released);
}

TEST_F(MidiCallbackTest, SystemAndMalformedMessagesAreIgnored) {
  GiveOwnLayers(0, {0});
  Publish();
  Deliver({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // system exclusive
  Deliver({0xF8});                                // timing clock
  Deliver({0xFE});                                // active sensing
  Deliver({0xF2, 0x10, 0x20});                    // song position
  Deliver({36, 100});                             // no status byte
  Deliver({});
  MidiInCallback(0, nullptr, &source);
  EXPECT_TRUE(DrainEvents().empty());
  EXPECT_EQ(voices[0]->m_nNext, 0);
  Deliver({0x90, 36});  // a truncated note-on has velocity 0: a release
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, NoteEvent::Kind::Released);
}

// The tests below use whatever MIDI system the machine has; without an ALSA
// sequencer that is JACK, here with no server running.
class MidiInputTest : public TriggerTest {
 protected:
  void SetUp() override {
    setenv("JACK_DEFAULT_SERVER", "thumper-no-such-server", 1);
    if (ListMidiInputPorts().strApi == "ALSA") GTEST_SKIP() << "an ALSA sequencer is present";
  }
  void TearDown() override { unsetenv("JACK_DEFAULT_SERVER"); }
};

TEST_F(MidiInputTest, OpeningADeviceThatIsNotThereShowsWhyAndStaysClosed) {
  MidiInput input(inbox, ui);
  input.MidiInOpenClose(1, 1);
  // Said without a modal box, which would stop every start on such a machine.
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_EQ(ui.notices[0].text,
            "There is no MIDI input device 1: no ALSA sequencer, and no JACK server is running.");
  EXPECT_EQ(ui.notices[0].caption, "Thumper");
  EXPECT_EQ(input.m_bMidiInOpen, 0);
  EXPECT_EQ(input.m_hMidiIn, nullptr);
  input.MidiInOpenClose(-5, 1);  // a damaged drum set's number
  EXPECT_EQ(ui.notices.size(), 2u);
  input.MidiInOpenClose(0, 2);  // no such mode: nothing
  EXPECT_EQ(ui.notices.size(), 2u);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MidiInputTest, ClosingWhenNothingIsOpenShowsAnErrorAndKeepsTheFlag) {
  MidiInput input(inbox, ui);
  input.m_bMidiInOpen = 1;  // as after an open whose device went away
  input.MidiInOpenClose(0, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "The MIDI input cannot be closed: no MIDI input device is open.");
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
  EXPECT_EQ(input.m_bMidiInOpen, 1);
}

TEST_F(MidiInputTest, TheVirtualPortReportsWhyItCannotOpen) {
  MidiInput input(inbox, ui);
  const MidiResult result = input.OpenVirtualPort();
  EXPECT_FALSE(result.bOk);
  EXPECT_EQ(result.strError,
            "The MIDI input port \"Thumper MIDI In\" cannot be made: no ALSA sequencer, and no "
            "JACK server is running.");
  EXPECT_FALSE(input.IsVirtualPortOpen());
  EXPECT_TRUE(ui.messages.empty());  // the caller decides how to tell the user
}

// A JACK client with one MIDI output port that sends queued short messages.
// A note that did not arrive across a missed period is no evidence either way.
#define ASSERT_NOTE_ARRIVES(sender, arrived)                                         \
  do {                                                                               \
    if (!(arrived)) {                                                                \
      if ((sender).Xruns())                                                          \
        GTEST_SKIP() << "the server missed " << (sender).Xruns()                     \
                     << " period(s) while the note was on its way (a busy machine)"; \
      FAIL() << "the note did not arrive";                                           \
    }                                                                                \
  } while (0)

class MidiInputJackTest : public TriggerTest {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK MIDI test";
    server = std::make_unique<JackServer>();
    ASSERT_TRUE(server->Running()) << "jackd did not start: " << server->Failure();
    if (ListMidiInputPorts().strApi != "JACK") GTEST_SKIP() << "MIDI input is not on JACK here";
    GiveOwnLayers(2, {0, 2});
    Publish();
  }
  // Every port of the graph whose name contains text.
  std::vector<std::string> Ports(jack_client_t* client, const std::string& text) {
    std::vector<std::string> names;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, 0)) {
      for (int i = 0; ports[i]; ++i)
        if (std::string(ports[i]).find(text) != std::string::npos) names.push_back(ports[i]);
      jack_free(ports);
    }
    return names;
  }
  // A new connection takes hold within a period or two: releases (which sound
  // nothing) go out until one arrives, so no message of the test is lost.
  bool WarmUp(JackMidiSender& sender, uint8_t noteOff) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    NoteEvent e;
    while (std::chrono::steady_clock::now() < end) {
      sender.Send(noteOff, 100, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (trigger.PopNoteEvent(e)) {
        DrainEvents();
        return true;
      }
    }
    return false;
  }
  std::unique_ptr<JackServer> server;
};

TEST_F(MidiInputJackTest, NotesIntoTheVirtualPortPlayTheDrumSet) {
  // The audio output's JACK client is "Thumper"; the port keeps its name anyway.
  jack_status_t status;
  jack_client_t* audio = jack_client_open("Thumper", JackNoStartServer, &status);
  ASSERT_NE(audio, nullptr);
  MidiInput input(inbox, ui);
  const MidiResult result = input.OpenVirtualPort();
  ASSERT_TRUE(result.bOk) << result.strError;
  EXPECT_EQ(input.ApiName(), "JACK");
  JackMidiSender sender;
  ASSERT_TRUE(sender.Ok());
  const auto ports = Ports(sender.Client(), "Thumper MIDI In");
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0], "Thumper MIDI:Thumper MIDI In");
  ASSERT_TRUE(sender.ConnectTo(ports[0]));
  ASSERT_TRUE(WarmUp(sender, 0x80)) << "nothing arrives through the virtual port";

  sender.Send(0x90, 38, 100);
  ASSERT_NOTE_ARRIVES(sender, WaitFor([&] { return voices[12]->m_nNext == 1; }));
  EXPECT_LEVEL(NextLevel(), Expected(2, -1030));
  sender.Send(0x80, 38, 0);
  ASSERT_TRUE(WaitFor([&] { return !trigger.MidiInLit(); }));
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].nSlot, 2);
  EXPECT_EQ(events[0].nLayer, 2);

  input.CloseVirtualPort();
  EXPECT_TRUE(Ports(sender.Client(), "Thumper MIDI In").empty());
  EXPECT_TRUE(ui.messages.empty());
  jack_client_close(audio);
}

TEST_F(MidiInputJackTest, ANumberedDeviceOpensPlaysAndCloses) {
  JackMidiSender sender;
  ASSERT_TRUE(sender.Ok());
  const MidiPortList list = ListMidiInputPorts();
  ASSERT_EQ(list.strApi, "JACK");
  int device = -1;
  for (size_t i = 0; i < list.names.size(); ++i)
    if (list.names[i] == sender.PortName()) device = static_cast<int>(i);
  ASSERT_GE(device, 0) << "the sender's port is not listed";

  MidiInput input(inbox, ui);
  const int count = static_cast<int>(list.names.size());
  input.MidiInOpenClose(count, 1);
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_EQ(ui.notices[0].text, "There is no MIDI input device " + std::to_string(count) +
                                    ": JACK MIDI has " + std::to_string(count) +
                                    (count == 1 ? " input port." : " input ports."));
  EXPECT_EQ(input.m_bMidiInOpen, 0);
  ui.messages.clear();

  input.MidiInOpenClose(device, 1);
  ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
  EXPECT_EQ(input.m_bMidiInOpen, 1);
  ASSERT_NE(input.m_hMidiIn, nullptr);

  trigger.SetChannel(10);
  ASSERT_TRUE(WarmUp(sender, 0x89)) << "nothing arrives from the device";
  sender.Send(0xB9, 7, 64);
  sender.Send(0x99, 38, 100);
  ASSERT_NOTE_ARRIVES(sender, WaitFor([&] { return voices[12]->m_nNext == 1; }));
  EXPECT_EQ(trigger.ChannelVolume(10), 64);
  EXPECT_LEVEL(NextLevel(), Expected(2, NoteAttenuation(-4000, 64, 100)));

  input.MidiInOpenClose(0, 0);
  EXPECT_EQ(input.m_bMidiInOpen, 0);
  EXPECT_EQ(input.m_hMidiIn, nullptr);
  sender.Send(0x99, 38, 100);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(voices[12]->m_nNext, 1);  // closed: nothing arrives
  EXPECT_TRUE(ui.messages.empty());
}

// With the virtual port open on JACK, the port list is made through its
// client: no client comes and goes for it, and it lists what the plain list does.
TEST_F(MidiInputJackTest, ThePortListGoesThroughTheOpenVirtualPort) {
  JackMidiSender sender;
  ASSERT_TRUE(sender.Ok());
  MidiInput input(inbox, ui);
  ASSERT_TRUE(input.OpenVirtualPort().bOk);
  ASSERT_EQ(input.VirtualPortApi(), "JACK");
  std::atomic<int> registered{0};
  jack_client_t* counter = jack_client_open("registration-counter", JackNoStartServer, nullptr);
  ASSERT_NE(counter, nullptr);
  jack_set_client_registration_callback(
      counter,
      [](const char*, int made, void* count) {
        if (made) static_cast<std::atomic<int>*>(count)->fetch_add(1);
      },
      &registered);
  jack_activate(counter);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int before = registered.load();
  const MidiPortList list = input.ListPorts();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(registered.load(), before);
  EXPECT_EQ(list.strApi, "JACK");
  EXPECT_NE(std::find(list.names.begin(), list.names.end(), sender.PortName()), list.names.end());
  EXPECT_EQ(list.names, ListMidiInputPorts().names);
  input.CloseVirtualPort();
  jack_client_close(counter);
}

}  // namespace
}  // namespace thumper::test
