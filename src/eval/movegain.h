// Futility support: a cheap estimate of a move's evaluation gain (material plus
// the single-piece terms of the pair table), the optimistic bound built from it,
// and six safety margins that learn from the quiescence search how far real
// evaluations went beyond the estimate and shrink again at each new search.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"

namespace kestrel {

// The margins, shared by all search threads without locks (a lost update only
// leaves a margin a little lower).
extern std::atomic<int32_t> MarginMisc;         // board moves without capture
extern std::atomic<int32_t> MarginCapture;      // board moves with capture
extern std::atomic<int32_t> MarginDrop;         // drops
extern std::atomic<int32_t> MarginKing;         // king moves without capture
extern std::atomic<int32_t> MarginKingCapture;  // king moves with capture
extern std::atomic<int32_t> MarginMaterial;     // bound on the positional part

// Estimated evaluation change of `move` for `side`, before the move is made.
int MoveGainEstimate(const Position& p, Move move, int side);
// Optimistic bound on the evaluation after `move`, from the static evaluation
// `eval` and the estimate `gain`.
int FutilityBound(int side, int eval, int gain, const Position& p, Move move);
// Raises the margins after `move` raised alpha in quiescence; evalAfter is the
// static evaluation after the move from the mover's view. The position is the
// one before the move.
void LearnMargins(const Position& p, int evalBefore, int evalAfter, Move move, int side);
// At each search start: every margin shrinks, but not below MaxCaptureGain * 2 / 8.
void DecayMargins();
// New game: every margin becomes MaxCaptureGain * 2 / 8.
void ResetMargins();

}  // namespace kestrel
