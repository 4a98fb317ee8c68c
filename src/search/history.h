// One engine's history tables, shared by all its search threads without locks: they order
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

constexpr int HistoryLimit = 16384;

// Table index of a move made by `side`: its from and to fields; a drop takes the place of
// its from square by the kind it drops (96 + kind), so that each piece has its own entry.
inline int HistoryIndex(Move m, int side) {
  const int from = MoveIsDrop(m) ? 96 + (MovePiece(m) >> 1) : MoveFrom(m);
  return from + (MoveTo(m) << 7) + (side == Black ? 16384 : 0);
}
// Continuation entries: a move's piece code (side included) and target square.
constexpr int PieceToCount = 32 * SquareCount;
inline int PieceTo(Move m) { return MovePiece(m) * SquareCount + MoveTo(m); }
// Entry of `m` played after `before` (0: none, a null move).
inline int ContinuationIndex(Move before, Move m) { return PieceTo(before) * PieceToCount + PieceTo(m); }

struct Histories {
  // Every entry 0.
  Histories() { Clear(); }
  Histories(const Histories&) = delete;
  Histories& operator=(const Histories&) = delete;

  // The ordering score of a quiet move made by `side` after the moves `prev1` (one ply
  // before, the opponent's) and `prev2` (two plies before, its own); 0 stands for none.
  // Plain relaxed reads: lost or torn updates are tolerated.
  int QuietMoveScore(Move m, int side, Move prev1, Move prev2) const {
    int s = main[HistoryIndex(m, side)].load(std::memory_order_relaxed);
    if (prev1 != 0) s += continuation[ContinuationIndex(prev1, m)].load(std::memory_order_relaxed);
    if (prev2 != 0) s += continuation[ContinuationIndex(prev2, m)].load(std::memory_order_relaxed);
    return s;
  }
  // New game: every entry 0.
  void Clear() {
    for (auto& e : main) e.store(0, std::memory_order_relaxed);
    for (auto& e : continuation) e.store(0, std::memory_order_relaxed);
  }

  std::atomic<int32_t> main[HistoryTableSize];
  std::atomic<int16_t> continuation[PieceToCount * PieceToCount];
};

}  // namespace kestrel
