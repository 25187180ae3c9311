#pragma once
// `thumper render --stems DIR`: the song rendered once with every output pair
// of the kit kept apart, each written to DIR/NN-NAME.wav (NN the pair, NAME
// what plays on it: "main" for pair 0, else the first note's name), so a DAW
// mixes the drums track by track. The stems add up to the plain render.
// Command-line thread.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/cli/WavFileWriter.h"
#include "engine/KitNoteNames.h"
#include "engine/OfflineRender.h"
#include "engine/OutputPairs.h"
#include "play/PlayProgram.h"

namespace thumper::cli {

struct Stem {
  uint8_t nOutput = 0;
  std::string strFile;  // NN-NAME.wav
};

// The pairs program plays on (its regions that sound), in order, with their files.
std::vector<Stem> StemsOf(const PlayProgram& program, const NoteNames& names);

// Renders through render into one file per stem under folder (made when
// missing). False, with the reason on standard error and no file left, when a
// file cannot be written. progress is told the frame after every block.
bool RenderStems(OfflineRender& render, const std::vector<Stem>& stems, const std::string& folder,
                 WavSampleFormat format, const std::function<void(int64_t)>& progress);

}  // namespace thumper::cli
