// The engine calls made by the command loop: the search, the tables, the book and the
// mate solver behind one small set of names.
#include "usi/engine_hooks.h"

#include "board/state.h"
#include "book/book.h"
#include "mate/solver.h"
#include "search/driver.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"

namespace kestrel {

void EngineInitSubsystems() {
  AllocateMateWorkArea();
  MainThreadBlock();
  if (AllocateBook()) ClearBook();
}

bool EngineAllocateTable(int64_t bytes) {
  if (bytes <= 0) return false;
  return AllocateTable((uint64_t)bytes);
}

void EngineNewGameReset() { NewGameReset(); }

void EngineLoadBook() { LoadBook(); }

void EngineSetThresholds(int) { ComputeSearchThresholds(); }

void EngineThink(int side) { Think(side); }

void EngineSelectPonderMove() { SelectPonderMove(); }

}  // namespace kestrel
