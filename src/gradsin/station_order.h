// StationOrder: what the order of reports within time groups says about the order of the
// stations. Stations are numbered as they first appear, but a group may list a station before
// one that appeared earlier (a station that starts reporting late, in a file whose groups keep
// one order of all stations). A reader that orders each group's reports by station, as
// cf2grads does, writes the groups as they were only in an order that keeps every group's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace d2g::gradsin {

class StationOrder {
 public:
  // Station `after` is listed right after station `before` in a time group.
  void follows(int32_t before, int32_t after) {
    const auto b = static_cast<std::size_t>(before);
    if (b >= successor_.size()) successor_.resize(b + 1, -1);
    if (successor_[b] == after) return;  // as in the group before, mostly
    successor_[b] = after;
    add(before, after);
  }

  // The place of each of `nstation` stations in an order that keeps every group's order,
  // stations that no group orders otherwise by first appearance; where groups disagree (A
  // before B in one, B before A in another), first appearance decides. Empty where that order
  // is the order of first appearance.
  std::vector<int32_t> places(std::size_t nstation);

 private:
  void add(int32_t before, int32_t after);

  std::vector<int32_t> successor_;  // of each station, the latest seen
  std::vector<std::pair<int32_t, int32_t>> pairs_;
  std::size_t compact_at_ = std::size_t{1} << 20;
  bool reordered_ = false;  // a station listed before one that appeared earlier
};

}  // namespace d2g::gradsin
