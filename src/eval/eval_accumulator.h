// The positional sums of the evaluation carried from position to position: the pair sum
// seen from each king, the king-king-piece sum and the feature lists they were taken
// over. A move changes at most four features per viewer, so the sums of the position
// after it follow from the sums before it with a few table rows instead of every pair.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "eval/evaluate.h"

namespace kestrel {

struct EvalAccumulator {
  // Entry i of both lists is the same hand count or piece, seen by Black and by White.
  // The order is free: the sums do not depend on it.
  int16_t list0[MaxFeatures + 2];
  int16_t list1[MaxFeatures + 2];
  // The king-king-piece entry of the same thing: Black's index, or White's with KkpWhiteFlag.
  int16_t kkpIndex[MaxFeatures + 2];
  int32_t count;
  int32_t kpp0;  // pair sum from Black's king over list0
  int32_t kpp1;  // pair sum from White's (flipped) king over list1
  int32_t kkp;   // king-king-piece sum, Black's terms minus White's
};

// Fills the lists and sums of a position from scratch. Needs both kings on the board and
// weights with tables.
void ComputeAccumulator(const EvalWeights& weights, const Position& p, EvalAccumulator& acc);

// Derives the accumulator of `after` (the position reached by move m) from `before`,
// the accumulator of the position the move was made in. False when the move is one it
// does not handle (a king taken); the caller then computes from scratch.
bool UpdateAccumulator(const EvalWeights& weights, const Position& after, Move m, const EvalAccumulator& before,
                       EvalAccumulator& acc);

// The evaluation of p from its accumulator: the same integer Evaluate gives. Also
// stored in p.lastEval.
int EvaluateWithAccumulator(Position& p, int side, const EvalAccumulator& acc);

}  // namespace kestrel
