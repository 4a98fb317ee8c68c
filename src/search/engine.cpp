// The process's engine.
#include "search/engine.h"

namespace kestrel {

Engine& ProcessEngine() {
  static Engine engine;
  return engine;
}

}  // namespace kestrel
