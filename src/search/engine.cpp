// Construction of an engine and the process's engine.
#include "search/engine.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace kestrel {

namespace {

// A zero-filled record, 128-byte aligned, with the defaults of a fresh engine.
SearchState* NewRecord() {
  void* mem = std::aligned_alloc(128, (sizeof(SearchState) + 127) / 128 * 128);
  if (!mem) std::exit(12);
  std::memset(mem, 0, sizeof(SearchState));
  SearchState* s = new (mem) SearchState;
  std::memset(static_cast<void*>(s), 0, sizeof(SearchState));
  s->sideToMove = Black;
  s->maxHelpersPerSplit = 4;
  s->minSplitDepth = Plies(3);
  s->rootSplitAllowed = 1;
  s->timeMarginMs = 1000;
  return s;
}

}  // namespace

void Engine::FreeRecord::operator()(SearchState* s) const {
  s->~SearchState();
  std::free(s);
}

Engine::Engine() : record_(NewRecord()), state(*record_) {}

// The helpers stop before the record and the tables they read go.
Engine::~Engine() { pool.StopHelpers(); }

void Engine::UseWeights(std::shared_ptr<const EvalWeights> weights) {
  weightsOwner_ = std::move(weights);
  weights_ = weightsOwner_ ? weightsOwner_.get() : &NoEvalWeights();
}

// Never destroyed: helper threads may still be parked on its tables when the process
// exits.
Engine& ProcessEngine() {
  static Engine* engine = new Engine;
  return *engine;
}

}  // namespace kestrel
