// Static evaluation: material plus the king-relative piece-pair sum (KppTable) and the
// piece-relative-to-both-kings sum (KkpTable), scored for the side to move.
#pragma once

#include "board/position.h"
#include "eval/eval_params.h"
#include "eval/features.h"

namespace kestrel {

// Fills list0 (viewer Black) and list1 (viewer White), both ascending, and adds the
// king-king-piece sum to *kkpSum; with `kkpTerms` given, also writes each feature's
// king-king-piece index there (in list0's order). Needs both kings on the board.
// Returns the length.
int BuildFeatureLists(const Position& p, int* list0, int* list1, int* kkpSum, int* kkpTerms = nullptr);

// Score of the position for side (+1 Black, -1 White); also stored in p.lastEval.
// The positional sum is divided by 32 truncating toward zero and added to the material
// balance. Without both kings on the board only the material balance counts.
int Evaluate(Position& p, int side);

}  // namespace kestrel
