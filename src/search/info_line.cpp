// Formatting of the search's "info" line.
#include "search/info_line.h"

#include <cinttypes>
#include <cstdio>

#include "board/move_text.h"
#include "board/score.h"

namespace kestrel {

std::string FormatInfoLine(const InfoFields& f, int64_t elapsedMs, int hashfull, const std::string& pvText) {
  const int64_t ms = elapsedMs > 0 ? elapsedMs : 0;
  // Nodes a second over the whole milliseconds; the first millisecond counts as one.
  const uint64_t nps = f.nodes * 1000 / (uint64_t)(ms > 0 ? ms : 1);
  char head[200];
  std::snprintf(head, sizeof head,
                "info time %" PRId64 " depth %d seldepth %d nodes %" PRIu64 " nps %" PRIu64 " hashfull %d ", ms,
                f.depth, f.selDepth, f.nodes, nps, hashfull);
  std::string line = head;
  if (f.multiPv > 0) line += "multipv " + std::to_string(f.multiPv) + ' ';
  line += "score " + UsiScoreText(f.score);
  if (f.bound == ScoreBound::Lower) line += " lowerbound";
  if (f.bound == ScoreBound::Upper) line += " upperbound";
  return line + " pv " + pvText;
}

std::string FormatInfoLine(const InfoFields& f, int64_t elapsedMs, int hashfull, const Move* pv, int pvLength) {
  std::string text;
  char move[8];
  for (int i = 1; i <= pvLength; ++i) {
    text += FormatUsiMove(move, pv[i]);
    text += ' ';
  }
  return FormatInfoLine(f, elapsedMs, hashfull, text);
}

}  // namespace kestrel
