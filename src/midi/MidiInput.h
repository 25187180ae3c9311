#pragma once
// MIDI input: the numbered input device of the drum set, and the program's own
// virtual input port "Thumper MIDI In" that sequencers and other programs play
// into. Both post to the same inbox from their own threads; a JACK output
// device has a MIDI port of its own and needs no virtual port.
//
// Device numbers are the input ports of the first MIDI system that works (the
// ALSA sequencer, else JACK MIDI), in RtMidi's enumeration order. Everything
// here runs on the UI thread except MidiInCallback.

#include <memory>
#include <string>
#include <vector>

#include "audio/Reclaimer.h"
#include "drumset/UiServices.h"
#include "play/NoteTrigger.h"

class RtMidiIn;

namespace thumper {

// The ALSA sequencer client of both inputs.
inline constexpr const char* kMidiClientName = "Thumper";
// JACK client names must be unique, and the audio output already is "Thumper":
// fixed names of their own keep the ports where scripts and patchbays expect
// them, "Thumper MIDI:Thumper MIDI In" whatever opened first.
inline constexpr const char* kJackVirtualClientName = "Thumper MIDI";
inline constexpr const char* kJackDeviceClientName = "Thumper MIDI device";
inline constexpr const char* kVirtualPortName = "Thumper MIDI In";
// Our own end of the connection to a numbered device.
inline constexpr const char* kDevicePortName = "Thumper Device In";

// Where the inputs hand their messages: the timed-event engine, which plays
// each a fixed time after it arrived, on the audio thread.
class MidiInbox {
 public:
  virtual ~MidiInbox() = default;
  // Any thread; real-time safe. False when the message had to be dropped.
  virtual bool PostNow(uint32_t message) noexcept = 0;
};

// Hands every message to the trigger at once on the caller's thread, for
// tools and tests that have no audio thread.
class DirectMidiInbox : public MidiInbox {
 public:
  DirectMidiInbox(NoteTrigger& trigger, RtReader* reader) : m_trigger(trigger), m_pReader(reader) {}
  // Real-time: the caller's thread.
  bool PostNow(uint32_t message) noexcept override {
    if (!m_pReader) return false;
    m_trigger.OnMidiMessage(*m_pReader, message, 0);
    return true;
  }

 private:
  NoteTrigger& m_trigger;
  RtReader* m_pReader;
};

// What one MIDI source hands to the callback.
struct MidiSource {
  MidiInbox* pInbox = nullptr;
};

// The RtMidi input callback (RtMidiIn::setCallback, userData a MidiSource):
// packs a short message (status in bits 0-7, data bytes in 8-15 and 16-23) and
// hands it to the trigger. System exclusive, system common and real-time
// messages are ignored. Real-time: the MIDI source's thread.
void MidiInCallback(double timeStamp, std::vector<unsigned char>* message, void* userData);

struct MidiPortList {
  std::string strApi;              // "ALSA" or "JACK"; empty when no MIDI system works
  std::vector<std::string> names;  // index = device number
  std::string strError;            // why no MIDI system works
};

// The MIDI input ports in device-number order, for `thumper play --list` and
// the Options dialog.
MidiPortList ListMidiInputPorts();

struct [[nodiscard]] MidiResult {
  bool bOk = false;
  std::string strError;
};

class MidiInput {
 public:
  MidiInput(MidiInbox& inbox, UiServices& ui);
  // Closes the device and the virtual port; no callback runs after this.
  ~MidiInput();
  MidiInput(const MidiInput&) = delete;
  MidiInput& operator=(const MidiInput&) = delete;

  // Mode 1 opens input device number device, mode 0 closes the open one; any
  // other mode does nothing. A failure shows the error text, with the
  // application name as caption, and leaves m_bMidiInOpen as it was; a failed
  // open closes whatever it had opened.
  void MidiInOpenClose(int device, int mode);

  // The virtual port, open from start to exit whatever device is chosen;
  // without bAllowJack it is made on the ALSA sequencer or not at all.
  MidiResult OpenVirtualPort(bool bAllowJack = true);
  void CloseVirtualPort();
  bool IsVirtualPortOpen() const { return m_pVirtualIn != nullptr; }
  // Inputs whose JACK server has gone are let go of (never called again) and
  // count as closed. True when any was. UI thread, after a device failure.
  bool DropLostJackInputs();
  // The MIDI input ports, as ListMidiInputPorts gives them, listed through an
  // input of ours that is open on JACK when there is one, so no client is
  // made for the list (our audio client serves it as well).
  MidiPortList ListPorts();
  // "ALSA" or "JACK" while the virtual port is open.
  const std::string& VirtualPortApi() const { return m_strVirtualApi; }
  // "ALSA" or "JACK": the system the open device or port belongs to.
  const std::string& ApiName() const { return m_strApi; }

  std::unique_ptr<RtMidiIn> m_hMidiIn;
  int m_bMidiInOpen = 0;

 private:
  void Fail(const std::string& text);
  void NoSuchDevice(const std::string& text);

  UiServices& m_ui;
  MidiSource m_device;
  MidiSource m_virtual;
  std::unique_ptr<RtMidiIn> m_pVirtualIn;
  std::string m_strApi;
  std::string m_strDeviceApi;
  std::string m_strVirtualApi;
  uint64_t m_nDeviceJackGen = 0;
  uint64_t m_nVirtualJackGen = 0;
};

}  // namespace thumper
