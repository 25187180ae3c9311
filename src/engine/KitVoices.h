#pragma once
// What the program's voice rebuild and the plugin's kit load share: which
// layers name a sample, and the voice a finished decode makes. Control thread.

#include <functional>
#include <memory>
#include <string>

#include "audio/SampleDecoder.h"
#include "audio/SampleVoice.h"
#include "drumset/CThumperDoc.h"

namespace thumper {

// Calls visit(layer index, the entry's path) for every layer of doc with its
// own sample reference, in slot and layer order. A reference only a damaged
// file holds names no entry: that layer stays silent and is skipped.
void ForEachLayerSample(const CThumperDoc& doc,
                        const std::function<void(int nLayer, const std::string& path)>& visit);

// What the reader says of a sample file that would not open.
void SayNotOpened(UiServices& ui);

// The voice of copies copies a decoded sample makes on device; null when there
// is none. A file that would not open is said as the reader says it ("Could
// not OpenFile"); an unplayable voice has said why itself ("SND").
std::unique_ptr<SampleVoice> VoiceOfDecoded(UiServices& ui, SoundDevice* device,
                                            DecodedSample sample, const std::string& path,
                                            int copies = SampleVoice::kMaxCopies);

}  // namespace thumper
