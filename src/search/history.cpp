// Storage of the history tables.
#include "search/history.h"

namespace kestrel {

std::atomic<int32_t> HistoryScore[HistoryTableSize];
std::atomic<int16_t> ContinuationScore[PieceToCount * PieceToCount];

void ClearHistory() {
  for (int i = 0; i < HistoryTableSize; ++i) HistoryScore[i].store(0, std::memory_order_relaxed);
  for (auto& e : ContinuationScore) e.store(0, std::memory_order_relaxed);
}

}  // namespace kestrel
