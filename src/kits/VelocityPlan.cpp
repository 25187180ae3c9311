#include "kits/VelocityPlan.h"

#include <algorithm>
#include <optional>
#include <set>
#include <vector>

#include "play/TriggerState.h"

namespace thumper {
namespace {

using SchemeSet = std::array<Thresholds, kSchemeCount>;

// One instrument's targets as counts: prefix[s][v] is how often sample s is the
// target among velocities 1..v, so a row's best sample is a few subtractions.
struct Counts {
  std::vector<std::array<int16_t, kMaxVelocity + 1>> prefix;
  // The cuts between runs of equal targets, when the targets fit five rows
  // exactly (no velocity without a target, at most five runs).
  std::optional<std::vector<int32_t>> exactCuts;

  int Interval(int lo, int hi) const {  // velocities lo+1 .. hi
    int best = 0;
    for (const auto& p : prefix) best = std::max(best, p[hi] - p[lo]);
    return best;
  }

  int Score(const Thresholds& t) const {
    int bounds[kLayerCount + 1] = {kMaxVelocity, t[0], t[1], t[2], t[3], 0};
    int total = 0;
    for (int r = 0; r < kLayerCount; ++r)
      if (bounds[r] > bounds[r + 1]) total += Interval(bounds[r + 1], bounds[r]);
    return total;
  }
};

Counts CountTargets(const VelocityTargets& targets) {
  Counts counts;
  int samples = 0;
  for (int v = 1; v <= kMaxVelocity; ++v) samples = std::max(samples, targets[v] + 1);
  counts.prefix.assign(samples, {});
  for (int s = 0; s < samples; ++s)
    for (int v = 1; v <= kMaxVelocity; ++v)
      counts.prefix[s][v] = static_cast<int16_t>(counts.prefix[s][v - 1] + (targets[v] == s));
  std::vector<int32_t> cuts;
  bool exact = targets[1] >= 0;
  for (int v = 1; v < kMaxVelocity && exact; ++v) {
    if (targets[v + 1] < 0)
      exact = false;
    else if (targets[v + 1] != targets[v])
      cuts.push_back(v);
  }
  if (exact && cuts.size() <= kThresholdCount) counts.exactCuts = std::move(cuts);
  return counts;
}

// Cuts in falling order, padded with 0 (an empty quiet row) up to four.
Thresholds SchemeFromCuts(std::vector<int32_t> cuts) {
  std::sort(cuts.begin(), cuts.end(), std::greater<>());
  Thresholds t{0, 0, 0, 0};
  for (size_t i = 0; i < cuts.size() && i < t.size(); ++i) t[i] = cuts[i];
  return t;
}

class Planner {
 public:
  explicit Planner(std::span<const VelocityTargets> instruments) {
    for (const VelocityTargets& targets : instruments) m_counts.push_back(CountTargets(targets));
  }

  int Total(const SchemeSet& schemes) const {
    int total = 0;
    for (const Counts& c : m_counts) {
      int best = 0;
      for (const Thresholds& t : schemes) best = std::max(best, c.Score(t));
      total += best;
    }
    return total;
  }

  // The scheme that serves a group of instruments best, by dynamic programming
  // over the four cuts: exact, since a row's score adds up over instruments.
  Thresholds BestScheme(const std::vector<int>& members) const {
    static constexpr int N = kMaxVelocity + 1;
    std::vector<int32_t> gain(N * N, 0);
    for (int i : members)
      for (int lo = 0; lo < N; ++lo)
        for (int hi = lo + 1; hi < N; ++hi) gain[lo * N + hi] += m_counts[i].Interval(lo, hi);
    // best[k][x]: velocities 1..x in k rows; from[k][x]: where the top one starts.
    std::array<std::array<int32_t, N>, kLayerCount + 1> best{};
    std::array<std::array<int16_t, N>, kLayerCount + 1> from{};
    for (int x = 0; x < N; ++x) best[1][x] = gain[x];
    for (int k = 2; k <= kLayerCount; ++k) {
      for (int x = 0; x < N; ++x) {
        best[k][x] = -1;
        for (int y = 0; y <= x; ++y) {
          const int32_t value = best[k - 1][y] + gain[y * N + x];
          if (value > best[k][x]) {
            best[k][x] = value;
            from[k][x] = static_cast<int16_t>(y);
          }
        }
      }
    }
    Thresholds t{};
    int x = kMaxVelocity;
    for (int k = kLayerCount; k >= 2; --k) {
      x = from[k][x];
      t[kLayerCount - k] = x;
    }
    return t;
  }

  // Moves each scheme to the best one for the instruments that choose it, until
  // the total stops growing.
  SchemeSet Refine(SchemeSet schemes) const {
    int total = Total(schemes);
    for (int round = 0; round < 50; ++round) {
      std::array<std::vector<int>, kSchemeCount> members;
      for (size_t i = 0; i < m_counts.size(); ++i) members[BestIndex(schemes, i)].push_back(i);
      SchemeSet next = schemes;
      for (int k = 0; k < kSchemeCount; ++k)
        if (!members[k].empty()) next[k] = BestScheme(members[k]);
      const int nextTotal = Total(next);
      if (nextTotal <= total) break;
      schemes = next;
      total = nextTotal;
    }
    return schemes;
  }

  // Replaces one scheme at a time by a candidate while that helps.
  SchemeSet Swap(SchemeSet schemes, const std::vector<Thresholds>& candidates) const {
    int total = Total(schemes);
    for (int round = 0; round < 20; ++round) {
      SchemeSet bestTrial = schemes;
      int bestTotal = total;
      for (int k = 0; k < kSchemeCount; ++k) {
        for (const Thresholds& c : candidates) {
          SchemeSet trial = schemes;
          trial[k] = c;
          if (const int t = Total(trial); t > bestTotal) {
            bestTotal = t;
            bestTrial = trial;
          }
        }
      }
      if (bestTotal <= total) break;
      schemes = Refine(bestTrial);
      total = Total(schemes);
    }
    return schemes;
  }

  // Schemes that hold every exactly representable instrument, when five can:
  // their cut sets packed into five bins of at most four cuts each.
  std::optional<SchemeSet> ExactCover() const {
    std::set<std::vector<int32_t>> distinct;
    for (const Counts& c : m_counts)
      if (c.exactCuts) distinct.insert(*c.exactCuts);
    std::vector<std::vector<int32_t>> sets(distinct.begin(), distinct.end());
    std::sort(sets.begin(), sets.end(), [](const auto& a, const auto& b) {
      return a.size() > b.size() || (a.size() == b.size() && a < b);
    });
    std::vector<std::set<int32_t>> bins;
    long budget = 200000;
    if (!Pack(sets, 0, bins, budget)) return std::nullopt;
    SchemeSet schemes = kDefaultThresholds;
    for (size_t b = 0; b < bins.size(); ++b)
      schemes[b] = SchemeFromCuts({bins[b].begin(), bins[b].end()});
    return schemes;
  }

  int BestIndex(const SchemeSet& schemes, size_t instrument) const {
    int best = 0, bestScore = -1;
    for (int k = 0; k < kSchemeCount; ++k) {
      if (const int s = m_counts[instrument].Score(schemes[k]); s > bestScore) {
        bestScore = s;
        best = k;
      }
    }
    return best;
  }

  const std::vector<Counts>& CountsOf() const { return m_counts; }

 private:
  static bool Pack(const std::vector<std::vector<int32_t>>& sets, size_t next,
                   std::vector<std::set<int32_t>>& bins, long& budget) {
    if (next == sets.size()) return true;
    if (--budget < 0) return false;
    for (size_t b = 0; b <= bins.size() && b < kSchemeCount; ++b) {
      const bool fresh = b == bins.size();
      if (fresh) bins.emplace_back();
      std::set<int32_t> before = bins[b];
      bins[b].insert(sets[next].begin(), sets[next].end());
      if (bins[b].size() <= kThresholdCount && Pack(sets, next + 1, bins, budget)) return true;
      bins[b] = std::move(before);
      if (fresh) {
        bins.pop_back();
        break;  // every empty bin is the same
      }
    }
    return false;
  }

  std::vector<Counts> m_counts;
};

// A small fixed-seed generator: the same kit always gets the same plan.
uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

SchemeSet Search(const Planner& planner) {
  const auto& counts = planner.CountsOf();
  std::vector<Thresholds> candidates(kDefaultThresholds.begin(), kDefaultThresholds.end());
  for (size_t i = 0; i < counts.size(); ++i) {
    const Thresholds own = planner.BestScheme({static_cast<int>(i)});
    if (std::find(candidates.begin(), candidates.end(), own) == candidates.end())
      candidates.push_back(own);
  }

  std::vector<SchemeSet> starts;
  if (auto cover = planner.ExactCover()) starts.push_back(*cover);
  // Greedy: each scheme in turn the candidate that adds most.
  SchemeSet greedy = kDefaultThresholds;
  for (int k = 0; k < kSchemeCount; ++k) {
    int bestTotal = -1;
    for (const Thresholds& c : candidates) {
      SchemeSet trial = greedy;
      for (int j = k; j < kSchemeCount; ++j) trial[j] = c;  // unchosen ones add nothing new
      if (const int t = planner.Total(trial); t > bestTotal) {
        bestTotal = t;
        greedy[k] = c;
      }
    }
  }
  starts.push_back(greedy);
  uint32_t seed = 12345;
  for (int r = 0; r < 6 && candidates.size() > kSchemeCount; ++r) {
    SchemeSet random;
    for (Thresholds& t : random) t = candidates[NextRandom(seed) % candidates.size()];
    starts.push_back(random);
  }

  SchemeSet best = kDefaultThresholds;
  int bestTotal = -1;
  for (const SchemeSet& start : starts) {
    const SchemeSet found = planner.Swap(planner.Refine(start), candidates);
    if (const int t = planner.Total(found); t > bestTotal) {
      bestTotal = t;
      best = found;
    }
  }
  return best;
}

// Each row's sample for a scheme: the one most played over the row's
// velocities; a row with none sounds the row above (row 0 the first below).
std::array<int, kLayerCount> RowSamples(const Counts& counts, const Thresholds& t) {
  std::array<int, kLayerCount> rows{-1, -1, -1, -1, -1};
  const int bounds[kLayerCount + 1] = {kMaxVelocity, t[0], t[1], t[2], t[3], 0};
  for (int r = 0; r < kLayerCount; ++r) {
    const int lo = bounds[r + 1], hi = bounds[r];
    if (hi <= lo) continue;
    int best = 0;
    for (size_t s = 0; s < counts.prefix.size(); ++s) {
      const int n = counts.prefix[s][hi] - counts.prefix[s][lo];
      const bool keepsAbove = r > 0 && rows[r - 1] == static_cast<int>(s);
      if (n > best || (n == best && n > 0 && keepsAbove)) {
        best = n;
        rows[r] = static_cast<int>(s);
      }
    }
  }
  for (int r = 1; r < kLayerCount; ++r)
    if (rows[r] < 0) rows[r] = rows[r - 1];
  for (int r = kLayerCount - 2; r >= 0; --r)
    if (rows[r] < 0) rows[r] = rows[r + 1];
  return rows;
}

}  // namespace

int RowFor(const Thresholds& thresholds, int velocity) {
  return VelocityLayer(thresholds, velocity);
}

VelocityPlan PlanVelocityLayers(std::span<const VelocityTargets> instruments) {
  VelocityPlan plan;
  const Planner planner(instruments);
  const SchemeSet found = Search(planner);
  const auto& counts = planner.CountsOf();

  // The schemes some instrument needs go into the table; a scheme equal to a
  // default keeps its place, the rest take the places nobody needs.
  std::vector<Thresholds> needed;
  for (size_t i = 0; i < counts.size(); ++i) {
    const int k = planner.BestIndex(found, i);
    bool indifferent = true;
    for (const Thresholds& t : found)
      indifferent &= counts[i].Score(t) == counts[i].Score(found[k]);
    if (!indifferent && std::find(needed.begin(), needed.end(), found[k]) == needed.end())
      needed.push_back(found[k]);
  }
  std::array<bool, kSchemeCount> claimed{};
  std::vector<Thresholds> homeless;
  for (const Thresholds& t : needed) {
    auto at = std::find(kDefaultThresholds.begin(), kDefaultThresholds.end(), t);
    if (at != kDefaultThresholds.end())
      claimed[at - kDefaultThresholds.begin()] = true;
    else
      homeless.push_back(t);
  }
  for (const Thresholds& t : homeless) {
    const int free =
        static_cast<int>(std::find(claimed.begin(), claimed.end(), false) - claimed.begin());
    plan.thresholds[free] = t;
    claimed[free] = true;
  }

  for (size_t i = 0; i < counts.size(); ++i) {
    // Ties go to the default scheme 5, then to the lowest.
    int best = kSchemeCount - 1;
    int bestScore = counts[i].Score(plan.thresholds[best]);
    for (int k = 0; k < kSchemeCount; ++k) {
      if (const int s = counts[i].Score(plan.thresholds[k]); s > bestScore) {
        bestScore = s;
        best = k;
      }
    }
    plan.scheme.push_back(best);
    plan.rowSample.push_back(RowSamples(counts[i], plan.thresholds[best]));
    for (int v = 1; v <= kMaxVelocity; ++v) {
      const int target = instruments[i][v];
      plan.nAgree += target >= 0 && plan.rowSample[i][RowFor(plan.thresholds[best], v)] == target;
    }
    plan.nTotal += kMaxVelocity;
  }
  return plan;
}

}  // namespace thumper
