#include "drumset/DrumsFile.h"

#include <algorithm>
#include <string_view>

#include "drumset/ArchiveBytes.h"

namespace thumper {

namespace {

constexpr std::string_view kListClassName = "CStringArray";
constexpr uint16_t kListSchema = 0;

// Tags of the archive's object records.
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;

constexpr uint32_t kFirstReserve = 1024;

void PutListBody(ArchiveWriter& out, const StringList& list) {
  out.PutCount(list.size());
  for (const auto& s : list) out.PutString(s);
}

int32_t SlotSetting(const NoteSlot& slot, int field) {
  switch (field) {
    case 0:
      return slot.nCutNote;
    case 1:
      return slot.nScheme;
    case 2:
      return slot.nVolume;
    case 3:
      return slot.nReserved1;
    default:
      return slot.nReserved2;
  }
}

void SetSlotSetting(NoteSlot& slot, int field, int32_t value) {
  switch (field) {
    case 0:
      slot.nCutNote = value;
      break;
    case 1:
      slot.nScheme = value;
      break;
    case 2:
      slot.nVolume = value;
      break;
    case 3:
      slot.nReserved1 = value;
      break;
    default:
      slot.nReserved2 = value;
      break;
  }
}

// Follows the archive's numbering of records: index 0 is null, and every class
// description and every object takes the next index. Only what a drum set can
// hold is accepted: string lists, each stored as a new object.
class ListRecordReader {
 public:
  explicit ListRecordReader(ArchiveReader& in) : m_in(in) {}

  std::optional<StringList> ReadList() {
    if (!ReadClass()) return std::nullopt;
    m_bIsClass.push_back(false);  // the object takes the next index
    const auto count = m_in.Count();
    // Each string takes at least its length byte: a count beyond the bytes left
    // cannot be real. Even a possible count only sizes a small first allocation;
    // the list grows with the strings actually read.
    if (!count || *count > m_in.Left()) return std::nullopt;
    StringList list;
    list.reserve(std::min<uint32_t>(*count, kFirstReserve));
    for (uint32_t i = 0; i < *count; ++i) {
      auto s = m_in.String();
      if (!s) return std::nullopt;
      list.push_back(std::move(*s));
    }
    return list;
  }

 private:
  // Reads the tag of a record and the class it names; false when the record is
  // not a new string-list object (null, a reference, or a bad class or index).
  bool ReadClass() {
    const auto tag = m_in.U16();
    if (!tag) return false;
    uint32_t objTag;
    if (*tag == kBigObjectTag) {
      const auto big = m_in.U32();
      if (!big) return false;
      objTag = *big;
    } else {
      objTag = (static_cast<uint32_t>(*tag & kClassTag) << 16) | (*tag & ~kClassTag);
    }
    if (!(objTag & kBigClassTag)) return false;  // null or an object already read
    if (*tag == kNewClassTag) {
      const auto schema = m_in.U16();
      const auto length = m_in.U16();
      if (!schema || !length || *length != kListClassName.size()) return false;
      for (char c : kListClassName) {
        const auto b = m_in.U8();
        if (!b || *b != static_cast<uint8_t>(c)) return false;
      }
      if (*schema != kListSchema) return false;
      m_bIsClass.push_back(true);
      return true;
    }
    const uint32_t index = objTag & ~kBigClassTag;
    return index > 0 && index < m_bIsClass.size() && m_bIsClass[index];
  }

  ArchiveReader& m_in;
  std::vector<bool> m_bIsClass{false};  // by record index; index 0 is null
};

// An upper bound of the file's size, so that writing never reallocates.
size_t ExpectedSize(const DrumSet& set) {
  auto listSize = [](const StringList& list) {
    size_t n = 2 + 6;
    for (const auto& s : list) n += s.size() + 7;
    return n;
  };
  size_t total = 4 + 6 + kListClassName.size() + listSize(*set.m_pGroupNames) +
                 static_cast<size_t>(kLayerTotal) * 16 + kSchemeCount * kThresholdCount * 4;
  for (int g = 0; g < set.GroupCount() && g < kGroupListSlots; ++g) {
    if (set.m_pGroupList[g]) total += listSize(*set.m_pGroupList[g]);
  }
  return total;
}

}  // namespace

std::vector<uint8_t> SerializeDrumSet(const DrumSet& set) {
  ArchiveWriter out;
  out.Reserve(ExpectedSize(set));
  out.PutI32(set.m_nMidiInDevice);

  out.PutU16(kNewClassTag);
  out.PutU16(kListSchema);
  out.PutU16(static_cast<uint16_t>(kListClassName.size()));
  out.PutBytes(kListClassName);
  PutListBody(out, *set.m_pGroupNames);

  static const StringList kNoEntries;
  const int groups = set.GroupCount();
  for (int g = 0; g < groups; ++g) {
    out.PutU16(kClassTag | 1);  // the class described with the first list
    const StringList* list = g < kGroupListSlots ? set.m_pGroupList[g].get() : nullptr;
    PutListBody(out, list ? *list : kNoEntries);
  }

  for (int s = 0; s < kSlotCount; ++s) {
    for (int l = 0; l < kLayerCount; ++l) {
      const int k = LayerIndex(s, l);
      out.PutI32(set.m_layerSample[k].nGroup);
      out.PutI32(set.m_layerSample[k].nIndex);
      out.PutI32(set.m_nLayerSource[k]);
      out.PutI32(SlotSetting(set.m_noteSlot[s], l));
    }
  }
  for (const auto& scheme : set.m_nVelocityThreshold) {
    for (int32_t t : scheme) out.PutI32(t);
  }
  return std::move(out.bytes());
}

std::optional<DrumSet> ParseDrumSet(std::span<const uint8_t> bytes) {
  ArchiveReader in(bytes);
  ListRecordReader records(in);
  DrumSet set;

  const auto device = in.I32();
  if (!device) return std::nullopt;
  set.m_nMidiInDevice = *device;

  auto names = records.ReadList();
  if (!names || names->size() > static_cast<size_t>(kGroupListSlots)) return std::nullopt;
  set.m_pGroupNames = std::make_unique<StringList>(std::move(*names));

  for (int g = 0; g < set.GroupCount(); ++g) {
    auto list = records.ReadList();
    if (!list) return std::nullopt;
    set.m_pGroupList[g] = std::make_unique<StringList>(std::move(*list));
  }

  if (in.Left() < static_cast<size_t>(kLayerTotal) * 16 + kSchemeCount * kThresholdCount * 4) {
    return std::nullopt;
  }
  for (int s = 0; s < kSlotCount; ++s) {
    for (int l = 0; l < kLayerCount; ++l) {
      const int k = LayerIndex(s, l);
      set.m_layerSample[k].nGroup = *in.I32();
      set.m_layerSample[k].nIndex = *in.I32();
      set.m_nLayerSource[k] = *in.I32();
      SetSlotSetting(set.m_noteSlot[s], l, *in.I32());
    }
  }
  for (auto& scheme : set.m_nVelocityThreshold) {
    for (int32_t& t : scheme) t = *in.I32();
  }
  // Bytes after the thresholds are ignored, as the framework's reader does.
  return set;
}

}  // namespace thumper
