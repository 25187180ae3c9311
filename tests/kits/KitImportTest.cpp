// A Hydrogen kit made a drum set: slots, the one group, velocity layers that
// play what Hydrogen plays (checked by playing both), cuts, and what is lost.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "kits/KitImport.h"
#include "kits/KitTestSupport.h"
#include "kits/VelocityPlan.h"
#include "play/NoteTrigger.h"

namespace thumper {
namespace {

using test::TempDir;
using test::TestInstrument;
using test::TestLayer;

// Equal velocity ranges, loudest last, as Hydrogen's editor makes them.
std::vector<TestLayer> EvenLayers(const std::string& prefix, int count) {
  std::vector<TestLayer> layers;
  for (int i = 0; i < count; ++i)
    layers.push_back(
        {prefix + std::to_string(i) + ".wav", double(i) / count, double(i + 1) / count});
  return layers;
}

class KitImportTest : public ::testing::Test {
 protected:
  KitImportResult Import(const std::vector<TestInstrument>& list, KitImportOptions options = {}) {
    test::MakeKitFolder(dir / "kit", "Test Kit", list);
    KitReadResult read = ReadHydrogenKit(dir / "kit");
    EXPECT_TRUE(read.kit) << read.strError;
    kit = *read.kit;
    return ImportHydrogenKit(kit, options);
  }

  // Every velocity of every instrument: the drum set plays Hydrogen's file.
  int Disagreements(const DrumSet& set) const {
    int wrong = 0;
    for (size_t i = 0; i < kit.instruments.size(); ++i) {
      for (int v = 1; v <= 127; ++v) {
        const int h = HydrogenLayerFor(kit.instruments[i], v);
        const std::string* ours = SampleForVelocity(set, static_cast<int>(i), v);
        if (h < 0 ? ours != nullptr : (!ours || *ours != kit.instruments[i].layers[h].strPath))
          ++wrong;
      }
    }
    return wrong;
  }

  bool Mentions(const KitImportResult& r, const std::string& text) const {
    for (const std::string& m : r.messages)
      if (m.find(text) != std::string::npos) return true;
    return false;
  }

  TempDir dir;
  HydrogenKit kit;
};

TEST_F(KitImportTest, SplitsThatFitFiveSchemesAgreeEverywhere) {
  // Five distinct splits, one of them uneven and listed quietest last.
  std::vector<TestInstrument> list = {
      {"Five", EvenLayers("five", 5)},
      {"Four", EvenLayers("four", 4)},
      {"Three", EvenLayers("three", 3)},
      {"Five again", EvenLayers("five", 5)},
      {"Two", {{"hard.wav", 0.9, 1}, {"soft.wav", 0, 0.9}}},
      {"Uneven",
       {{"u3.wav", 0.8, 1}, {"u2.wav", 0.45, 0.8}, {"u1.wav", 0.1, 0.45}, {"u0.wav", 0, 0.1}}},
      {"One", {{"one.wav"}}, -1, -1, 0, true}};
  const KitImportResult r = Import(list);
  ASSERT_TRUE(r.set) << r.strError;
  EXPECT_EQ(Disagreements(*r.set), 0);
  EXPECT_EQ(r.nAgree, r.nTotal);
  EXPECT_EQ(r.nTotal, 7 * 127);
  // Layer 0 is the loudest and every row with its own sample names its own file.
  const std::string* loud = SampleForVelocity(*r.set, 0, 127);
  ASSERT_TRUE(loud);
  EXPECT_EQ(*loud, dir / "kit/five4.wav");
  EXPECT_EQ(r.set->m_nLayerSource[LayerIndex(0, 0)], 0);
  EXPECT_TRUE(Mentions(r, "100.0%"));
}

TEST_F(KitImportTest, OverlappingRangesFollowHydrogensFileOrder) {
  // A catch-all listed third: the first two win where they hold the velocity.
  const KitImportResult r =
      Import({{"Ride", {{"bell.wav", 0.7, 1}, {"edge.wav", 0.3, 0.8}, {"any.wav", 0, 1}}}});
  ASSERT_TRUE(r.set);
  EXPECT_EQ(Disagreements(*r.set), 0);
}

TEST_F(KitImportTest, MoreThanFiveLayersKeepTheFiveThatServeBest) {
  // Six layers, one of them only two velocities wide: that one goes.
  const KitImportResult r = Import({{"Snare",
                                     {{"s0.wav", 0, 0.2},
                                      {"s1.wav", 0.2, 0.4},
                                      {"tiny.wav", 0.4, 0.41},
                                      {"s3.wav", 0.41, 0.6},
                                      {"s4.wav", 0.6, 0.8},
                                      {"s5.wav", 0.8, 1}}}});
  ASSERT_TRUE(r.set);
  int tiny = 0;
  for (int v = 1; v <= 127; ++v) tiny += HydrogenLayerFor(kit.instruments[0], v) == 2;
  ASSERT_GT(tiny, 0);
  EXPECT_EQ(Disagreements(*r.set), tiny);
  EXPECT_EQ(r.nAgree, 127 - tiny);
  EXPECT_TRUE(Mentions(r, "\"Snare\" loses velocity layers tiny.wav"));

  // Eight equal layers: five rows hold five of them whole.
  const KitImportResult eight = Import({{"Kick", EvenLayers("k", 8)}});
  std::vector<int> sizes(8, 0);
  for (int v = 1; v <= 127; ++v) ++sizes[HydrogenLayerFor(kit.instruments[0], v)];
  std::sort(sizes.rbegin(), sizes.rend());
  EXPECT_EQ(eight.nAgree, sizes[0] + sizes[1] + sizes[2] + sizes[3] + sizes[4]);
  EXPECT_TRUE(Mentions(eight, "\"Kick\" loses velocity layers"));
}

// What choosing only among the default schemes, with the best row samples,
// would reach: the plan must never do worse.
int64_t DefaultSchemesAgreement(std::span<const VelocityTargets> all) {
  int64_t total = 0;
  for (const VelocityTargets& t : all) {
    int best = 0;
    for (const auto& scheme : kDefaultThresholds) {
      int agree = 0;
      for (int row = 0; row < kLayerCount; ++row) {
        std::map<int, int> count;
        for (int v = 1; v <= 127; ++v)
          if (RowFor(scheme, v) == row && t[v] >= 0) ++count[t[v]];
        int most = 0;
        for (auto [s, n] : count) most = std::max(most, n);
        agree += most;
      }
      best = std::max(best, agree);
    }
    total += best;
  }
  return total;
}

TEST(VelocityPlan, RandomKitsAgreeAsReportedAndBeatTheDefaultSchemes) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<VelocityTargets> all(1 + random() % 12);
    for (VelocityTargets& t : all) {
      // A few runs of samples, sometimes with a gap where nothing plays.
      const int runs = 1 + random() % 7;
      std::vector<int> cuts;
      for (int i = 1; i < runs; ++i) cuts.push_back(1 + random() % 126);
      std::sort(cuts.begin(), cuts.end());
      int run = 0;
      for (int v = 1; v <= 127; ++v) {
        while (run < static_cast<int>(cuts.size()) && v > cuts[run]) ++run;
        t[v] = static_cast<int16_t>(random() % 10 == 0 ? -1 : run % 4);
      }
    }
    const VelocityPlan plan = PlanVelocityLayers(all);
    int64_t agree = 0;
    for (size_t i = 0; i < all.size(); ++i) {
      const auto& rows = plan.rowSample[i];
      for (int v = 1; v <= 127; ++v)
        agree += all[i][v] >= 0 && rows[RowFor(plan.thresholds[plan.scheme[i]], v)] == all[i][v];
    }
    EXPECT_EQ(agree, plan.nAgree);
    EXPECT_GE(plan.nAgree, DefaultSchemesAgreement(all));
    for (const auto& scheme : plan.thresholds)
      EXPECT_TRUE(std::is_sorted(scheme.rbegin(), scheme.rend()) && scheme[3] >= 0 &&
                  scheme[0] <= 127);
  }
}

TEST_F(KitImportTest, MuteGroupsBecomeCuts) {
  const KitImportResult r = Import({{"Closed", {{"c.wav"}}, 1},
                                    {"Open", {{"o.wav"}}, 1},
                                    {"Kick", {{"k.wav"}}},
                                    {"Conga 1", {{"c1.wav"}}, 4},
                                    {"Conga 2", {{"c2.wav"}}, 4},
                                    {"Conga 3", {{"c3.wav"}}, 4}});
  ASSERT_TRUE(r.set);
  EXPECT_EQ(r.set->m_noteSlot[0].nCutNote, 1);
  EXPECT_EQ(r.set->m_noteSlot[1].nCutNote, 0);
  EXPECT_EQ(r.set->m_noteSlot[2].nCutNote, -1);
  EXPECT_EQ(r.set->m_noteSlot[3].nCutNote, 4);
  EXPECT_EQ(r.set->m_noteSlot[4].nCutNote, 5);
  EXPECT_EQ(r.set->m_noteSlot[5].nCutNote, 3);
  EXPECT_TRUE(
      Mentions(r, "mute group 4 (\"Conga 1\", \"Conga 2\" and \"Conga 3\") becomes a ring"));
  EXPECT_FALSE(Mentions(r, "mute group 1"));
}

TEST_F(KitImportTest, OneGroupNamedAfterTheKitHoldsEveryFileOnceInInstrumentOrder) {
  const KitImportResult r = Import({{"Kick", {{"b.wav", 0, 0.5}, {"a.wav", 0.5, 1}}},
                                    {"Empty", {}},
                                    {"Snare", {{"a.wav"}, {"ünï códe/s p.wav"}}}});
  ASSERT_TRUE(r.set);
  EXPECT_EQ(*r.set->m_pGroupNames, StringList{"Test Kit"});
  EXPECT_EQ(*r.set->m_pGroupList[0],
            (StringList{dir / "kit/b.wav", dir / "kit/a.wav", dir / "kit/ünï códe/s p.wav"}));
  EXPECT_EQ(r.set->m_nLayerSource[LayerIndex(1, 0)], -1);  // the empty instrument's slot
  EXPECT_EQ(r.set->m_nLayerSource[LayerIndex(2, 0)], 0);
  EXPECT_EQ(r.set->m_nMidiInDevice, 0);
}

TEST_F(KitImportTest, AMissingSampleIsNamedAndLeftOut) {
  test::MakeKitFolder(
      dir / "kit", "K",
      {{"Snare", {{"soft.wav", 0, 0.5}, {"hard.wav", 0.5, 1}}}, {"Gone", {{"gone.wav"}}}});
  std::filesystem::remove(dir / "kit/hard.wav");
  std::filesystem::remove(dir / "kit/gone.wav");
  const KitReadResult read = ReadHydrogenKit(dir / "kit");
  ASSERT_TRUE(read.kit);
  kit = *read.kit;
  const KitImportResult r = ImportHydrogenKit(kit);
  ASSERT_TRUE(r.set);
  EXPECT_EQ(*r.set->m_pGroupList[0], StringList{dir / "kit/soft.wav"});
  EXPECT_TRUE(Mentions(
      r, "layer 2 of instrument \"Snare\": sample file " + dir / "kit/hard.wav" + " is missing"));
  EXPECT_TRUE(Mentions(r, "gone.wav is missing"));
  EXPECT_EQ(r.set->m_nLayerSource[LayerIndex(1, 0)], -1);
  // Hydrogen plays nothing where the file is missing; the soft sample plays there.
  EXPECT_EQ(r.nTotal, 127);
  EXPECT_EQ(r.nAgree, 63);
}

TEST_F(KitImportTest, GmNotesPlaceInstrumentsOnTheirNotes) {
  KitImportOptions gm;
  gm.bGmNotes = true;
  const KitImportResult r = Import(
      {{"Kick", {{"k.wav"}}, -1, 36}, {"Snare", {{"s.wav"}}, -1, 38}, {"Spare", {}, -1, 36}}, gm);
  ASSERT_TRUE(r.set) << r.strError;
  EXPECT_EQ(*SampleForVelocity(*r.set, 0, 100), dir / "kit/k.wav");
  EXPECT_EQ(*SampleForVelocity(*r.set, 2, 100), dir / "kit/s.wav");
  EXPECT_EQ(SampleForVelocity(*r.set, 1, 100), nullptr);

  const KitImportResult twice =
      Import({{"A", {{"a.wav"}}, -1, 40}, {"B", {{"b.wav"}}, -1, 40}}, gm);
  EXPECT_EQ(twice.error, KitImportError::GmNotesUnusable);
  EXPECT_NE(twice.strError.find("share MIDI out note 40"), std::string::npos) << twice.strError;
  const KitImportResult low = Import({{"A", {{"a.wav"}}, -1, 35}}, gm);
  EXPECT_EQ(low.error, KitImportError::GmNotesUnusable);
  const KitImportResult none = Import({{"A", {{"a.wav"}}}}, gm);
  EXPECT_EQ(none.error, KitImportError::GmNotesUnusable);
}

TEST_F(KitImportTest, InstrumentsPastTheLastSlotAreNamedAndLeftOut) {
  std::vector<TestInstrument> list;
  for (int i = 0; i < 130; ++i) list.push_back({"I" + std::to_string(i), {{"x.wav"}}});
  const KitImportResult r = Import(list);
  ASSERT_TRUE(r.set);
  EXPECT_TRUE(Mentions(r, "\"I128\" and \"I129\""));
  EXPECT_TRUE(Mentions(r, "slots no MIDI note reaches (note 36 plays the first): \"I92\", "));
  EXPECT_EQ(r.nTotal, 128 * 127);
}

TEST_F(KitImportTest, LostSettingsAreNamedOncePerInstrument) {
  const KitImportResult r =
      Import({{"Tom", {{"t1.wav", 0, 0.5, 2.0, 1}, {"t2.wav", 0.5, 1, 0.5, 2}}, -1, -1, -0.5}});
  int lines = 0;
  for (const std::string& m : r.messages) lines += m.find("\"Tom\": its") != std::string::npos;
  EXPECT_EQ(lines, 1);
  EXPECT_TRUE(Mentions(r, "\"Tom\": its pan, layer gain and layer pitch cannot be kept"));
}

TEST(KitDynamics, TheVolumeScalingFollowsVelocityLinearly) {
  const int32_t volume = HydrogenVolumeScaling();
  EXPECT_GE(volume, -8000);  // what the Sound Properties dialog accepts
  EXPECT_LE(volume, 0);
  auto gain = [&](int v) { return std::pow(10.0, NoteAttenuation(volume, 127, v) / 2000.0); };
  auto error = [&](int32_t other) {
    double e = 0;
    for (int v = 16; v <= 127; ++v) {
      const double g = std::pow(10.0, NoteAttenuation(other, 127, v) / 2000.0) - v / 127.0;
      e += g * g;
    }
    return e;
  };
  // Closer to Hydrogen's line than the default and than its neighbours.
  EXPECT_LT(error(volume), error(-4000));
  EXPECT_LE(error(volume), error(volume - 1));
  EXPECT_LE(error(volume), error(volume + 1));
  EXPECT_NEAR(gain(127), 1.0, 0.2);
  EXPECT_NEAR(gain(64), 0.5, 0.1);
}

}  // namespace
}  // namespace thumper
