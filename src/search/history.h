// The process-wide history tables shared by all search threads without locks: they order
// quiet moves in the pickers and adjust the reductions of late moves. The main table has
// 2 x 16384 entries indexed by the move's from (or dropped kind) and to fields, plus 16384
// when Black moves. The continuation table scores a move by the piece and square of a
// move one or two plies before it (the reply to the opponent's move, the follow-up of
// one's own), indexed by both moves' piece codes and target squares. Entries stay within
// +-HistoryLimit.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

namespace kestrel {

constexpr int HistoryTableSize = 2 * 16384;

extern std::atomic<int32_t> HistoryScore[HistoryTableSize];
constexpr int HistoryLimit = 16384;

// Table index of a move made by `side`: its from and to fields; a drop takes the place of
// its from square by the kind it drops (96 + kind), so that each piece has its own entry.
inline int HistoryIndex(Move m, int side) {
  const int from = MoveIsDrop(m) ? 96 + (MovePiece(m) >> 1) : MoveFrom(m);
  return from + (MoveTo(m) << 7) + (side == Black ? 16384 : 0);
}
// Continuation entries: a move's piece code (side included) and target square.
constexpr int PieceToCount = 32 * SquareCount;
extern std::atomic<int16_t> ContinuationScore[PieceToCount * PieceToCount];
inline int PieceTo(Move m) { return MovePiece(m) * SquareCount + MoveTo(m); }
// Entry of `m` played after `before` (0: none, a null move).
inline int ContinuationIndex(Move before, Move m) { return PieceTo(before) * PieceToCount + PieceTo(m); }

// Plain relaxed read of an entry (lost or torn updates are tolerated).
inline int32_t HistoryValue(const std::atomic<int32_t>* table, int i) {
  return table[i].load(std::memory_order_relaxed);
}

// The ordering score of a quiet move made by `side` after the moves `prev1` (one ply
// before, the opponent's) and `prev2` (two plies before, its own); 0 stands for none.
inline int QuietMoveScore(Move m, int side, Move prev1, Move prev2) {
  int s = HistoryValue(HistoryScore, HistoryIndex(m, side));
  if (prev1 != 0) s += ContinuationScore[ContinuationIndex(prev1, m)].load(std::memory_order_relaxed);
  if (prev2 != 0) s += ContinuationScore[ContinuationIndex(prev2, m)].load(std::memory_order_relaxed);
  return s;
}

// New game: every entry 0.
void ClearHistory();

}  // namespace kestrel
