#include "engine/OfflineRender.h"

#include <algorithm>

namespace thumper {

namespace {

bool FrameIsSilent(const MixTarget& out, uint32_t k) {
  for (uint32_t m = 0; out.pMore && m < out.nMore; ++m)
    if (!FrameIsSilent(out.pMore[m], k)) return false;
  switch (out.kind) {
    case MixTarget::Kind::Float:
      return out.pFloat[2 * k] == 0.0f && out.pFloat[2 * k + 1] == 0.0f;
    case MixTarget::Kind::Int16:
      return out.pInt16[2 * k] == 0 && out.pInt16[2 * k + 1] == 0;
    case MixTarget::Kind::Planar:
      return out.pLeft[k] == 0.0f && out.pRight[k] == 0.0f;
  }
  return true;
}

}  // namespace

uint32_t OfflineRender::Next(const MixTarget& out) {
  if (m_bDone) return 0;
  // Blocks stop at the frame of the song's last event; from there on they run
  // until the last sound has finished, without the silence after it.
  const int64_t tailStart = m_events.empty() ? 0 : m_events.back().nFrame;
  const bool tail = m_nFrame >= tailStart;
  uint32_t frames =
      tail ? kBlockFrames
           : static_cast<uint32_t>(std::min<int64_t>(kBlockFrames, tailStart - m_nFrame));
  size_t count = 0;
  while (m_nNext + count < m_events.size()) {
    const int64_t at = std::max<int64_t>(0, m_events[m_nNext + count].nFrame - m_nFrame);
    if (at >= frames) break;
    if (count == std::size(m_block)) {
      // More events than one block takes: the block ends at the first that
      // does not fit, so every event keeps its frame.
      if (at > 0) frames = static_cast<uint32_t>(at);
      while (count > 0 && m_block[count - 1].nFrame >= frames) --count;
      break;
    }
    m_block[count] = {static_cast<uint32_t>(at), m_events[m_nNext + count].nMessage};
    ++count;
  }
  m_engine.RenderCycle(m_mixer, out, frames, {m_block, count}, {});
  m_nNext += count;
  if (!tail || m_nNext < m_events.size() || m_mixer.SoundingVoices() != 0) {
    m_nFrame += frames;
    return frames;
  }
  m_bDone = true;
  while (frames > 0 && FrameIsSilent(out, frames - 1)) --frames;
  m_nFrame += frames;
  return frames;
}

}  // namespace thumper
