#pragma once
// The primitive encodings of the framework's serialisation archive: little-endian
// integers, counts and length-prefixed strings. Shared by ".drums" and ".slist".

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace thumper {

class ArchiveWriter {
 public:
  void PutU16(uint16_t v);
  void PutU32(uint32_t v);
  void PutI32(int32_t v) { PutU32(static_cast<uint32_t>(v)); }
  void PutBytes(std::string_view bytes);
  // A list size: uint16 below 0xFFFF, else 0xFFFF and a uint32.
  void PutCount(uint64_t count);
  // 1-byte length below 255; 0xFF + uint16 below 0xFFFE; else 0xFF, 0xFFFF, uint32.
  void PutString(std::string_view text);

  void Reserve(size_t n) { m_bytes.reserve(n); }
  std::vector<uint8_t>& bytes() { return m_bytes; }

 private:
  std::vector<uint8_t> m_bytes;
};

// Reads from a byte buffer. Every read checks the bytes left; a failed read
// returns nothing and the reader should be abandoned.
class ArchiveReader {
 public:
  explicit ArchiveReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

  size_t Left() const { return m_bytes.size() - m_pos; }
  std::optional<uint8_t> U8();
  std::optional<uint16_t> U16();
  std::optional<uint32_t> U32();
  std::optional<int32_t> I32();
  std::optional<uint32_t> Count();
  // A narrow string, or a wide one (0xFF 0xFFFE, a length in UTF-16 units, the
  // units) converted to UTF-8. Never allocates more than the bytes left.
  std::optional<std::string> String();

 private:
  std::optional<uint32_t> Length();

  std::span<const uint8_t> m_bytes;
  size_t m_pos = 0;
};

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::span<const uint16_t> units);

}  // namespace thumper
