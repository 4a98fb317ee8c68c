// The "info" line of a search: elapsed time, depth, nodes, speed, table use, score and
// principal variation.
#pragma once

#include <cstdint>
#include <string>

#include "board/types.h"

namespace kestrel {

// What a score printed on a line is: exact, or a bound from a fail high or a fail low.
enum class ScoreBound { Exact, Lower, Upper };

// The search's figures for one line.
struct InfoFields {
  int depth = 0;
  int selDepth = 0;     // the deepest ply from the root any node reached
  uint64_t nodes = 0;
  int score = 0;
  ScoreBound bound = ScoreBound::Exact;
  int multiPv = 0;      // the line's rank among several ("multipv N"); 0 prints none
};

// "info time <ms> depth <d> seldepth <s> nodes <n> nps <n> hashfull <h> [multipv <i>]
// score (cp <v>|mate <n>) [lowerbound|upperbound] pv <m1> <m2> ... ", without a newline.
// pv[1..pvLength] are the moves (index 0 is unused).
std::string FormatInfoLine(const InfoFields& f, int64_t elapsedMs, int hashfull, const Move* pv, int pvLength);
// The same line with the principal variation given as its USI text (a mate solver's line).
std::string FormatInfoLine(const InfoFields& f, int64_t elapsedMs, int hashfull, const std::string& pvText);

}  // namespace kestrel
