#pragma once
// Probing a machine without sound cards, an ALSA sequencer or a JACK server
// makes ALSA and JACK print to standard error; a desktop program keeps its
// terminal clean, and the messages the user needs come through UiServices.

namespace thumper {

// Any thread; does its work once per process.
void SilenceLibraryChatter();

}  // namespace thumper
