// The bytes the writer produces: the worked example, sizes, the string and count
// prefixes at their boundaries, and the class records.

#include <gtest/gtest.h>

#include "DrumsetTestSupport.h"
#include "drumset/DrumsFile.h"

namespace thumper::test {
namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, size_t from, size_t n) {
  return {b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n)};
}

DrumSet NewSetWithGroup(const std::string& name) {
  CThumperDoc doc;
  doc.OnNewDocument();
  doc.m_pGroupNames->push_back(name);
  DrumSet set;
  set = std::move(static_cast<DrumSet&>(doc));
  return set;
}

TEST(DrumsFileWrite, WorkedExampleNewSetWithOneEmptyGroup) {
  const auto bytes = SerializeDrumSet(NewSetWithGroup("New Group"));
  ASSERT_EQ(bytes.size(), 10358u);
  const std::vector<uint8_t> head = {
      0x01, 0x00, 0x00, 0x00,                                            // device 1
      0xFF, 0xFF, 0x00, 0x00, 0x0C, 0x00,                                // new class
      'C',  'S',  't',  'r',  'i',  'n',  'g', 'A', 'r', 'r', 'a', 'y',  // its name
      0x01, 0x00,                                                        // 1 name
      0x09, 'N',  'e',  'w',  ' ',  'G',  'r', 'o', 'u', 'p',            // "New Group"
      0x01, 0x80, 0x00, 0x00,                                            // list 0, empty
  };
  ASSERT_EQ(Slice(bytes, 0, head.size()), head);
  Bytes slot;
  const int32_t settings[5] = {-1, 4, -4000, -1, -1};
  for (int l = 0; l < 5; ++l) slot.I32(-1).I32(-1).I32(-1).I32(settings[l]);
  for (int s = 0; s < kSlotCount; ++s)
    EXPECT_EQ(Slice(bytes, head.size() + 80u * s, 80), slot.b) << "slot " << s;
  Bytes thresholds;
  for (int32_t t :
       {90, 50, 30, 10, 100, 65, 40, 20, 110, 80, 50, 25, 115, 95, 60, 30, 120, 105, 75, 40})
    thresholds.I32(t);
  EXPECT_EQ(Slice(bytes, bytes.size() - 80, 80), thresholds.b);
}

TEST(DrumsFileWrite, SetWithoutGroupsIs10344BytesWithClassAndZeroCount) {
  DrumSet set;
  const auto bytes = SerializeDrumSet(set);
  ASSERT_EQ(bytes.size(), 10344u);
  Bytes head;
  head.I32(0).NewClass().U16(0);
  EXPECT_EQ(Slice(bytes, 0, head.b.size()), head.b);
}

TEST(DrumsFileWrite, OneGroupWithOnePathIs10362Bytes) {
  DrumSet set;
  set.m_pGroupNames->push_back("Kick");
  set.m_pGroupList[0]->push_back("a/b.wav1");
  EXPECT_EQ(SerializeDrumSet(set).size(), 10362u);
}

TEST(DrumsFileWrite, ClassDescribedOnceThenReferencedWith8001) {
  DrumSet set;
  for (const char* n : {"A", "B", "C"}) set.m_pGroupNames->push_back(n);
  for (int g = 0; g < 3; ++g) set.m_pGroupList[g] = std::make_unique<StringList>();
  set.m_pGroupList[1]->push_back("x");
  const auto bytes = SerializeDrumSet(set);
  Bytes expect;
  expect.I32(0).NewClass().U16(3).Str("A").Str("B").Str("C");
  expect.U16(0x8001).U16(0).U16(0x8001).U16(1).Str("x").U16(0x8001).U16(0);
  EXPECT_EQ(Slice(bytes, 0, expect.b.size()), expect.b);
  EXPECT_EQ(bytes.size(), expect.b.size() + 10320u);
}

// The bytes of a group name of n characters, as written after the count.
std::vector<uint8_t> NamePrefix(size_t n, size_t prefixBytes) {
  DrumSet set;
  set.m_pGroupNames->push_back(std::string(n, 'n'));
  const auto bytes = SerializeDrumSet(set);
  EXPECT_EQ(bytes.size(), 10344u + 2 + prefixBytes + n + 2);  // + list 0 tag and count
  return Slice(bytes, 24, prefixBytes + 1);
}

TEST(DrumsFileWrite, StringPrefixesAtTheirBoundaries) {
  EXPECT_EQ(NamePrefix(0, 1), (std::vector<uint8_t>{0x00, 0x01}));
  EXPECT_EQ(NamePrefix(254, 1), (std::vector<uint8_t>{0xFE, 'n'}));
  EXPECT_EQ(NamePrefix(255, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 'n'}));
  EXPECT_EQ(NamePrefix(0xFFFD, 3), (std::vector<uint8_t>{0xFF, 0xFD, 0xFF, 'n'}));
  // 0xFFFE is the wide-string marker, so that length takes the long form.
  EXPECT_EQ(NamePrefix(0xFFFE, 7),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00, 'n'}));
  EXPECT_EQ(NamePrefix(0x10000, 7),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00, 'n'}));
}

TEST(DrumsFileWrite, CountPrefixesAtTheirBoundaries) {
  for (uint32_t n : {0xFFFEu, 0xFFFFu, 0x10000u}) {
    DrumSet set;
    set.m_pGroupNames->push_back("G");
    set.m_pGroupList[0]->assign(n, std::string());
    const auto bytes = SerializeDrumSet(set);
    const size_t at = 4 + 18 + 2 + 2 + 2;  // the count of list 0, after its tag
    Bytes expect;
    if (n < 0xFFFF)
      expect.U16(static_cast<uint16_t>(n));
    else
      expect.U16(0xFFFF).U32(n);
    EXPECT_EQ(Slice(bytes, at, expect.b.size()), expect.b) << n;
    EXPECT_EQ(bytes.size(), at + expect.b.size() + n + 10320u) << n;
  }
}

TEST(DrumsFileWrite, LayerRecordsInterleaveTheSlotSettings) {
  DrumSet set;
  set.m_layerSample[LayerIndex(3, 2)] = {7, 8};
  set.m_nLayerSource[LayerIndex(3, 2)] = 2;
  set.m_noteSlot[3] = {11, 2, -123, 77, 88};
  set.m_nMidiInDevice = -2;
  const auto bytes = SerializeDrumSet(set);
  Bytes expect;
  expect.I32(-1).I32(-1).I32(-1).I32(11);  // layer 0 carries the cut slot
  expect.I32(-1).I32(-1).I32(-1).I32(2);   // layer 1 the scheme
  expect.I32(7).I32(8).I32(2).I32(-123);   // layer 2 the volume
  expect.I32(-1).I32(-1).I32(-1).I32(77);  // layers 3 and 4 the reserved fields
  expect.I32(-1).I32(-1).I32(-1).I32(88);
  EXPECT_EQ(Slice(bytes, 24 + 3 * 80, 80), expect.b);
  EXPECT_EQ(Slice(bytes, 0, 4), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace thumper::test
