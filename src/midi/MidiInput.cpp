#include "midi/MidiInput.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <mutex>
#include <optional>
#include <streambuf>

#include "audio/JackCallbackGuard.h"
#include "audio/JackServerWatch.h"
#include "audio/LibraryChatter.h"

namespace thumper {

namespace {

// RtMidi writes every warning and error to std::cerr before it throws; the
// user gets the same text through UiServices, so a console stays clean.
class QuietRtMidi {
 public:
  QuietRtMidi() : m_pSaved(std::cerr.rdbuf(&m_null)) {}
  ~QuietRtMidi() {
    std::cerr.rdbuf(m_pSaved);
    std::cerr.clear();
  }
  QuietRtMidi(const QuietRtMidi&) = delete;
  QuietRtMidi& operator=(const QuietRtMidi&) = delete;

 private:
  struct NullBuffer : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
  };
  NullBuffer m_null;
  std::streambuf* m_pSaved;
};

const char* ApiLabel(RtMidi::Api api) {
  switch (api) {
    case RtMidi::LINUX_ALSA:
      return "ALSA";
    case RtMidi::UNIX_JACK:
      return "JACK";
    default:
      return "MIDI";
  }
}

struct OpenedIn {
  std::unique_ptr<RtMidiIn> pIn;
  std::string strApi;
  std::string strError;
  uint64_t nJackGeneration = 0;  // the JACK server's life it was made in
  bool bNoJackServer = false;    // JACK was passed over: no server answered
};

// Whether RtMidi may open a JACK client now without blocking the UI thread for
// ever. Once a server was lost, one that dies at the wrong moment can leave
// jack_client_open waiting for good, so a probe that gives up in time asks
// first; before any loss, or while our own client runs, nobody needs to.
bool JackMayBeOpened() {
  if (jack_watch::Generation() == 0 || jack_watch::HasOwnClient()) return true;
  jack_client_t* probe = jack_watch::OpenClientWithin("Thumper probe", jack_watch::kOpenLimit);
  if (!probe) return false;
  jack_client_close(probe);
  return true;
}

// An input on the first MIDI system that works: the ALSA sequencer, else JACK
// (when bAllowJack). RtMidi's own choice would stop at the first system that
// throws.
OpenedIn MakeMidiIn(const char* jackClientName, bool bAllowJack = true) {
  SilenceLibraryChatter();
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  OpenedIn result;
  for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) continue;
    if (api == RtMidi::UNIX_JACK && !bAllowJack) continue;
    if (api == RtMidi::UNIX_JACK && !JackMayBeOpened()) {
      result.bNoJackServer = true;
      continue;
    }
    try {
      result.pIn = std::make_unique<RtMidiIn>(
          api, api == RtMidi::UNIX_JACK ? jackClientName : kMidiClientName);
      result.strApi = ApiLabel(api);
      result.strError.clear();
      result.nJackGeneration = jack_watch::Generation();
      return result;
    } catch (const RtMidiError& e) {
      if (result.strError.empty()) result.strError = e.getMessage();
    }
  }
  if (result.strError.empty()) result.strError = "No MIDI system (ALSA or JACK) is available.";
  return result;
}

constexpr const char* kNoMidiSystem = "no ALSA sequencer, and no JACK server is running.";

// RtMidi's JACK input quietly lists nothing when no server runs; the user needs
// to know that rather than a port count. Our own client running says a server
// does, without a probe.
bool NoJackServer(const OpenedIn& in) {
  if (in.strApi != "JACK") return false;
  if (jack_watch::HasOwnClient()) return false;
  jack_client_t* probe = jack_watch::OpenClientWithin("Thumper probe", jack_watch::kOpenLimit);
  if (!probe) return true;
  jack_client_close(probe);
  return false;
}

// The JACK MIDI ports RtMidi's JACK input numbers (every MIDI output, in the
// server's order), listed through our own client: nothing when there is none.
std::optional<std::vector<std::string>> JackMidiPortsThroughOwnClient() {
  return jack_watch::ListPortsThroughOwnClient(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
}

std::string PortCountText(size_t count) {
  return std::to_string(count) + (count == 1 ? " input port." : " input ports.");
}

// The one place an RtMidi input is let go of. An input on a JACK server that
// has gone is abandoned, not destroyed: its destructor would unregister its
// port on the dead client, which crashes inside libjack.
void LetGo(std::unique_ptr<RtMidiIn>& in, const std::string& api, uint64_t jackGeneration) {
  if (!in) return;
  if (api == "JACK" && !jack_watch::ClientUsable(jackGeneration)) {
    jack_watch::Abandon(in.release());
    return;
  }
  QuietRtMidi quiet;
  in.reset();
}

void Connect(RtMidiIn& in, MidiSource& source) {
  in.ignoreTypes(true, true, true);
  in.setCallback(&MidiInCallback, &source);
}

}  // namespace

// Real-time: the MIDI source's thread. On JACK that is libjack's process
// thread, through RtMidi: see JackCallbackGuard.
void MidiInCallback(double timeStamp, std::vector<unsigned char>* message, void* userData) {
  JackCallbackGuard guard;
  auto* source = static_cast<MidiSource*>(userData);
  if (!source || !message || message->empty()) return;
  const std::vector<unsigned char>& bytes = *message;
  const uint8_t status = bytes[0];
  // A short message starts with a channel status; everything from 0xF0 up is
  // system exclusive, system common or real-time.
  if (status < 0x80 || status >= 0xF0) return;
  const uint8_t d1 = bytes.size() > 1 ? bytes[1] : 0;
  const uint8_t d2 = bytes.size() > 2 ? bytes[2] : 0;
  // RtMidi's time stamp is the time since the previous message, as its own
  // thread saw it; the inbox stamps the arrival against the audio clock instead.
  (void)timeStamp;
  if (source->pInbox) source->pInbox->PostNow(PackShortMessage(status, d1, d2));
}

MidiPortList ListMidiInputPorts() {
  QuietRtMidi quiet;
  MidiPortList list;
  OpenedIn in = MakeMidiIn(kJackDeviceClientName, /*bAllowJack=*/false);
  if (!in.pIn) {
    if (auto ports = JackMidiPortsThroughOwnClient()) {
      list.strApi = "JACK";
      list.names = std::move(*ports);
      return list;
    }
    in = MakeMidiIn(kJackDeviceClientName);
  }
  if (!in.pIn) {
    list.strError = in.strError;
    return list;
  }
  list.strApi = in.strApi;
  try {
    const unsigned count = in.pIn->getPortCount();
    for (unsigned i = 0; i < count; ++i) list.names.push_back(in.pIn->getPortName(i));
  } catch (const RtMidiError& e) {
    list.strError = e.getMessage();
  }
  return list;
}

MidiPortList MidiInput::ListPorts() {
  // On the ALSA sequencer, or without a JACK input of ours, the plain list.
  RtMidiIn* jackIn = nullptr;
  if (m_pVirtualIn && m_strVirtualApi == "JACK" && jack_watch::Generation() == m_nVirtualJackGen)
    jackIn = m_pVirtualIn.get();
  else if (m_hMidiIn && m_strDeviceApi == "JACK" && jack_watch::Generation() == m_nDeviceJackGen)
    jackIn = m_hMidiIn.get();
  if (!jackIn || jack_watch::HasOwnClient()) return ListMidiInputPorts();
  QuietRtMidi quiet;
  MidiPortList list;
  list.strApi = "JACK";
  try {
    const unsigned count = jackIn->getPortCount();
    for (unsigned i = 0; i < count; ++i) list.names.push_back(jackIn->getPortName(i));
  } catch (const RtMidiError& e) {
    list.strError = e.getMessage();
  }
  return list;
}

MidiInput::MidiInput(MidiInbox& inbox, UiServices& ui) : m_ui(ui) {
  m_device = {&inbox};
  m_virtual = {&inbox};
}

MidiInput::~MidiInput() {
  // Destroying an input stops its thread: no callback runs once it is gone.
  LetGo(m_hMidiIn, m_strDeviceApi, m_nDeviceJackGen);
  LetGo(m_pVirtualIn, m_strVirtualApi, m_nVirtualJackGen);
}

bool MidiInput::DropLostJackInputs() {
  bool dropped = false;
  if (m_hMidiIn && m_strDeviceApi == "JACK" && !jack_watch::ClientUsable(m_nDeviceJackGen)) {
    LetGo(m_hMidiIn, m_strDeviceApi, m_nDeviceJackGen);
    m_bMidiInOpen = 0;
    dropped = true;
  }
  if (m_pVirtualIn && m_strVirtualApi == "JACK" && !jack_watch::ClientUsable(m_nVirtualJackGen)) {
    CloseVirtualPort();
    dropped = true;
  }
  return dropped;
}

void MidiInput::Fail(const std::string& text) {
  m_ui.MessageBox(text, kAppName, MsgButtons::Ok, MsgIcon::Error);
}

void MidiInput::NoSuchDevice(const std::string& text) {
  // A drum set names its device by number, and a kit made on another machine
  // often names one this machine lacks; the virtual input still plays, so this
  // is said without a box that would stop every start.
  m_ui.Notice(text, kAppName);
}

void MidiInput::MidiInOpenClose(int device, int mode) {
  if (mode == 1) {
    // A device still open from before goes first, so two never feed the trigger.
    LetGo(m_hMidiIn, m_strDeviceApi, m_nDeviceJackGen);
    QuietRtMidi quiet;
    OpenedIn in = MakeMidiIn(kJackDeviceClientName, /*bAllowJack=*/false);
    if (!in.pIn) {
      // On JACK, a device that is not there is found so through our own
      // client, before a client of the device's own is made for nothing.
      if (auto ports = JackMidiPortsThroughOwnClient();
          ports && (device < 0 || static_cast<size_t>(device) >= ports->size())) {
        NoSuchDevice("There is no MIDI input device " + std::to_string(device) +
                     ": JACK MIDI has " + PortCountText(ports->size()));
        return;
      }
      in = MakeMidiIn(kJackDeviceClientName);
    }
    if (!in.pIn && in.bNoJackServer) {
      NoSuchDevice("There is no MIDI input device " + std::to_string(device) + ": " +
                   kNoMidiSystem);
      return;
    }
    if (!in.pIn) {
      Fail(in.strError);
      return;
    }
    try {
      const unsigned count = in.pIn->getPortCount();
      if (device < 0 || static_cast<unsigned>(device) >= count) {
        if (count == 0 && NoJackServer(in)) {
          NoSuchDevice("There is no MIDI input device " + std::to_string(device) + ": " +
                       kNoMidiSystem);
          return;
        }
        NoSuchDevice("There is no MIDI input device " + std::to_string(device) + ": " + in.strApi +
                     " MIDI has " + PortCountText(count));
        return;
      }
      Connect(*in.pIn, m_device);
      in.pIn->openPort(static_cast<unsigned>(device), kDevicePortName);
    } catch (const RtMidiError& e) {
      Fail(e.getMessage());
      return;  // in.pIn closes what was opened
    }
    m_hMidiIn = std::move(in.pIn);
    m_strApi = m_strDeviceApi = in.strApi;
    m_nDeviceJackGen = in.nJackGeneration;
    m_bMidiInOpen = 1;
  } else if (mode == 0) {
    if (!m_hMidiIn) {
      Fail("The MIDI input cannot be closed: no MIDI input device is open.");
      return;
    }
    if (m_strDeviceApi == "JACK" && !jack_watch::ClientUsable(m_nDeviceJackGen)) {
      // Its server is gone, and the port with it: nothing to close.
      LetGo(m_hMidiIn, m_strDeviceApi, m_nDeviceJackGen);
      m_bMidiInOpen = 0;
      return;
    }
    try {
      QuietRtMidi quiet;
      m_hMidiIn->closePort();
    } catch (const RtMidiError& e) {
      Fail(e.getMessage());
      return;
    }
    LetGo(m_hMidiIn, m_strDeviceApi, m_nDeviceJackGen);
    m_bMidiInOpen = 0;
  }
}

MidiResult MidiInput::OpenVirtualPort(bool bAllowJack) {
  if (m_pVirtualIn) return {true, {}};
  QuietRtMidi quiet;
  // Without bAllowJack no JACK client is made only to be let go of.
  OpenedIn in = MakeMidiIn(kJackVirtualClientName, bAllowJack);
  if (!in.pIn && in.bNoJackServer)
    return {false, std::string("The MIDI input port \"") + kVirtualPortName +
                       "\" cannot be made: " + kNoMidiSystem};
  if (!in.pIn) return {false, bAllowJack ? in.strError : "no ALSA sequencer"};
  try {
    Connect(*in.pIn, m_virtual);
    in.pIn->openVirtualPort(kVirtualPortName);
  } catch (const RtMidiError& e) {
    if (NoJackServer(in))
      return {false, std::string("The MIDI input port \"") + kVirtualPortName +
                         "\" cannot be made: " + kNoMidiSystem};
    return {false, e.getMessage()};
  }
  m_pVirtualIn = std::move(in.pIn);
  m_strVirtualApi = in.strApi;
  m_nVirtualJackGen = in.nJackGeneration;
  if (m_strApi.empty()) m_strApi = in.strApi;
  return {true, {}};
}

void MidiInput::CloseVirtualPort() {
  LetGo(m_pVirtualIn, m_strVirtualApi, m_nVirtualJackGen);
  m_strVirtualApi.clear();
}

}  // namespace thumper
