// Storage of the history tables.
#include "search/history.h"

namespace kestrel {

std::atomic<int32_t> HistoryScore[HistoryTableSize];
std::atomic<int32_t> HistorySuccess[HistoryTableSize];
std::atomic<int32_t> HistoryTried[HistoryTableSize];

void ClearHistory() {
  for (int i = 0; i < HistoryTableSize; ++i) {
    HistoryScore[i].store(0, std::memory_order_relaxed);
    HistorySuccess[i].store(0, std::memory_order_relaxed);
    HistoryTried[i].store(1, std::memory_order_relaxed);
  }
}

}  // namespace kestrel
