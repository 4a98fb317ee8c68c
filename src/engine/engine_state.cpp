// Storage of the engine record and the process-wide settings.
#include "engine/engine_state.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace kestrel {

SearchState* State = nullptr;
int engineLevel = 10;
int useBookUntilMove = 10;
bool usiPonder = false;
Move ponderMove = 0;
bool mateSequenceActive = false;
int shortcutScore = -ScoreNone;
std::string startupDirectory = ".";
std::atomic<bool> stopRequested{false};
std::atomic<bool> ponderhitReceived{false};
std::atomic<bool> gameoverReceived{false};
std::atomic<int64_t> ponderhitAtMs{0};

void AllocateEngineState() {
  if (State) return;
  void* mem = std::aligned_alloc(128, (sizeof(SearchState) + 127) / 128 * 128);
  if (!mem) std::exit(12);
  std::memset(mem, 0, sizeof(SearchState));
  State = new (mem) SearchState;
  std::memset(static_cast<void*>(State), 0, sizeof(SearchState));
  State->sideToMove = Black;
  State->maxHelpersPerSplit = 4;
  State->minSplitDepth = Plies(3);
  State->rootSplitAllowed = 1;
  State->timeMarginMs = 1000;
}

}  // namespace kestrel
