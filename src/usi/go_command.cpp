// Reading the clock keys of the go commands into the engine record.
#include "usi/go_command.h"

#include <cstdlib>

#include "engine/engine_state.h"

namespace kestrel {

namespace {

// Clock values beyond this (about 31 years in milliseconds) are taken as this, so that
// sums of clock fields never overflow and a search on such a clock still ends.
constexpr int64_t ClockCap = 1000000000000;

// The non-negative number after key (leading blanks skipped); 0 when the key is missing,
// no digits follow or the number is negative. Huge numbers are capped at ClockCap.
int64_t NumberAfter(const std::string& line, const char* key) {
  const size_t at = line.find(key);
  if (at == std::string::npos) return 0;
  const char* t = line.c_str() + at + std::char_traits<char>::length(key);
  while (*t == ' ' || *t == '\t') ++t;
  const long long v = std::strtoll(t, nullptr, 10);
  return v < 0 ? 0 : v > ClockCap ? ClockCap : (int64_t)v;
}

}  // namespace

void ParseGoClock(const std::string& line) {
  if (line.find("infinite") != std::string::npos) {
    State->noTimeLimit = 1;
    return;
  }
  State->noTimeLimit = 0;
  State->blackRemaining = NumberAfter(line, " btime ");
  State->whiteRemaining = NumberAfter(line, " wtime ");
  State->byoyomi = NumberAfter(line, " byoyomi ");
  State->blackIncrement = NumberAfter(line, " binc ");
  State->whiteIncrement = NumberAfter(line, " winc ");
}

}  // namespace kestrel
