// Futility support: a cheap estimate of a move's evaluation gain (material plus
// the single-piece terms of the pair table), the optimistic bound built from it,
// and six safety margins that learn from the quiescence search how far real
// evaluations went beyond the estimate and shrink again at each new search.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "eval/eval_weights.h"

namespace kestrel {

// Estimated evaluation change of `move` for `side`, before the move is made, with the
// single-piece terms of `weights` (none without tables).
int MoveGainEstimate(const EvalWeights& weights, const Position& p, Move move, int side);

// One engine's margins, shared by its search threads without locks (a lost update only
// leaves a margin a little lower).
struct FutilityMargins {
  // Every margin at its floor, as in a new game.
  FutilityMargins() { Reset(); }
  FutilityMargins(const FutilityMargins&) = delete;
  FutilityMargins& operator=(const FutilityMargins&) = delete;

  // Optimistic bound on the evaluation after `move`, from the static evaluation `eval`
  // and the estimate `gain`.
  int Bound(int side, int eval, int gain, const Position& p, Move move) const;
  // Raises the margins after `move` raised alpha in quiescence; evalAfter is the static
  // evaluation after the move from the mover's view. The position is the one before the
  // move.
  void Learn(const EvalWeights& weights, const Position& p, int evalBefore, int evalAfter, Move move, int side);
  // At each search start: every margin shrinks, but not below MaxCaptureGain * 2 / 8.
  void Decay();
  // New game: every margin becomes MaxCaptureGain * 2 / 8.
  void Reset();

  std::atomic<int32_t> miscMargin{0};         // board moves without capture
  std::atomic<int32_t> captureMargin{0};      // board moves with capture
  std::atomic<int32_t> dropMargin{0};         // drops
  std::atomic<int32_t> kingMargin{0};         // king moves without capture
  std::atomic<int32_t> kingCaptureMargin{0};  // king moves with capture
  std::atomic<int32_t> materialMargin{0};     // bound on the positional part
};

}  // namespace kestrel
