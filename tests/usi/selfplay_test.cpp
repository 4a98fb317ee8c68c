// Whole games between two engine processes through the USI protocol, the way a GUI
// plays them: real clocks, every answer checked against the legal moves of the
// position. The short run here is a smoke test; longer runs are set through the
// environment (KESTREL_SELFPLAY_GAMES, _BYOYOMI_MS, _TIME_MS, _LEVEL, _THREADS).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <memory>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/hashkeys.h"
#include "board/makemove.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "usi/notation.h"
#include "usi/usi_process.h"

namespace kestrel_test {
namespace {

using namespace kestrel;

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

struct GameResult {
  int winner = 0;          // +1 Black, -1 White, 0 draw
  int plies = 0;
  std::string reason;
  bool illegal = false;
  bool timeLoss = false;
  bool crash = false;
  int64_t worstOvershootMs = -1000000;  // most time used beyond what the clock allowed
};

struct Player {
  UsiProcess proc;
  bool Init(const std::string& dir, int level, int threads) {
    // KESTREL_SELFPLAY_ENGINE names another binary (a frozen copy for long runs).
    const char* engine = std::getenv("KESTREL_SELFPLAY_ENGINE");
    if (!proc.Start(dir, engine && *engine ? engine : KESTREL_BINARY)) return false;
    std::vector<std::string> lines;
    proc.Send("usi");
    if (!proc.ReadUntil("usiok", &lines)) return false;
    proc.Send("setoption name KestrelLevel value " + std::to_string(level));
    proc.Send("setoption name ThreadNumber value " + std::to_string(threads));
    proc.Send("setoption name USI_Ponder value false");
    proc.Send("isready");
    if (!proc.ReadUntil("readyok", &lines)) return false;
    proc.Send("usinewgame");
    return true;
  }
};

// Plays one game; `blackDir` and `whiteDir` are the engines' working directories.
// `toleranceMs` forgives scheduling delays of a loaded test machine; a GUI allows none.
// The first `randomPlies` moves are drawn at random (seeded by `seed`) so that games differ.
GameResult PlayGame(const std::string& blackDir, const std::string& whiteDir, int level, int threads,
                    int64_t mainTimeMs, int64_t byoyomiMs, int maxPlies, int64_t toleranceMs, int randomPlies,
                    unsigned seed) {
  GameResult r;
  Player players[2];
  if (!players[0].Init(blackDir, level, threads) || !players[1].Init(whiteDir, level, threads)) {
    r.crash = true;
    r.reason = "engine did not start";
    return r;
  }
  auto pos = std::make_unique<Position>();
  GameCursor game;
  std::string err, moves;
  SetPositionFromText(*pos, "startpos", game, &err);
  int64_t clock[2] = {mainTimeMs, mainTimeMs};
  std::map<HashKey, int> seen;
  std::mt19937 rng(seed);
  for (int i = 0; i < randomPlies; ++i) {
    Move list[MaxMoves];
    Move* end = GenerateLegalMoves(*pos, list, game.side);
    if (end == list) break;
    const std::string text = MoveToUsi(list[rng() % (end - list)]);
    PlayUsiMove(*pos, text.c_str(), game, &err);
    moves += " " + text;
  }
  for (int ply = game.moveCount; ply < maxPlies; ++ply) {
    const int si = game.side == Black ? 0 : 1;
    Player& p = players[si];
    p.proc.Send("position startpos" + (moves.empty() ? std::string() : " moves" + moves));
    p.proc.Send("go btime " + std::to_string(clock[0]) + " wtime " + std::to_string(clock[1]) +
                " byoyomi " + std::to_string(byoyomiMs));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> lines;
    if (!p.proc.ReadUntil("bestmove", &lines, (int)(clock[si] + byoyomiMs + 30000))) {
      r.crash = true;
      r.reason = "no bestmove";
      r.winner = -game.side;
      return r;
    }
    const int64_t used = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start).count();
    // The GUI's clock: main time first, then the byoyomi for this move.
    int64_t over = used - clock[si] - byoyomiMs;
    if (over > r.worstOvershootMs) r.worstOvershootMs = over;
    if (over > toleranceMs) {
      r.timeLoss = true;
      r.reason = "time";
      r.winner = -game.side;
      return r;
    }
    clock[si] = used >= clock[si] ? 0 : clock[si] - used;
    const std::string best = lines.back().substr(9, lines.back().find(' ', 9) - 9);
    if (best == "resign") {
      r.winner = -game.side;
      r.reason = "resign";
      return r;
    }
    if (best == "win") {
      r.winner = game.side;
      r.reason = "declaration";
      return r;
    }
    Move m;
    if (ParseUsiMove(*pos, best.c_str(), game.side, &m, &err) == 0 || !IsLegalMove(*pos, m, game.side)) {
      r.illegal = true;
      r.reason = "illegal move " + best;
      r.winner = -game.side;
      return r;
    }
    PlayUsiMove(*pos, best.c_str(), game, &err);
    moves += " " + best;
    r.plies = ply + 1;
    if (!HasLegalMove(*pos, game.side)) {
      r.winner = -game.side;
      r.reason = "mate";
      return r;
    }
    // Fourfold repetition ends the game as a draw (perpetual check is not judged here).
    HashKey k = pos->keyFull ^ (game.side == White ? 1 : 0);
    if (++seen[k] >= 4) {
      r.reason = "repetition";
      return r;
    }
  }
  r.reason = "length";
  return r;
}

TEST(SelfPlay, GamesAreLegalAndFinish) {
  InitBoardTables();
  InitHashKeys();
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  const int games = EnvInt("KESTREL_SELFPLAY_GAMES", sanitized ? 1 : 2);
  const int level = EnvInt("KESTREL_SELFPLAY_LEVEL", 2);
  const int threads = EnvInt("KESTREL_SELFPLAY_THREADS", 1);
  const int64_t byoyomi = EnvInt("KESTREL_SELFPLAY_BYOYOMI_MS", 1000);
  const int64_t mainTime = EnvInt("KESTREL_SELFPLAY_TIME_MS", 0);
  const int maxPlies = EnvInt("KESTREL_SELFPLAY_MAX_PLIES", sanitized ? 40 : 160);
  const int64_t tolerance = EnvInt("KESTREL_SELFPLAY_TOLERANCE_MS", 2000);
  const int randomPlies = EnvInt("KESTREL_SELFPLAY_RANDOM_PLIES", 4);
  const unsigned seed = (unsigned)EnvInt("KESTREL_SELFPLAY_SEED", 1000);
  std::string dirs[2] = {MakeTempDir(), MakeTempDir()};
  for (auto& d : dirs) CopyEvaluationData(d);
  int results[3] = {0, 0, 0};
  int64_t worst = -1000000;
  for (int g = 0; g < games; ++g) {
    // Colours alternate between the two working directories.
    GameResult r = PlayGame(dirs[g & 1], dirs[(g + 1) & 1], level, threads, mainTime, byoyomi, maxPlies,
                            tolerance, randomPlies, seed + (unsigned)g);
    std::printf("game %d: %d plies, winner %d, %s (worst overshoot %lld ms)\n", g + 1, r.plies, r.winner,
                r.reason.c_str(), (long long)r.worstOvershootMs);
    EXPECT_FALSE(r.illegal) << r.reason;
    EXPECT_FALSE(r.crash) << r.reason;
    EXPECT_FALSE(r.timeLoss) << "lost on time";
    results[r.winner + 1]++;
    if (r.worstOvershootMs > worst) worst = r.worstOvershootMs;
  }
  std::printf("summary: %d games, Black wins %d, White wins %d, draws %d, worst overshoot %lld ms\n", games,
              results[2], results[0], results[1], (long long)worst);
  for (auto& d : dirs) RemoveTree(d);
}

}  // namespace
}  // namespace kestrel_test
