#pragma once
// What the program knows about its JACK server's life. Every JACK client we
// hold (our own audio client, RtMidi's inputs) belongs to the server that ran
// when it was made; once that server is gone the client must never be called
// again, since libjack then reaches into memory the server took along.
//
// A loss is learnt from our client's shutdown callback, from a device that
// stopped working, or from a probe that finds no server answering. Any thread.

#include <cstdint>

namespace thumper::jack_watch {

// How many server losses have been seen; a client made when this read n may be
// used only while it still reads n.
uint64_t Generation() noexcept;

// Records that the server went away. Async-signal-safe (one atomic increment),
// so a shutdown callback may call it.
void ReportLoss() noexcept;

// Whether a client made at generation may still be called: no loss was seen
// since, and a server answers now (a probe, which records a loss when none does).
bool ClientUsable(uint64_t generation);

// The one place a client whose server is gone is left behind: closing or
// destroying it would reach into what the server took along (libjack crashes
// there, in a port unregister or in the close itself), so it is kept, never
// called again, until the program ends. A few kilobytes per lost server.
void Abandon(void* client);

}  // namespace thumper::jack_watch
