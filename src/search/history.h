// Process-wide move-ordering tables shared by all search threads without locks:
// HistoryScore orders quiet moves in the pickers; HistorySuccess and HistoryTried
// drive the node search's reductions. Each has 2 x 16384 entries indexed by the
// move's from and to fields (its low 14 bits), plus 16384 when Black moves.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

namespace kestrel {

constexpr int HistoryTableSize = 2 * 16384;

extern std::atomic<int32_t> HistoryScore[HistoryTableSize];
extern std::atomic<int32_t> HistorySuccess[HistoryTableSize];
extern std::atomic<int32_t> HistoryTried[HistoryTableSize];

// Table index of a move made by `side`.
inline int HistoryIndex(Move m, int side) { return (int)(m & 0x3FFF) + (side == Black ? 16384 : 0); }
// Plain relaxed read of an entry (lost or torn updates are tolerated).
inline int32_t HistoryValue(const std::atomic<int32_t>* table, int i) {
  return table[i].load(std::memory_order_relaxed);
}

// New game: scores and successes 0, every tried count 1.
void ClearHistory();

}  // namespace kestrel
