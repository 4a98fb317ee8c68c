// The clock fields and search limits of "go" / "go ponder".
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

struct SearchState;

// The limits of one "go" that are not clock fields: how the answer is given and when the
// search ends besides the clock.
struct GoLimits {
  bool infinite = false;  // "infinite": searched until "stop", answered only then
  int depth = 0;          // "depth N": no deeper iteration (0: none)
  uint64_t nodes = 0;     // "nodes N": the main thread's nodes (0: none)
  int64_t moveTimeMs = 0; // "movetime MS": the time of this move (0: none)
};

// "go [ponder] ... btime <ms> wtime <ms> byoyomi <ms> binc <ms> winc <ms> depth <n>
// nodes <n> movetime <ms>" or "... infinite": with "infinite" only noTimeLimit is set
// (the clock keeps the previous values); otherwise each clock field gets its number in
// milliseconds, 0 when its key is missing or the number is negative. A line with a depth,
// node or move-time limit and no clock key at all is searched without a clock (noTimeLimit)
// to that limit; with clock keys too, whichever ends the search first ends it.
GoLimits ParseGoClock(const std::string& line, SearchState& st);

}  // namespace kestrel
