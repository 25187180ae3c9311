#include "app/cli/WavFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace thumper {

namespace {

// libsndfile says "System error : No space left on device."; keep the reason.
std::string SndfileReason(const char* text) {
  std::string reason = text ? text : "unknown error";
  const std::string prefix = "System error : ";
  if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
  while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
  return reason;
}

std::string TempPathFor(const std::string& path) {
  const std::filesystem::path target(path);
  std::string name(".");
  name.append(target.filename().string()).append(".").append(std::to_string(::getpid()));
  name.append(".part");
  return (target.parent_path() / name).string();
}

int16_t ToPcm16(float x) {
  if (!(x == x)) return 0;  // NaN
  const float scaled = std::nearbyint(x * 32768.0f);
  if (scaled >= 32767.0f) return 32767;
  if (scaled <= -32768.0f) return -32768;
  return static_cast<int16_t>(scaled);
}

// Converted samples go out block samples at a time; a shorter rest joins the
// last of them, so every write is at least that large.
size_t ChunkOf(size_t left, size_t block) {
  return left < 2 * block ? left : block;
}

float FiniteOrZero(float x) {
  return std::isfinite(x) ? x : 0.0f;
}

}  // namespace

WavFileWriter::WavFileWriter(uint64_t maxDataBytes) : m_nMaxDataBytes(maxDataBytes) {}

WavFileWriter::~WavFileWriter() {
  Discard();
}

WavWriteStatus WavFileWriter::Open(const std::string& path, WavSampleFormat format) {
  if (IsOpen()) return {false, "cannot create " + path + ": a WAV file is already being written"};
  m_strPath = path;
  m_format = format;
  m_nFrames = 0;
  m_bFailed = false;

  // A device, a pipe (/dev/null, a FIFO) or a symbolic link is written in
  // place; a regular file is written beside its name and renamed over it at
  // the end. So is a new file, unless its folder does not let us make the
  // temporary one.
  struct stat st;
  const bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return {false, "cannot create " + path + ": it is a folder"};
  if (!exists || S_ISREG(st.st_mode)) {
    m_strTempPath = TempPathFor(path);
    m_fd = ::open(m_strTempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) m_strTempPath.clear();
  }
  if (m_fd < 0) m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (m_fd < 0) {
    const int error = errno;
    return {false, "cannot create " + path + ": " + std::strerror(error)};
  }
  // A regular file written in place has lost its old content already; a failed
  // render removes it rather than leave a broken one.
  struct stat opened;
  m_bRemoveOnDiscard = m_strTempPath.empty() && !(exists && S_ISLNK(st.st_mode)) &&
                       ::fstat(m_fd, &opened) == 0 && S_ISREG(opened.st_mode);

  SF_INFO info{};
  info.samplerate = kSampleRate;
  info.channels = kChannels;
  info.format =
      SF_FORMAT_WAV | (format == WavSampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
  m_pFile = sf_open_fd(m_fd, SFM_WRITE, &info, SF_FALSE);
  if (!m_pFile) {
    const std::string reason = SndfileReason(sf_strerror(nullptr));
    Discard();
    return {false, "cannot create " + path + ": " + reason};
  }
  // The peak chunk carries a time stamp; leave it out so a render is repeatable.
  sf_command(m_pFile, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return {};
}

WavWriteStatus WavFileWriter::CheckRoom(size_t samples) const {
  if (!IsOpen()) return {false, "cannot write " + m_strPath + ": the file is not open"};
  if (m_bFailed) return {false, "cannot write " + m_strPath + ": an earlier write failed"};
  if (samples % kChannels != 0) {
    return {false, "cannot write " + m_strPath + ": a block must hold whole stereo frames"};
  }
  const uint64_t bytesPerSample = m_format == WavSampleFormat::Float32 ? 4 : 2;
  const uint64_t after = (uint64_t(m_nFrames) * kChannels + samples) * bytesPerSample;
  if (after > m_nMaxDataBytes) {
    return {false, "cannot write " + m_strPath +
                       ": the audio would pass the 4 GiB size limit of a WAV file"};
  }
  return {};
}

WavWriteStatus WavFileWriter::Written(sf_count_t asked, sf_count_t done, int savedErrno) {
  if (done == asked) {
    m_nFrames += asked / kChannels;
    return {};
  }
  m_bFailed = true;
  const std::string reason =
      savedErrno ? std::strerror(savedErrno) : SndfileReason(sf_strerror(m_pFile));
  return {false, "cannot write " + m_strPath + ": " + reason};
}

WavWriteStatus WavFileWriter::Write(std::span<const float> interleaved) {
  if (auto room = CheckRoom(interleaved.size()); !room.ok) return room;
  for (size_t at = 0, n; at < interleaved.size(); at += n) {
    n = ChunkOf(interleaved.size() - at, kBlockSamples);
    errno = 0;
    sf_count_t done;
    if (m_format == WavSampleFormat::Pcm16) {
      m_shortBlock.resize(std::max(m_shortBlock.size(), n));
      for (size_t i = 0; i < n; ++i) m_shortBlock[i] = ToPcm16(interleaved[at + i]);
      done = sf_write_short(m_pFile, m_shortBlock.data(), sf_count_t(n));
    } else {
      m_floatBlock.resize(std::max(m_floatBlock.size(), n));
      for (size_t i = 0; i < n; ++i) m_floatBlock[i] = FiniteOrZero(interleaved[at + i]);
      done = sf_write_float(m_pFile, m_floatBlock.data(), sf_count_t(n));
    }
    if (auto status = Written(sf_count_t(n), done, errno); !status.ok) return status;
  }
  return {};
}

WavWriteStatus WavFileWriter::Write(std::span<const int16_t> interleaved) {
  if (auto room = CheckRoom(interleaved.size()); !room.ok) return room;
  if (m_format == WavSampleFormat::Pcm16 && !interleaved.empty()) {
    // Nothing to convert: the whole span in one write.
    errno = 0;
    const sf_count_t done =
        sf_write_short(m_pFile, interleaved.data(), sf_count_t(interleaved.size()));
    return Written(sf_count_t(interleaved.size()), done, errno);
  }
  for (size_t at = 0, n; at < interleaved.size(); at += n) {
    n = ChunkOf(interleaved.size() - at, kBlockSamples);
    errno = 0;
    sf_count_t done;
    if (m_format == WavSampleFormat::Pcm16) {
      done = sf_write_short(m_pFile, interleaved.data() + at, sf_count_t(n));
    } else {
      m_floatBlock.resize(std::max(m_floatBlock.size(), n));
      for (size_t i = 0; i < n; ++i) m_floatBlock[i] = interleaved[at + i] / 32768.0f;
      done = sf_write_float(m_pFile, m_floatBlock.data(), sf_count_t(n));
    }
    if (auto status = Written(sf_count_t(n), done, errno); !status.ok) return status;
  }
  return {};
}

WavWriteStatus WavFileWriter::Close() {
  if (!IsOpen()) return {false, "cannot finish " + m_strPath + ": the file is not open"};
  if (m_bFailed) {
    Discard();
    return {false, "cannot finish " + m_strPath + ": an earlier write failed"};
  }
  // Write the final sizes now, so a failure to do so is seen here.
  errno = 0;
  sf_command(m_pFile, SFC_UPDATE_HEADER_NOW, nullptr, 0);
  int error = sf_error(m_pFile) != SF_ERR_NO_ERROR ? (errno ? errno : EIO) : 0;
  if (sf_close(m_pFile) != 0 && !error) error = errno ? errno : EIO;
  m_pFile = nullptr;
  if (::close(m_fd) != 0 && !error) error = errno;
  m_fd = -1;
  if (!error && !m_strTempPath.empty() && ::rename(m_strTempPath.c_str(), m_strPath.c_str()) != 0) {
    error = errno;
  }
  if (error) {
    RemovePartialFile();
    return {false, "cannot finish " + m_strPath + ": " + std::strerror(error)};
  }
  m_strTempPath.clear();
  m_bRemoveOnDiscard = false;
  return {};
}

void WavFileWriter::Discard() {
  if (m_pFile) sf_close(m_pFile);
  m_pFile = nullptr;
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  RemovePartialFile();
}

void WavFileWriter::RemovePartialFile() {
  if (!m_strTempPath.empty()) ::unlink(m_strTempPath.c_str());
  if (m_bRemoveOnDiscard) ::unlink(m_strPath.c_str());
  m_strTempPath.clear();
  m_bRemoveOnDiscard = false;
}

}  // namespace thumper
