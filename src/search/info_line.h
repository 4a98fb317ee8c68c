// The "info" line of a search: elapsed time, depth, nodes, score and principal variation.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace kestrel {

// Writes "info time <ms> depth <d> nodes <n> score cp <s> pv <m1> <m2> ... \n" in one write.
// Time is measured from State->searchStartMs, depth is State->iterationDepth, nodes is the
// calling thread's counter. pv[1..pvLength] are the moves (index 0 is unused).
void PrintInfoLine(uint64_t nodes, const Move* pv, int pvLength, int score);

}  // namespace kestrel
