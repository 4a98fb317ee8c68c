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

Engine& ProcessEngine() {
  static Engine engine;
  return engine;
}

}  // namespace kestrel
