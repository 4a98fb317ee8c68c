// Formatting of the search's "info" line.
#include "search/info_line.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "board/move_text.h"
#include "engine/engine_state.h"

namespace kestrel {

void PrintInfoLine(uint64_t nodes, const Move* pv, int pvLength, int score) {
  char head[160];
  std::snprintf(head, sizeof head, "info time %" PRId64 " depth %d nodes %" PRIu64 " score cp %d pv ",
                NowMs() - State->searchStartMs, State->iterationDepth, nodes, score);
  std::string line = head;
  char move[8];
  for (int i = 1; i <= pvLength; ++i) {
    line += FormatUsiMove(move, pv[i]);
    line += ' ';
  }
  line += '\n';
  std::fputs(line.c_str(), stdout);
}

}  // namespace kestrel
