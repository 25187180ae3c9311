#pragma once
// MIDI input: the numbered input device of the drum set, and the program's own
// virtual input port "Thumper MIDI In" that sequencers and other programs play
// into. Both feed the same note trigger, each from its own thread and with its
// own reclamation reader.
//
// Device numbers are the input ports of the first MIDI system that works (the
// ALSA sequencer, else JACK MIDI), in RtMidi's enumeration order. Everything
// here runs on the UI thread except MidiInCallback.

#include <memory>
#include <string>
#include <vector>

#include "audio/Reclaimer.h"
#include "drumset/UiServices.h"
#include "midi/NoteTrigger.h"

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

// What one MIDI source hands to the callback.
struct MidiSource {
  NoteTrigger* pTrigger = nullptr;
  RtReader* pReader = nullptr;
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
  MidiInput(NoteTrigger& trigger, Reclaimer& reclaimer, UiServices& ui);
  // Closes the device and the virtual port; no callback runs after this.
  ~MidiInput();
  MidiInput(const MidiInput&) = delete;
  MidiInput& operator=(const MidiInput&) = delete;

  // Mode 1 opens input device number device, mode 0 closes the open one; any
  // other mode does nothing. A failure shows the error text, with the
  // application name as caption, and leaves m_bMidiInOpen as it was; a failed
  // open closes whatever it had opened.
  void MidiInOpenClose(int device, int mode);

  // The virtual port, open from start to exit whatever device is chosen.
  MidiResult OpenVirtualPort();
  void CloseVirtualPort();
  bool IsVirtualPortOpen() const { return m_pVirtualIn != nullptr; }
  // "ALSA" or "JACK": the system the open device or port belongs to.
  const std::string& ApiName() const { return m_strApi; }

  std::unique_ptr<RtMidiIn> m_hMidiIn;
  int m_bMidiInOpen = 0;

 private:
  void Fail(const std::string& text);
  void NoSuchDevice(const std::string& text);

  UiServices& m_ui;
  Reclaimer& m_reclaimer;
  MidiSource m_device;
  MidiSource m_virtual;
  std::unique_ptr<RtMidiIn> m_pVirtualIn;
  std::string m_strApi;
};

}  // namespace thumper
