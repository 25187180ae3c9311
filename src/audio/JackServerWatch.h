#pragma once
// What the program knows about its JACK server's life. Every JACK client we
// hold (our own audio client, RtMidi's inputs) belongs to the server that ran
// when it was made; once that server is gone the client must never be called
// again, since libjack then reaches into memory the server took along.
//
// A loss is learnt from our client's shutdown callback, from a device that
// stopped working, or from a probe that finds no server answering. Any thread.

#include <jack/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace thumper::jack_watch {

// How many server losses have been seen; a client made when this read n may be
// used only while it still reads n.
uint64_t Generation() noexcept;

// Records that the server went away. Async-signal-safe (one atomic increment),
// so a shutdown callback may call it.
void ReportLoss() noexcept;

// Whether a client made at generation may still be called: no loss was seen
// since, and a server answers now: our own client's process callback ran a
// moment ago, or else a probe client is opened (which records a loss when
// nobody answers in time).
bool ClientUsable(uint64_t generation);

// Real-time: our own client's process callback, each cycle. One atomic store.
void NoteCycle() noexcept;

// The one place a client whose server is gone is left behind: closing or
// destroying it would reach into what the server took along (libjack crashes
// there, in a port unregister or in the close itself), so it is kept, never
// called again, until the program ends. A few kilobytes per lost server.
void Abandon(void* client);

// Thumper's own audio client while it runs, made at generation: what the port
// listings go through, so that no client is made only to look at the graph
// (every one shows up in every patchbay). Released before it is closed or
// abandoned. UI thread.
void AdoptOwnClient(jack_client_t* client, uint64_t generation);
void ReleaseOwnClient(jack_client_t* client);
// Whether our own client is there and no loss was seen since it was made: a
// server runs, without a probe.
bool HasOwnClient();

// The names of the ports of type whose flags include flags, in the server's
// order, listed through our own client; nothing when there is none.
std::optional<std::vector<std::string>> ListPortsThroughOwnClient(const char* type,
                                                                  unsigned long flags);

// Opens a client (JackNoStartServer) on a thread of its own and waits for it
// at most limit: opening may block for ever when a server dies at the wrong
// moment, and the UI thread must go on (a SIGTERM must still end the program).
// Null when no server answers in time, which counts as a loss; a client that
// comes after that is abandoned.
// How long the UI thread waits for a client to open.
inline constexpr std::chrono::milliseconds kOpenLimit{2000};
jack_client_t* OpenClientWithin(const std::string& name, std::chrono::milliseconds limit,
                                jack_options_t options = JackNoStartServer);

}  // namespace thumper::jack_watch
