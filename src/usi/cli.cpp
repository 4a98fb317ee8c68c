// perft: counts the leaves of the legal move tree; the last line is the count alone.
#include "usi/cli.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "board/attack_tables.h"
#include "board/makemove.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "usi/notation.h"

namespace kestrel {

int RunPerftCommand(int argc, char** argv) {
  int i = 0;
  bool divide = false;
  if (i < argc && std::string(argv[i]) == "divide") {
    divide = true;
    ++i;
  }
  if (i >= argc) {
    std::fprintf(stderr, "usage: kestrel perft [divide] <depth> <startpos|sfen ...> [moves ...]\n");
    return 2;
  }
  char* endp = nullptr;
  long depth = std::strtol(argv[i], &endp, 10);
  if (*endp != '\0' || depth < 0 || depth > 20) {
    std::fprintf(stderr, "perft: bad depth '%s'\n", argv[i]);
    return 2;
  }
  ++i;
  std::string text;
  for (; i < argc; ++i) {
    if (!text.empty()) text += ' ';
    text += argv[i];
  }
  if (text.empty()) text = "startpos";
  InitBoardTables();
  InitHashKeys();
  auto pos = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  if (!SetPositionFromText(*pos, text, game, &err)) {
    std::fprintf(stderr, "perft: %s\n", err.c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  uint64_t total = 0;
  if (divide && depth >= 1) {
    Move list[MaxMoves];
    Move* end = GenerateLegalMoves(*pos, list, game.side);
    for (Move* m = list; m != end; ++m) {
      const MoveUndo undo = PlayMove(*pos, *m);
      uint64_t n = depth > 1 ? Perft(*pos, (int)depth - 1, -game.side) : 1;
      TakeBackMove(*pos, *m, undo);
      std::printf("%s %llu\n", MoveToUsi(*m).c_str(), (unsigned long long)n);
      total += n;
    }
  } else {
    total = Perft(*pos, (int)depth, game.side);
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("time %.0f ms, %.0f leaves per second\n", ms, ms > 0 ? total * 1000.0 / ms : 0.0);
  std::printf("%llu\n", (unsigned long long)total);
  return 0;
}

}  // namespace kestrel
