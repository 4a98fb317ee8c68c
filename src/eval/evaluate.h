// Static evaluation: material plus the king-relative piece-pair sum and the
// piece-relative-to-both-kings sum of the positional weights, scored for the side to move.
#pragma once

#include "board/position.h"
#include "eval/eval_params.h"
#include "eval/features.h"

namespace kestrel {

// Fills list0 (viewer Black) and list1 (viewer White), both ascending, and adds the
// king-king-piece sum of `weights` to *kkpSum (nothing without tables); with `kkpTerms`
// given, also writes each feature's king-king-piece index there (in list0's order).
// Needs both kings on the board. Returns the length.
int BuildFeatureLists(const EvalWeights& weights, const Position& p, int* list0, int* list1, int* kkpSum,
                      int* kkpTerms = nullptr);

// Score of the position for side (+1 Black, -1 White); also stored in p.lastEval.
// The positional sum is divided by 32 truncating toward zero and added to the material
// balance. Without positional weights, or without both kings on the board, only the
// material balance counts.
int Evaluate(const EvalWeights& weights, Position& p, int side);

}  // namespace kestrel
