// Interim bodies of the engine calls made by the command loop. They keep a GUI going
// (a legal move is always answered) until the search, the mate solver, the table and
// the book replace them. INTERIM: every body below is to be replaced by the real call.
#include "usi/engine_hooks.h"

#include <cstdlib>

#include "board/state.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"

namespace kestrel {

// INTERIM: nothing to set up until the mate solver, parallel search and book exist.
void EngineInitSubsystems() {}

// INTERIM: no table yet; only checks that memory of this size can be had, so that an
// impossible USI_Hash is refused as the real allocation will refuse it.
bool EngineAllocateTable(int64_t bytes) {
  if (bytes <= 0 || bytes > ((int64_t)1 << 40)) return false;
  void* probe = std::calloc((size_t)bytes, 1);
  if (!probe) return false;
  std::free(probe);
  return true;
}

// INTERIM: clears the game history; the table, history tables and search values follow.
void EngineNewGameReset() { ClearGameHistory(State->root); }

// INTERIM: no book yet.
void EngineLoadBook() {}

// INTERIM: the search's thresholds do not exist yet.
void EngineSetThresholds(int) {}

// INTERIM: plays the first legal move (resultCode 1 when there is none) instead of searching.
void EngineThink(int side) {
  State->searchStartMs = NowMs();
  Move list[MaxMoves];
  Move* end = GenerateLegalMoves(State->root, list, side);
  State->bestMove = end != list ? list[0] : 0;
  State->rootScore = 0;
  State->searchStatus = StatusNormal;
  State->resultCode = end != list ? ResultNone : ResultNoMove;
}

// INTERIM: no table to take a ponder move from.
void EngineSelectPonderMove() { ponderMove = 0; }

// INTERIM: no mate solver yet; every problem is answered as unsolved.
bool EngineSolveMate(int) { return false; }

// INTERIM: nothing to print without a solver.
void EnginePrintMateLine(int) {}

}  // namespace kestrel
