// "kestrel perft": counts the leaves of the legal move tree; the last line is the count
// alone.
#include "app/commands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "board/attack_tables.h"
#include "board/makemove.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "game/game_text.h"

namespace kestrel {

namespace {

struct PerftSettings {
  bool divide = false;
  int depth = 0;
  std::string text;  // USI position text
};

// Counts the leaves below the position, per root move when dividing.
int RunPerft(const PerftSettings& s) {
  const bool divide = s.divide;
  const long depth = s.depth;
  const std::string& text = s.text;
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

}  // namespace

ProgramCommand MakePerftCommand() {
  auto s = std::make_shared<PerftSettings>();
  CliOption words{"", "[divide] DEPTH [POSITION]",
                  "leaves of the legal move tree DEPTH plies deep (0 to 20) below the USI position text "
                  "(startpos or sfen ..., with moves; the start position when left out); divide counts "
                  "them per root move",
                  1, 1 << 20, [s](const std::vector<std::string>& v) {
                    size_t i = 0;
                    if (v[0] == "divide") s->divide = true, ++i;
                    if (i >= v.size()) return std::string("DEPTH is missing");
                    int64_t depth = 0;
                    std::string err = ReadInt("DEPTH", v[i++], 0, 20, &depth);
                    s->depth = (int)depth;
                    for (; i < v.size(); ++i) s->text += (s->text.empty() ? "" : " ") + v[i];
                    if (s->text.empty()) s->text = "startpos";
                    return err;
                  }};
  return {{"perft", "Counts the leaves of the legal move tree; the last line is the count.", {words}},
          [] { return std::string(); },
          [s] { return RunPerft(*s); }};
}

}  // namespace kestrel
