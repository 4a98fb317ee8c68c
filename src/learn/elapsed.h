// Wall-clock seconds for the progress lines of the long-running command-line modes
// (generate, train, the teacher's rescoring).
#pragma once

#include <chrono>

namespace kestrel {

// Seconds elapsed since `t` on the monotonic clock.
inline double SecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace kestrel
