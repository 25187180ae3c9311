// What the reader accepts (every form the framework's archive can hold), what it
// rejects, and the values only a damaged file holds surviving a round trip.

#include <gtest/gtest.h>

#include "DrumsetTestSupport.h"
#include "drumset/DrumsFile.h"

namespace thumper::test {
namespace {

void ExpectSameSet(const DrumSet& a, const DrumSet& b) {
  EXPECT_EQ(SerializeDrumSet(a), SerializeDrumSet(b));
}

DrumSet RichSet() {
  DrumSet set;
  set.m_nMidiInDevice = 3;
  *set.m_pGroupNames = {"Kicks", std::string(300, 'k'), ""};
  set.m_pGroupList[0] = std::make_unique<StringList>(StringList{"/s/kick.wav", "C:\\old\\k2.wav"});
  set.m_pGroupList[1] = std::make_unique<StringList>(StringList{std::string(70000, 'p')});
  set.m_pGroupList[2] = std::make_unique<StringList>();
  set.m_layerSample[LayerIndex(0, 0)] = {0, 1};
  set.m_nLayerSource[LayerIndex(0, 0)] = 0;
  set.m_nVelocityThreshold[2] = {1, 2, 3, 4};
  return set;
}

TEST(DrumsFileRead, ReadsBackWhatTheWriterWrote) {
  const DrumSet set = RichSet();
  const auto parsed = ParseDrumSet(SerializeDrumSet(set));
  ASSERT_TRUE(parsed);
  ExpectSameSet(*parsed, set);
  EXPECT_EQ(parsed->GroupCount(), 3);
  EXPECT_EQ((*parsed->m_pGroupList[0])[1], "C:\\old\\k2.wav");
  EXPECT_EQ((*parsed->m_pGroupList[1])[0].size(), 70000u);
  EXPECT_EQ(parsed->m_nVelocityThreshold[2][3], 4);
}

TEST(DrumsFileRead, FileWithoutGroupsGivesAnEmptyListInSlotZeroOnly) {
  const auto parsed = ParseDrumSet(SerializeDrumSet(DrumSet()));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->GroupCount(), 0);
  ASSERT_TRUE(parsed->m_pGroupList[0]);
  EXPECT_TRUE(parsed->m_pGroupList[0]->empty());
  for (int g = 1; g < kGroupListSlots; ++g) EXPECT_FALSE(parsed->m_pGroupList[g]);
}

TEST(DrumsFileRead, DamagedValuesAreKeptAndWrittenBackUnchanged) {
  DrumSet set;
  set.m_nMidiInDevice = -7;
  set.m_noteSlot[5] = {200, 9, 12345, 0x12345678, -99};
  set.m_noteSlot[6].nCutNote = -2;
  set.m_noteSlot[6].nScheme = -1;
  set.m_layerSample[LayerIndex(5, 0)] = {4, 9};  // no such group
  set.m_nLayerSource[LayerIndex(5, 0)] = 0;
  set.m_layerSample[LayerIndex(6, 3)] = {0, 1000};  // no such entry, slot empty
  set.m_nLayerSource[LayerIndex(7, 2)] = 42;        // an odd source
  set.m_nVelocityThreshold[0] = {127, 0, -5, 300};
  const auto bytes = SerializeDrumSet(set);
  const auto parsed = ParseDrumSet(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->m_noteSlot[5], set.m_noteSlot[5]);
  EXPECT_EQ(parsed->m_layerSample[LayerIndex(5, 0)], (LayerSampleRef{4, 9}));
  EXPECT_EQ(parsed->m_nLayerSource[LayerIndex(7, 2)], 42);
  EXPECT_EQ(parsed->m_nMidiInDevice, -7);
  EXPECT_EQ(SerializeDrumSet(*parsed), bytes);
}

// The worked example's file with group list 0's tag replaced by other bytes.
std::vector<uint8_t> WithList0Tag(std::initializer_list<uint8_t> tag) {
  Bytes b;
  b.I32(1).NewClass().U16(1).Str("New Group");
  for (uint8_t t : tag) b.U8(t);
  b.U16(1).Str("x.wav").DefaultTail();
  return b.b;
}

TEST(DrumsFileRead, AcceptsTheBigTagForAClassIndex) {
  const auto small = ParseDrumSet(WithList0Tag({0x01, 0x80}));
  const auto big = ParseDrumSet(WithList0Tag({0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}));
  ASSERT_TRUE(small);
  ASSERT_TRUE(big);
  ExpectSameSet(*small, *big);
  EXPECT_EQ((*big->m_pGroupList[0])[0], "x.wav");
}

TEST(DrumsFileRead, AcceptsASecondClassDescriptionAndReferencesToIt) {
  // names: class 1, object 2; list 0 describes the class again: class 3, object 4.
  Bytes b;
  b.I32(0).NewClass().U16(2).Str("A").Str("B");
  b.NewClass().U16(1).Str("a.wav");
  b.U16(0x8003).U16(1).Str("b.wav").DefaultTail();
  const auto parsed = ParseDrumSet(b.b);
  ASSERT_TRUE(parsed);
  EXPECT_EQ((*parsed->m_pGroupList[1])[0], "b.wav");
}

TEST(DrumsFileRead, ConvertsWideStringsToUtf8) {
  Bytes b;
  b.I32(0).NewClass().U16(2);
  // "Bäss" and a drum (a surrogate pair), in the short wide form.
  b.U8(0xFF).U16(0xFFFE).U8(4).U16('B').U16(0xE4).U16('s').U16('s');
  b.U8(0xFF).U16(0xFFFE).U8(3).U16(0xD83E).U16(0xDD41).U16(0xDC00);  // lone low surrogate
  // Group list 0 holds one wide path with the uint16 length form (300 units).
  b.U16(0x8001).U16(1).U8(0xFF).U16(0xFFFE).U8(0xFF).U16(300);
  for (int i = 0; i < 300; ++i) b.U16(i % 2 ? 0x20AC : 'x');  // x and the euro sign
  b.U16(0x8001).U16(0).DefaultTail();
  const auto parsed = ParseDrumSet(b.b);
  ASSERT_TRUE(parsed);
  EXPECT_EQ((*parsed->m_pGroupNames)[0], "B\xC3\xA4ss");
  EXPECT_EQ((*parsed->m_pGroupNames)[1], "\xF0\x9F\xA5\x81\xEF\xBF\xBD");
  const std::string& path = (*parsed->m_pGroupList[0])[0];
  ASSERT_EQ(path.size(), 150u * 4);
  EXPECT_EQ(path.substr(0, 4), "x\xE2\x82\xAC");
}

TEST(DrumsFileRead, AcceptsLongLengthFormsAndTrailingBytes) {
  Bytes b;
  b.I32(0).NewClass().U16(0xFFFF).U32(1);    // count in the long form
  b.U8(0xFF).U16(0xFFFF).U32(3).Raw("abc");  // string in the uint32 form
  b.U16(0x8001).U16(0).DefaultTail().Raw("trailing junk");
  const auto parsed = ParseDrumSet(b.b);
  ASSERT_TRUE(parsed);
  EXPECT_EQ((*parsed->m_pGroupNames)[0], "abc");
}

TEST(DrumsFileRead, EveryTruncationIsRejected) {
  const auto full = SerializeDrumSet(RichSet());
  // Every cut inside the lists, and a sample of cuts in the fixed tail.
  for (size_t n = 0; n < full.size(); n += (n < 71000 ? 1 : 97)) {
    ASSERT_FALSE(ParseDrumSet(std::span(full.data(), n))) << "cut at " << n;
  }
  const auto example = WithList0Tag({0x01, 0x80});
  for (size_t n = 0; n < example.size(); ++n)
    ASSERT_FALSE(ParseDrumSet(std::span(example.data(), n))) << "cut at " << n;
}

struct Malformed {
  const char* what;
  std::vector<uint8_t> bytes;
};

std::vector<Malformed> MalformedFiles() {
  std::vector<Malformed> out;
  auto tail = [](Bytes b) { return b.DefaultTail().b; };
  out.push_back({"class name", tail(Bytes().I32(0).NewClass(0, "CStringList").U16(0))});
  out.push_back({"class name case", tail(Bytes().I32(0).NewClass(0, "CSTRINGARRAY").U16(0))});
  out.push_back({"class name length", tail(Bytes().I32(0).NewClass(0, "CStringArrayX").U16(0))});
  out.push_back({"schema", tail(Bytes().I32(0).NewClass(1).U16(0))});
  out.push_back({"names as null", tail(Bytes().I32(0).U16(0x0000))});
  out.push_back({"class index before any class", tail(Bytes().I32(0).U16(0x8001).U16(0))});
  out.push_back({"class index 0", WithList0Tag({0x00, 0x80})});
  out.push_back({"class index names an object", WithList0Tag({0x02, 0x80})});
  out.push_back({"class index beyond", WithList0Tag({0x05, 0x80})});
  out.push_back({"big class index beyond", WithList0Tag({0xFF, 0x7F, 0x09, 0x00, 0x00, 0x80})});
  out.push_back({"list as null", WithList0Tag({0x00, 0x00})});
  out.push_back({"list as back reference", WithList0Tag({0x02, 0x00})});
  out.push_back({"big back reference", WithList0Tag({0xFF, 0x7F, 0x02, 0x00, 0x00, 0x00})});
  Bytes many;
  many.I32(0).NewClass().U16(21);
  for (int g = 0; g < 21; ++g) many.Str("g");
  for (int g = 0; g < 21; ++g) many.U16(0x8001).U16(0);
  out.push_back({"21 groups", many.DefaultTail().b});
  out.push_back(
      {"count beyond the bytes", tail(Bytes().I32(0).NewClass().U16(0xFFFF).U32(0x7FFFFFFF))});
  out.push_back({"string beyond the bytes",
                 tail(Bytes().I32(0).NewClass().U16(1).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFF0))});
  out.push_back(
      {"wide string beyond the bytes",
       tail(Bytes().I32(0).NewClass().U16(1).U8(0xFF).U16(0xFFFE).U8(0xFF).U16(0xFFFF).U32(
           0x40000000))});
  return out;
}

TEST(DrumsFileRead, MalformedFilesAreRejected) {
  for (const auto& m : MalformedFiles()) EXPECT_FALSE(ParseDrumSet(m.bytes)) << m.what;
}

TEST(DrumsFileRead, TwentyGroupsAreAccepted) {
  DrumSet set;
  for (int g = 0; g < kGroupListSlots; ++g) {
    set.m_pGroupNames->push_back(std::string(1, static_cast<char>('a' + g)));
    set.m_pGroupList[g] =
        std::make_unique<StringList>(StringList{std::string(2, static_cast<char>('a' + g))});
  }
  const auto parsed = ParseDrumSet(SerializeDrumSet(set));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->GroupCount(), 20);
  EXPECT_EQ((*parsed->m_pGroupList[19])[0], "tt");
}

}  // namespace
}  // namespace thumper::test
