#include "gradsin/station_order.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace d2g::gradsin {

void StationOrder::add(int32_t before, int32_t after) {
  reordered_ = reordered_ || before > after;
  pairs_.emplace_back(before, after);
  if (pairs_.size() < compact_at_) return;
  // Most pairs recur: keep each once, so that memory follows the distinct pairs.
  std::sort(pairs_.begin(), pairs_.end());
  pairs_.erase(std::unique(pairs_.begin(), pairs_.end()), pairs_.end());
  compact_at_ = std::max(compact_at_, 2 * pairs_.size());
}

std::vector<int32_t> StationOrder::places(std::size_t nstation) {
  if (!reordered_) return {};
  std::sort(pairs_.begin(), pairs_.end());
  pairs_.erase(std::unique(pairs_.begin(), pairs_.end()), pairs_.end());
  // Each station's successors, and how many stations must come before it.
  std::vector<std::size_t> first(nstation + 1, 0);
  std::vector<int32_t> waiting(nstation, 0);
  for (const auto& [before, after] : pairs_) {
    ++first[static_cast<std::size_t>(before) + 1];
    ++waiting[static_cast<std::size_t>(after)];
  }
  for (std::size_t s = 0; s < nstation; ++s) first[s + 1] += first[s];
  // pairs_ is sorted by `before`: the successors lie in it in that order already.
  std::vector<int32_t> place(nstation, -1);
  std::priority_queue<int32_t, std::vector<int32_t>, std::greater<>> ready;
  for (std::size_t s = 0; s < nstation; ++s) {
    if (waiting[s] == 0) ready.push(static_cast<int32_t>(s));
  }
  int32_t next = 0;
  std::size_t earliest_unplaced = 0;
  while (static_cast<std::size_t>(next) < nstation) {
    int32_t s;
    if (!ready.empty()) {
      s = ready.top();
      ready.pop();
      if (place[static_cast<std::size_t>(s)] >= 0) continue;
    } else {
      // The groups disagree: the earliest station not yet placed goes next.
      while (place[earliest_unplaced] >= 0) ++earliest_unplaced;
      s = static_cast<int32_t>(earliest_unplaced);
    }
    place[static_cast<std::size_t>(s)] = next++;
    for (std::size_t i = first[static_cast<std::size_t>(s)];
         i < first[static_cast<std::size_t>(s) + 1]; ++i) {
      const auto after = static_cast<std::size_t>(pairs_[i].second);
      if (--waiting[after] == 0 && place[after] < 0) ready.push(static_cast<int32_t>(after));
    }
  }
  bool same = true;
  for (std::size_t s = 0; s < nstation && same; ++s) same = place[s] == static_cast<int32_t>(s);
  if (same) place.clear();
  return place;
}

}  // namespace d2g::gradsin
