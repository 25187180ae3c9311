#include "drumset/ArchiveBytes.h"

namespace thumper {

void ArchiveWriter::PutU16(uint16_t v) {
  m_bytes.push_back(static_cast<uint8_t>(v & 0xFF));
  m_bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void ArchiveWriter::PutU32(uint32_t v) {
  PutU16(static_cast<uint16_t>(v & 0xFFFF));
  PutU16(static_cast<uint16_t>(v >> 16));
}

void ArchiveWriter::PutBytes(std::string_view bytes) {
  m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void ArchiveWriter::PutCount(uint64_t count) {
  if (count < 0xFFFF) {
    PutU16(static_cast<uint16_t>(count));
  } else {
    PutU16(0xFFFF);
    PutU32(static_cast<uint32_t>(count));
  }
}

void ArchiveWriter::PutString(std::string_view text) {
  const size_t n = text.size();
  if (n < 0xFF) {
    m_bytes.push_back(static_cast<uint8_t>(n));
  } else if (n < 0xFFFE) {
    m_bytes.push_back(0xFF);
    PutU16(static_cast<uint16_t>(n));
  } else {
    m_bytes.push_back(0xFF);
    PutU16(0xFFFF);
    PutU32(static_cast<uint32_t>(n));
  }
  PutBytes(text);
}

std::optional<uint8_t> ArchiveReader::U8() {
  if (Left() < 1) return std::nullopt;
  return m_bytes[m_pos++];
}

std::optional<uint16_t> ArchiveReader::U16() {
  if (Left() < 2) return std::nullopt;
  const uint16_t v = static_cast<uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
  m_pos += 2;
  return v;
}

std::optional<uint32_t> ArchiveReader::U32() {
  if (Left() < 4) return std::nullopt;
  const uint32_t v = static_cast<uint32_t>(m_bytes[m_pos]) |
                     (static_cast<uint32_t>(m_bytes[m_pos + 1]) << 8) |
                     (static_cast<uint32_t>(m_bytes[m_pos + 2]) << 16) |
                     (static_cast<uint32_t>(m_bytes[m_pos + 3]) << 24);
  m_pos += 4;
  return v;
}

std::optional<int32_t> ArchiveReader::I32() {
  const auto v = U32();
  if (!v) return std::nullopt;
  return static_cast<int32_t>(*v);
}

std::optional<uint32_t> ArchiveReader::Count() {
  const auto small = U16();
  if (!small) return std::nullopt;
  if (*small != 0xFFFF) return *small;
  return U32();
}

// The length prefix after the wide marker: 1 byte, else 0xFF + uint16, else
// 0xFF, 0xFFFF + uint32.
std::optional<uint32_t> ArchiveReader::Length() {
  const auto b = U8();
  if (!b) return std::nullopt;
  if (*b < 0xFF) return *b;
  const auto w = U16();
  if (!w) return std::nullopt;
  if (*w < 0xFFFF) return *w;
  return U32();
}

std::optional<std::string> ArchiveReader::String() {
  const auto b = U8();
  if (!b) return std::nullopt;
  uint32_t length = *b;
  bool wide = false;
  if (*b == 0xFF) {
    const auto w = U16();
    if (!w) return std::nullopt;
    length = *w;
    if (*w == 0xFFFE) {
      wide = true;
      const auto inner = Length();
      if (!inner) return std::nullopt;
      length = *inner;
    } else if (*w == 0xFFFF) {
      const auto d = U32();
      if (!d) return std::nullopt;
      length = *d;
    }
  }
  if (!wide) {
    if (length > Left()) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(m_bytes.data() + m_pos), length);
    m_pos += length;
    return text;
  }
  if (length > Left() / 2) return std::nullopt;
  std::vector<uint16_t> units(length);
  for (auto& u : units) u = *U16();
  return Utf16ToUtf8(units);
}

namespace {
void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
}  // namespace

std::string Utf16ToUtf8(std::span<const uint16_t> units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace thumper
