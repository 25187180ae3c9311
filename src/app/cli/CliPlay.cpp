// thumper play KIT [--driver N] [--midi N] [--channel N] [--period FRAMES]
// [--no-connect] [--note-map MAP] [--seed N] [--gm] [--multi-out]: a drum module without a window.
// Loads the kit, opens the output driver and the MIDI inputs, and plays until SIGINT or SIGTERM.

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleUi.h"
#include "app/cli/LoadProgressLine.h"
#include "audio/JackClientDevice.h"
#include "engine/KitProgramVoices.h"
#include "engine/LoadedKit.h"
#include "engine/ThumperRuntime.h"
#include "midi/MidiInput.h"
#include "session/SessionLink.h"

namespace thumper::cli {

namespace {

constexpr int kRestPollMs = 1000;
constexpr int kReclaimRetryMs = 50;

struct PlayArgs {
  std::string kit;
  int driver = -1;
  int midi = -1;
  int channel = 1;
  int period = static_cast<int>(AudioOutput::kDefaultPeriod);
  bool bList = false;
  bool bConnect = true;
  std::string noteMap;
  // A kit's random choices: from the clock unless --seed gives one.
  std::optional<uint64_t> seed;
  bool bGm = false;
  bool bMultiOut = false;
  std::optional<uint64_t> memory;  // --memory MB, in bytes
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
    } else if (a == "--no-connect") {
      p.bConnect = false;
    } else if (a == "--gm") {
      p.bGm = true;
    } else if (a == "--multi-out") {
      p.bMultiOut = true;
    } else if (a == "--memory") {
      if (!ParseMemoryOption("play", ++i < args.size() ? &args[i] : nullptr, p.memory))
        return std::nullopt;
    } else if (a == "--seed") {
      uint64_t seed = 0;
      if (++i >= args.size() || !ParseWholeNumber(args[i], seed)) {
        std::cerr << "thumper: play: --seed takes a whole number from 0 to "
                     "18446744073709551615\n";
        return std::nullopt;
      }
      p.seed = seed;
    } else if (a == "--note-map") {
      if (++i >= args.size()) {
        std::cerr << "thumper: play: --note-map takes a note map file or " << BuiltInNoteMapNames()
                  << "\n";
        return std::nullopt;
      }
      p.noteMap = args[i];
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
  // Under a session manager the drum set comes with the session.
  if (p.kit.empty() && !p.bList && !std::getenv(kNsmUrlVariable)) return std::nullopt;
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

std::string DescribeOutput(ThumperRuntime& runtime) {
  const SoundDevice* device = runtime.m_output.m_pDirectSound.get();
  if (!device) return "no output";
  const std::string client = device->ClientName();
  if (client.empty()) return device->Description();
  // The server may have given another name than "Thumper" when it was taken.
  return device->Description() + " as JACK client \"" + client + "\" (" + client + ":" +
         kJackOutPortNames[0] + ", " + client + ":" + kJackOutPortNames[1] + ")";
}

std::string DescribeInputs(ThumperRuntime& runtime, const CThumperDoc& doc) {
  std::string text = runtime.m_midiIn.m_bMidiInOpen
                         ? "device " + std::to_string(doc.m_nMidiInDevice)
                         : std::string("device not open");
  if (runtime.HasDeviceMidiInput()) {
    const std::string client = runtime.m_output.m_pDirectSound->ClientName();
    text += std::string(" and \"") + client + ":" + kJackMidiPortName + "\"";
  }
  if (runtime.m_midiIn.IsVirtualPortOpen())
    text += std::string(" and \"") + kVirtualPortName + "\"";
  return text;
}

void OpenVirtualPort(ThumperRuntime& runtime) {
  if (runtime.m_midiIn.IsVirtualPortOpen()) return;
  if (MidiResult r = runtime.OpenVirtualPort(); !r.bOk)
    std::cerr << "thumper: the virtual MIDI input is not available: " << r.strError << "\n";
}

// A count that only grows (cycles the server missed, late blocks of streamed
// samples), its growth on standard error at most once a second and at the end.
class GrowthReport {
 public:
  GrowthReport(const char* one, const char* many, std::string what)
      : m_pOne(one), m_pMany(many), m_strWhat(std::move(what)) {}
  // source: what the count belongs to; another one starts the count afresh.
  void Check(const void* source, uint64_t now, bool final = false) {
    if (source != m_pSource) {
      m_pSource = source;
      m_nReported = now;
      return;
    }
    const auto t = std::chrono::steady_clock::now();
    if (now <= m_nReported || (!final && t - m_last < std::chrono::seconds(1))) return;
    const uint64_t grown = now - m_nReported;
    std::cerr << "thumper: " << grown << (grown == 1 ? m_pOne : m_pMany) << m_strWhat << now
              << " in all)\n";
    m_nReported = now;
    m_last = t;
  }

 private:
  const char* m_pOne;
  const char* m_pMany;
  std::string m_strWhat;
  const void* m_pSource = nullptr;
  uint64_t m_nReported = 0;
  std::chrono::steady_clock::time_point m_last{};
};

}  // namespace

int RunPlay(const Args& args) {
  auto parsed = ParsePlayArgs(args);
  if (!parsed) {
    std::cerr << "thumper: usage: thumper play KIT [--driver N] [--midi N] [--channel N] "
                 "[--period FRAMES] [--no-connect] [--note-map MAP] [--seed N] [--gm]\n"
                 "                   [--multi-out] [--memory MB]\n"
                 "       thumper play --list\n";
    return kExitUsage;
  }
  const PlayArgs& p = *parsed;
  if (p.bList) return ListDevices();
  std::optional<NoteMap> noteMap;
  if (!p.noteMap.empty() && !ReadNoteMapOption(p.noteMap, noteMap)) return kExitFile;

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
  runtime.m_trigger.SetNoteMap(noteMap);
  LoadProgressLine loadProgress;
  runtime.m_onLoadProgress = loadProgress.Callback();
  runtime.m_output.SetPeriod(static_cast<uint32_t>(p.period));
  JackClientOptions jack;
  jack.bConnectOutputs = p.bConnect;
  jack.bMultiOut = p.bMultiOut;
  runtime.m_bMultiOut = p.bMultiOut;
  runtime.m_output.SetJackOptions(jack);
  runtime.m_onUnreadableSample = [&ui](const std::string& path) {
    ui.ReportUnreadableSample(path);
  };
  // The driver --driver names, in place of the first that works. The update
  // step loads every sample: the switch must not load them (and name every
  // missing one) a first time.
  auto openDriver = [&] {
    if (p.driver < 0) return;
    runtime.m_output.SetVoiceResetter(nullptr);
    runtime.m_output.m_nOutputDriver = p.driver;
    if (runtime.m_output.InitDirectSound(ui, true) == 0)
      runtime.m_output.InitDirectSound(ui, false);
    runtime.m_output.SetVoiceResetter(&runtime);
  };
  SampleListState list;
  std::unique_ptr<SessionLink> nsm =
      SessionLink::Start(runtime, list, p.kit, jack, kPlayCapabilities, std::cerr);
  if (nsm) {
    // The driver opens once the JACK client has its session name.
    nsm->Session().m_onNamed = [&] {
      if (!runtime.m_output.IsOpen()) openDriver();
    };
    nsm->Session().m_onLoaded = [&] {
      if (p.midi >= 0) doc.m_nMidiInDevice = p.midi;
      runtime.m_trigger.SetChannel(p.channel);
    };
    nsm->Handlers().open = [&](const std::string& prefix, const std::string&,
                               const std::string& id) {
      NsmReply reply = nsm->Session().Open(prefix, id);
      if (!reply.bOk) std::cerr << "thumper: the session's drum set: " << reply.strMessage << "\n";
      // Also after a damaged drum set was put aside: a new one plays.
      if (nsm->Session().LastOpenHeld()) {
        OpenVirtualPort(runtime);
        std::cerr << "thumper: playing " << nsm->Session().Path() << " for the session on "
                  << DescribeOutput(runtime) << "; MIDI input " << DescribeInputs(runtime, doc)
                  << "\n";
      }
      return reply;
    };
    std::cerr << "thumper: waiting for the session manager to open a session\n";
  }

  // Without a session: the kit from the command line, now.
  auto startAlone = [&]() -> int {
    if (p.kit.empty()) {
      std::cerr << "thumper: play: no drum set to play (thumper play KIT)\n";
      return kExitUsage;
    }
    // A kit that plays as its maker made it is read whole before anything opens.
    std::optional<KitProgram> program;
    if (PlaysAsKitProgram(p.kit)) {
      int status = kExitOk;
      program = ReadKitProgramOption(p.kit, p.bGm, status);
      if (!program) return status;
    } else if (!OpenKitDocument(p.kit, doc, ui)) {
      return kExitFile;  // the reason is on standard error
    }
    openDriver();
    if (p.midi >= 0) doc.m_nMidiInDevice = p.midi;
    runtime.m_trigger.SetChannel(p.channel);
    runtime.UpdateStep(list);
    if (program) {
      // It plays at once: each note as soon as its samples are in.
      runtime.m_bLoadInBackground = true;
      runtime.m_nMemoryBudget = p.memory;
      if (runtime.PlayKitProgram(std::move(*program), p.seed ? *p.seed : ClockSeed()) < 0)
        return kExitFile;  // too large: the reason is on standard error
    }
    OpenVirtualPort(runtime);
    std::cerr << "thumper: playing " << p.kit << " on " << DescribeOutput(runtime)
              << ", MIDI channel " << p.channel << "; MIDI input " << DescribeInputs(runtime, doc)
              << ". Ctrl+C stops.\n";
    return kExitOk;
  };
  if (!nsm) {
    if (const int status = startAlone(); status != kExitOk) return status;
  }
  // The main thread sleeps until a stop signal, a note event, a failed device
  // or the session manager wakes it; at rest it looks around once a second (a
  // device that stopped calling back, xruns, an unanswered announce), and
  // briefly while retired memory waits.
  const int signals = signalfd(-1, &stop, SFD_CLOEXEC);
  GrowthReport xruns(" cycle", " cycles", " missed by the audio server (xruns: ");
  GrowthReport underruns(" block", " blocks",
                         " of samples streamed from disk came too late and played as silence "
                         "(underruns: ");
  // Late blocks are counted from the mixer's first streamed sample on.
  const auto checkUnderruns = [&](bool final) {
    SoundDevice* device = runtime.m_output.m_pDirectSound.get();
    const SampleStreamer* streamer = device ? device->GetMixer().Streamer() : nullptr;
    underruns.Check(streamer, streamer ? streamer->Underruns() : 0, final);
  };
  for (;;) {
    pollfd fds[3] = {{signals, POLLIN, 0},
                     {runtime.m_uiWake.Fd(), POLLIN, 0},
                     {nsm ? nsm->Client().Fd() : -1, POLLIN, 0}};
    const int timeout =
        runtime.HasRetiredMemory() || runtime.IsLoading() ? kReclaimRetryMs : kRestPollMs;
    poll(fds, 3, timeout);
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info;
      if (read(signals, &info, sizeof info) == sizeof info &&
          (info.ssi_signo == SIGINT || info.ssi_signo == SIGTERM))
        break;
    }
    runtime.m_uiWake.Clear();
    if (nsm) {
      nsm->Poll();
      if (nsm->Client().Unavailable()) {
        nsm.reset();
        if (const int status = startAlone(); status != kExitOk) return status;
      }
    }
    runtime.Poll();
    NoteEvent event;
    while (runtime.m_trigger.PopNoteEvent(event)) {
    }
    const SoundDevice* device = runtime.m_output.m_pDirectSound.get();
    xruns.Check(device, device ? device->MissedCycles() : 0);
    checkUnderruns(false);
  }
  checkUnderruns(true);
  if (signals >= 0) close(signals);
  if (const uint64_t early = runtime.m_trigger.HitsWhileLoading())
    std::cerr << "thumper: " << early << (early == 1 ? " note" : " notes")
              << " came before their samples were in, and were silent\n";
  std::cerr << "thumper: stopped\n";
  return kExitOk;
}

}  // namespace thumper::cli
