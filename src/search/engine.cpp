// The process's engine.
#include "search/engine.h"

namespace kestrel {

namespace {

// The process's record, allocated on first use.
SearchState& ProcessRecord() {
  AllocateEngineState();
  return *State;
}

}  // namespace

Engine::Engine() : state(ProcessRecord()) {}

// Never destroyed: helper threads may still be parked on its tables when the process
// exits.
Engine& ProcessEngine() {
  static Engine* engine = new Engine;
  return *engine;
}

}  // namespace kestrel
