// thumper render KIT SONG.mid -o OUT.wav|--stems DIR [--channel N] [--float]
// [--note-map MAP] [--seed N] [--gm]: plays a MIDI file through the same trigger and mixer as
// the window, with every event at its exact frame, and streams the result to a
// WAV file. A kit that plays as its maker made it (a Hydrogen kit) plays so;
// its random choices follow the seed, so one seed gives the same file every time.

#include <unistd.h>

#include <bitset>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleUi.h"
#include "app/cli/LoadProgressLine.h"
#include "app/cli/StemRender.h"
#include "app/cli/WavFileWriter.h"
#include "app/cli/WavWriterThread.h"
#include "audio/OfflineBackend.h"
#include "engine/KitNoteNames.h"
#include "engine/KitVoices.h"
#include "engine/LoadedKit.h"
#include "engine/OfflineRender.h"
#include "engine/ThumperRuntime.h"
#include "midi/MidiFile.h"

namespace thumper::cli {

namespace {

struct RenderArgs {
  std::string kit, song, output;
  int channel = 1;
  bool bFloat = false;
  std::string noteMap;
  uint64_t seed = 0;
  bool bGm = false;
  std::string stems;               // a folder for one file per output pair, in place of output
  std::optional<uint64_t> memory;  // --memory MB, in bytes
};

bool ParseChannel(const std::string& text, int& channel) {
  try {
    size_t used = 0;
    const int v = std::stoi(text, &used);
    if (used != text.size() || v < 1 || v > 16) return false;
    channel = v;
    return true;
  } catch (...) {
    return false;
  }
}

std::optional<RenderArgs> ParseRenderArgs(const Args& args) {
  RenderArgs r;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--output") {
      if (++i >= args.size()) return std::nullopt;
      r.output = args[i];
    } else if (a == "--channel") {
      if (++i >= args.size() || !ParseChannel(args[i], r.channel)) {
        std::cerr << "thumper: render: --channel takes a MIDI channel from 1 to 16\n";
        return std::nullopt;
      }
    } else if (a == "--float") {
      r.bFloat = true;
    } else if (a == "--gm") {
      r.bGm = true;
    } else if (a == "--memory") {
      if (!ParseMemoryOption("render", ++i < args.size() ? &args[i] : nullptr, r.memory))
        return std::nullopt;
    } else if (a == "--stems") {
      if (++i >= args.size() || args[i].empty()) {
        std::cerr << "thumper: render: --stems takes a folder\n";
        return std::nullopt;
      }
      r.stems = args[i];
    } else if (a == "--seed") {
      if (++i >= args.size() || !ParseWholeNumber(args[i], r.seed)) {
        std::cerr << "thumper: render: --seed takes a whole number from 0 to "
                     "18446744073709551615\n";
        return std::nullopt;
      }
    } else if (a == "--note-map") {
      if (++i >= args.size()) {
        std::cerr << "thumper: render: --note-map takes a note map file or "
                  << BuiltInNoteMapNames() << "\n";
        return std::nullopt;
      }
      r.noteMap = args[i];
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "thumper: render: unknown option " << a << "\n";
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (!r.output.empty() && !r.stems.empty()) {
    std::cerr << "thumper: render: -o and --stems do not go together\n";
    return std::nullopt;
  }
  if (positional.size() != 2 || (r.output.empty() && r.stems.empty())) return std::nullopt;
  r.kit = positional[0];
  r.song = positional[1];
  return r;
}

// A progress line once the render has taken more than a second.
class Progress {
 public:
  explicit Progress(int64_t total) : m_total(total > 0 ? total : 1), m_bTty(isatty(2)) {}
  void At(int64_t frame) {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(250))
      return;
    m_last = now;
    const int percent = static_cast<int>(std::min<int64_t>(99, frame * 100 / m_total));
    if (m_bTty) {
      std::fprintf(stderr, "\rthumper: rendering %3d%%", percent);
      m_bShown = true;
    } else if (percent / 10 != m_nLastTenth) {
      std::fprintf(stderr, "thumper: rendering %d%%\n", percent);
      m_nLastTenth = percent / 10;
    }
  }
  void Done() {
    if (m_bShown) std::fprintf(stderr, "\rthumper: rendering 100%%\n");
  }

 private:
  int64_t m_total;
  bool m_bTty;
  bool m_bShown = false;
  int m_nLastTenth = -1;
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point m_last{};
};

// The note a message starts on channel (1..16), or -1.
int NoteStartedBy(uint32_t message, int channel) {
  return SlotStartedBy(message, channel) < 0 ? -1 : static_cast<int>((message >> 8) & 0x7F);
}

int LayersWithSample(const CThumperDoc& doc) {
  int count = 0;
  ForEachLayerSample(doc, [&count](int, const std::string&) { ++count; });
  return count;
}

}  // namespace

int RunRender(const Args& args) {
  auto parsed = ParseRenderArgs(args);
  if (!parsed) {
    std::cerr << "thumper: usage: thumper render KIT SONG.mid -o OUT.wav|--stems DIR "
                 "[--channel N] [--float] [--note-map MAP] [--seed N] [--gm] [--memory MB]\n";
    return kExitUsage;
  }
  const RenderArgs& r = *parsed;

  MidiFileResult midi = ReadMidiFile(r.song);
  if (!midi.ok()) {
    std::cerr << "thumper: " << midi.message << "\n";
    return kExitFile;
  }

  std::optional<NoteMap> noteMap;
  if (!r.noteMap.empty() && !ReadNoteMapOption(r.noteMap, noteMap)) return kExitFile;

  ConsoleUi ui(std::cerr);
  CThumperDoc doc;
  ThumperRuntime runtime(doc, ui, MakeOfflineBackend());
  runtime.m_trigger.SetNoteMap(noteMap);
  LoadProgressLine loadProgress;
  runtime.m_onLoadProgress = loadProgress.Callback();
  SampleListState list;
  int unreadable = 0;
  runtime.m_onUnreadableSample = [&ui, &unreadable](const std::string& path) {
    ui.ReportUnreadableSample(path);
    ++unreadable;
  };
  // Whether the kit was lost (not one of the samples it names could be read),
  // and how: "found" or "read".
  bool lost = false;
  const char* lostHow = "read";
  if (PlaysAsKitProgram(r.kit)) {
    int status = kExitOk;
    std::optional<KitProgram> program = ReadKitProgramOption(r.kit, r.bGm, status);
    if (!program) return status;
    // Only the samples of the notes the song plays are read.
    const NoteMap mapped =
        noteMap ? NoteMapForKit(*noteMap, GeneralMidiNotesOf(*program)) : NoteMap::Identity();
    std::array<bool, PlayProgram::kNoteCount> notes{};
    for (const MidiFileEvent& e : midi.song.events) {
      const int note = NoteStartedBy(e.message, r.channel);
      if (note < 0) continue;
      if (!noteMap) {
        notes[size_t(note)] = true;
        continue;
      }
      const NoteMap::Targets& to = mapped.m_targets[size_t(note)];
      for (int t = 0; t < to.nCount; ++t) notes[to.nNote[t]] = true;
    }
    const std::vector<bool> wanted = SamplesOfNotes(*program, notes);
    runtime.m_nMemoryBudget = r.memory;
    const int loaded = runtime.PlayKitProgram(std::move(*program), r.seed, &wanted);
    if (loaded < 0) return kExitFile;  // too large: the reason is on standard error
    lost = runtime.KitSamplesWanted() > 0 && loaded == 0;
  } else {
    if (!OpenKitDocument(r.kit, doc, ui)) return kExitFile;  // the reason is on standard error
    // The layers that name a sample, before the missing ones are dropped.
    const int named = LayersWithSample(doc);
    // Only the samples the song can play are read; the others are only checked.
    std::bitset<kSlotCount> played;
    for (const MidiFileEvent& e : midi.song.events) {
      const int slot = SlotStartedBy(e.message, r.channel);
      if (slot < 0) continue;
      if (!noteMap) {
        played.set(size_t(slot));
        continue;
      }
      // A mapped note plays the slots of the notes it is sent to.
      const NoteMap::Targets& to = noteMap->m_targets[(e.message >> 8) & 0x7F];
      for (int t = 0; t < to.nCount; ++t) played.set(size_t(SlotOfNote(to.nNote[t])));
    }
    runtime.m_slotsToLoad = played;
    runtime.UpdateStep(list, /*bOpenMidi=*/false);
    const int found = LayersWithSample(doc);
    // Silence written because the kit was lost is a failure, not a render; a
    // drum set that names no sample, or a song that plays none, is not.
    lost = named > 0 && found - unreadable <= 0;
    if (found <= 0) lostHow = "found";
  }
  runtime.m_trigger.SetChannel(r.channel);

  auto* device = runtime.m_output.m_pDirectSound.get();
  if (!device) {
    std::cerr << "thumper: render: no offline device\n";
    return kExitFile;
  }

  std::vector<SongEvent> events;
  events.reserve(midi.song.events.size());
  for (const MidiFileEvent& e : midi.song.events) events.push_back({e.frame, e.message});
  OfflineRender render(runtime.m_engine, device->GetMixer(), events);
  Progress progress(midi.song.endFrame);

  if (!r.stems.empty()) {
    const NoteNames names = runtime.PlayingKitProgram()
                                ? KitProgramNoteNames(*runtime.PlayingKitProgram())
                                : DrumSetNoteNames(doc);
    const std::vector<Stem> stems = StemsOf(runtime.m_trigger.Current().m_program, names);
    if (!RenderStems(render, stems, r.stems,
                     r.bFloat ? WavSampleFormat::Float32 : WavSampleFormat::Pcm16,
                     [&progress](int64_t frame) { progress.At(frame); }))
      return kExitFile;
    progress.Done();
    if (lost) {
      std::cerr << "thumper: render: not one sample of " << r.kit << " could be " << lostHow
                << ": the stems in " << r.stems << " are silent\n";
      return kExitFile;
    }
    return kExitOk;
  }

  WavFileWriter writer;
  if (auto s = writer.Open(r.output, r.bFloat ? WavSampleFormat::Float32 : WavSampleFormat::Pcm16);
      !s.ok) {
    std::cerr << "thumper: " << s.message << "\n";
    return kExitFile;
  }
  // The file is written on a thread of its own, in large blocks.
  WavWriterThread pipe(writer);

  static_assert(2 * OfflineRender::kBlockFrames <= WavWriterThread::kMaxRoomSamples);
  bool ok = true;
  for (;;) {
    // Mixed straight into the block the writing thread takes next.
    const MixTarget target = r.bFloat ? MixTarget::Interleaved(pipe.FloatRoom().data())
                                      : MixTarget::Interleaved(pipe.ShortRoom().data());
    const uint32_t n = render.Next(target);
    if (n == 0) break;
    if (WavWriteStatus s = pipe.Commit(2 * size_t(n)); !s.ok) {
      std::cerr << "thumper: " << s.message << "\n";
      ok = false;
      break;
    }
    progress.At(render.Frame());
  }
  if (ok) {
    if (auto s = pipe.Finish(); !s.ok) {
      std::cerr << "thumper: " << s.message << "\n";
      ok = false;
    }
  }
  if (!ok) {
    writer.Discard();
    return kExitFile;
  }
  if (auto s = writer.Close(); !s.ok) {
    std::cerr << "thumper: " << s.message << "\n";
    return kExitFile;
  }
  progress.Done();
  if (lost) {
    std::cerr << "thumper: render: not one sample of " << r.kit << " could be " << lostHow << ": "
              << r.output << " is silent\n";
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace thumper::cli
