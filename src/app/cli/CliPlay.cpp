// thumper play KIT.drums [--driver N] [--midi N] [--channel N] [--period FRAMES]:
// a drum module without a window. Loads the kit, opens the output driver and
// the MIDI inputs, and plays until SIGINT or SIGTERM.

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <ctime>
#include <iostream>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleUi.h"
#include "app/cli/LoadProgressLine.h"
#include "engine/ThumperRuntime.h"
#include "midi/MidiInput.h"

namespace thumper::cli {

namespace {

struct PlayArgs {
  std::string kit;
  int driver = -1;
  int midi = -1;
  int channel = 1;
  int period = static_cast<int>(AudioOutput::kDefaultPeriod);
  bool bList = false;
};

bool ParseInt(const std::string& text, int lo, int hi, int& out) {
  try {
    size_t used = 0;
    const long v = std::stol(text, &used);
    if (used != text.size() || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
  } catch (...) {
    return false;
  }
}

std::optional<PlayArgs> ParsePlayArgs(const Args& args) {
  PlayArgs p;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what, int lo, int hi, int& out) {
      if (++i >= args.size() || !ParseInt(args[i], lo, hi, out)) {
        std::cerr << "thumper: play: " << a << " takes " << what << "\n";
        return false;
      }
      return true;
    };
    if (a == "--list") {
      p.bList = true;
    } else if (a == "--driver") {
      if (!value("a driver number from --list", 0, 1 << 20, p.driver)) return std::nullopt;
    } else if (a == "--midi") {
      if (!value("a MIDI input number from --list", 0, 1 << 20, p.midi)) return std::nullopt;
    } else if (a == "--channel") {
      if (!value("a MIDI channel from 1 to 16", 1, 16, p.channel)) return std::nullopt;
    } else if (a == "--period") {
      if (!value("a period from 16 to 8192 frames", 16, 8192, p.period)) return std::nullopt;
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "thumper: play: unknown option " << a << "\n";
      return std::nullopt;
    } else if (p.kit.empty()) {
      p.kit = a;
    } else {
      return std::nullopt;
    }
  }
  if (p.kit.empty() && !p.bList) return std::nullopt;
  return p;
}

int ListDevices() {
  AudioOutput output;
  OutputDriverList drivers;
  std::cout << "Audio output drivers:\n";
  if (!output.EnumerateDrivers(drivers)) std::cout << "  (the drivers cannot be listed)\n";
  for (int i = 0; i < drivers.m_nCount; ++i)
    std::cout << "  " << i << ": " << drivers.m_strDescription[i] << "\n";
  const MidiPortList ports = ListMidiInputPorts();
  if (ports.strApi.empty()) {
    std::cout << "MIDI inputs: none (" << ports.strError << ")\n";
  } else {
    std::cout << "MIDI inputs (" << ports.strApi << "):\n";
    if (ports.names.empty()) std::cout << "  (none)\n";
    for (size_t i = 0; i < ports.names.size(); ++i)
      std::cout << "  " << i << ": " << ports.names[i] << "\n";
  }
  std::cout << "Other programs can also play into the virtual input \"" << kVirtualPortName
            << "\".\n";
  return kExitOk;
}

}  // namespace

int RunPlay(const Args& args) {
  auto parsed = ParsePlayArgs(args);
  if (!parsed) {
    std::cerr << "thumper: usage: thumper play KIT.drums [--driver N] [--midi N] [--channel N] "
                 "[--period FRAMES]\n"
                 "       thumper play --list\n";
    return kExitUsage;
  }
  const PlayArgs& p = *parsed;
  if (p.bList) return ListDevices();

  // The stop signals are taken by this thread alone: every thread the audio and
  // MIDI libraries start from here on inherits the blocked mask.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  ConsoleUi ui(std::cerr);
  CThumperDoc doc;
  ThumperRuntime runtime(doc, ui);
  LoadProgressLine loadProgress;
  runtime.m_onLoadProgress = loadProgress.Callback();
  runtime.m_output.SetPeriod(static_cast<uint32_t>(p.period));
  if (!doc.OnOpenDocument(p.kit, ui)) return kExitFile;  // the reason is on standard error
  if (p.driver >= 0) {
    runtime.m_output.m_nOutputDriver = p.driver;
    if (runtime.m_output.InitDirectSound(ui, true) == 0)
      runtime.m_output.InitDirectSound(ui, false);
  }
  if (p.midi >= 0) doc.m_nMidiInDevice = p.midi;
  runtime.m_trigger.SetChannel(p.channel);
  if (MidiResult r = runtime.m_midiIn.OpenVirtualPort(); !r.bOk)
    std::cerr << "thumper: the virtual MIDI input is not available: " << r.strError << "\n";
  SampleListState list;
  runtime.UpdateStep(list);

  std::cerr << "thumper: playing " << p.kit << " on "
            << (runtime.m_output.m_pDirectSound ? runtime.m_output.m_pDirectSound->Description()
                                                : std::string("no output"))
            << ", MIDI channel " << p.channel << "; MIDI input "
            << (runtime.m_midiIn.m_bMidiInOpen ? "device " + std::to_string(doc.m_nMidiInDevice)
                                               : std::string("device not open"))
            << (runtime.m_midiIn.IsVirtualPortOpen()
                    ? std::string(" and \"") + kVirtualPortName + "\""
                    : std::string())
            << ". Ctrl+C stops.\n";

  const timespec tick{0, 20 * 1000 * 1000};
  for (;;) {
    siginfo_t info;
    const int sig = sigtimedwait(&stop, &info, &tick);
    if (sig == SIGINT || sig == SIGTERM) break;
    runtime.Poll();
    NoteEvent event;
    while (runtime.m_trigger.PopNoteEvent(event)) {
    }
  }
  std::cerr << "thumper: stopped\n";
  return kExitOk;
}

}  // namespace thumper::cli
