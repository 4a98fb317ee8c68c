// The process-wide history table shared by all search threads without locks: it orders
// quiet moves in the pickers and adjusts the reductions of late moves. It has 2 x 16384
// entries indexed by the move's from (or dropped kind) and to fields, plus 16384 when
// Black moves; entries stay within +-HistoryLimit.
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
// Plain relaxed read of an entry (lost or torn updates are tolerated).
inline int32_t HistoryValue(const std::atomic<int32_t>* table, int i) {
  return table[i].load(std::memory_order_relaxed);
}

// New game: every entry 0.
void ClearHistory();

}  // namespace kestrel
