// The clock fields of "go" / "go ponder" and the time limit of "go mate".
#pragma once

#include <string>

namespace kestrel {

// "go [ponder] ... btime <ms> wtime <ms> byoyomi <ms> binc <ms> winc <ms>" or "... infinite":
// with "infinite" only noTimeLimit is set (the clock keeps the previous values); otherwise
// each clock field gets its number in milliseconds, 0 when its key is missing or the number
// is negative.
void ParseGoClock(const std::string& line);


}  // namespace kestrel
