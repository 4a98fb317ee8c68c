// The wall clock every part of the engine measures time with.
#pragma once

#include <chrono>
#include <cstdint>

namespace kestrel {

// Monotonic wall clock in milliseconds.
inline int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace kestrel
