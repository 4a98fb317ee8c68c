// Reading the clock keys of the go commands into the engine record.
#include "usi/go_command.h"

#include <cstdlib>

#include "search/search_state.h"

namespace kestrel {

namespace {

// Clock values beyond this (about 31 years in milliseconds) are taken as this, so that
// sums of clock fields never overflow and a search on such a clock still ends.
constexpr int64_t ClockCap = 1000000000000;
// Deepest "go depth" kept (the search's own limit is lower).
constexpr int64_t DepthCap = 1000;

// Whether the line holds the key (with its spaces, e.g. " btime ").
bool HasKey(const std::string& line, const char* key) { return line.find(key) != std::string::npos; }

// The non-negative number after key (leading blanks skipped); 0 when the key is missing,
// no digits follow or the number is negative. Huge numbers are capped at `cap`.
int64_t NumberAfter(const std::string& line, const char* key, int64_t cap = ClockCap) {
  const size_t at = line.find(key);
  if (at == std::string::npos) return 0;
  const char* t = line.c_str() + at + std::char_traits<char>::length(key);
  while (*t == ' ' || *t == '\t') ++t;
  const long long v = std::strtoll(t, nullptr, 10);
  return v < 0 ? 0 : v > cap ? cap : (int64_t)v;
}

}  // namespace

GoLimits ParseGoClock(const std::string& line, SearchState& st) {
  // A key at the end of the line has no space after it; one is added for the tests.
  const std::string text = line + ' ';
  GoLimits limits;
  limits.depth = (int)NumberAfter(text, " depth ", DepthCap);
  limits.nodes = (uint64_t)NumberAfter(text, " nodes ");
  limits.moveTimeMs = NumberAfter(text, " movetime ");
  if (text.find("infinite") != std::string::npos) {
    limits.infinite = true;
    st.noTimeLimit = 1;
    return limits;
  }
  const bool clock = HasKey(text, " btime ") || HasKey(text, " wtime ") || HasKey(text, " byoyomi ") ||
                     HasKey(text, " binc ") || HasKey(text, " winc ");
  const bool limited = limits.depth > 0 || limits.nodes > 0 || limits.moveTimeMs > 0;
  st.noTimeLimit = !clock && limited ? 1 : 0;
  st.blackRemaining = NumberAfter(text, " btime ");
  st.whiteRemaining = NumberAfter(text, " wtime ");
  st.byoyomi = NumberAfter(text, " byoyomi ");
  st.blackIncrement = NumberAfter(text, " binc ");
  st.whiteIncrement = NumberAfter(text, " winc ");
  return limits;
}

}  // namespace kestrel
