// Whole games between two engine processes through the USI protocol, the way a GUI
// plays them: real clocks (byoyomi, increments or sudden death), every answer checked
// against the legal moves of the position. The short run here is a smoke test; longer
// runs are set through the environment (KESTREL_SELFPLAY_GAMES, _BYOYOMI_MS, _TIME_MS,
// _INC_MS, _LEVEL, _THREADS, _OPPONENT, _OPPONENT_INC, _OPPONENT_FLAG), and print the
// think times and the lowest clock of the engine under test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
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

// The clock and limits of a match.
struct MatchSettings {
  int level = 2, threads = 1;
  int64_t mainTimeMs = 0, byoyomiMs = 1000, incrementMs = 0;
  int maxPlies = 160;
  int64_t toleranceMs = 2000;  // forgives scheduling delays of a loaded test machine
  int randomPlies = 4;         // random opening moves, so that games differ
  bool opponentSeesIncrement = true;  // false: its "go" lines carry no increment keys
  bool opponentFlagged = true;        // false: the opponent plays on past its clock
};

// Think times and clocks of one player over a game.
struct ThinkStats {
  int moves = 0;
  int64_t totalMs = 0, longestMs = 0;
  int64_t lowestClockMs = INT64_MAX;  // the clock at the moment of an answer
  void Add(int64_t used, int64_t clockLeft) {
    ++moves;
    totalMs += used;
    if (used > longestMs) longestMs = used;
    if (clockLeft < lowestClockMs) lowestClockMs = clockLeft;
  }
  void Add(const ThinkStats& o) {
    moves += o.moves;
    totalMs += o.totalMs;
    if (o.longestMs > longestMs) longestMs = o.longestMs;
    if (o.lowestClockMs < lowestClockMs) lowestClockMs = o.lowestClockMs;
  }
};

struct GameResult {
  int winner = 0;          // +1 Black, -1 White, 0 draw
  int plies = 0;
  std::string reason;
  bool illegal = false;
  bool timeLoss = false;
  bool crash = false;
  int64_t worstOvershootMs = -1000000;  // most time used beyond what the clock allowed
  ThinkStats stats[2];                  // by player: 0 the engine under test, 1 its opponent
  int opponentOvertime = 0;             // moves the opponent made past its clock, unflagged
};

struct Player {
  UsiProcess proc;
  bool Init(const std::string& dir, const std::string& binary, const MatchSettings& m) {
    if (!proc.Start(dir, binary)) return false;
    std::vector<std::string> lines;
    proc.Send("usi");
    if (!proc.ReadUntil("usiok", &lines)) return false;
    proc.Send("setoption name KestrelLevel value " + std::to_string(m.level));
    proc.Send("setoption name ThreadNumber value " + std::to_string(m.threads));
    proc.Send("setoption name USI_Ponder value false");
    proc.Send("isready");
    if (!proc.ReadUntil("readyok", &lines)) return false;
    proc.Send("usinewgame");
    return true;
  }
};

// Plays one game between `binaries[0]` (the engine under test) and `binaries[1]`, run in
// `dirs[0]` and `dirs[1]`; `testIsBlack` gives the colours. The first randomPlies moves
// are drawn at random (seeded by `seed`).
GameResult PlayGame(const std::string binaries[2], const std::string dirs[2], bool testIsBlack,
                    const MatchSettings& m, unsigned seed) {
  GameResult r;
  Player players[2];  // by colour: 0 Black, 1 White
  const int blackId = testIsBlack ? 0 : 1;
  if (!players[0].Init(dirs[blackId], binaries[blackId], m) ||
      !players[1].Init(dirs[1 - blackId], binaries[1 - blackId], m)) {
    r.crash = true;
    r.reason = "engine did not start";
    return r;
  }
  auto pos = std::make_unique<Position>();
  GameCursor game;
  std::string err, moves;
  SetPositionFromText(*pos, "startpos", game, &err);
  int64_t clock[2] = {m.mainTimeMs, m.mainTimeMs};
  std::map<HashKey, int> seen;
  std::mt19937 rng(seed);
  for (int i = 0; i < m.randomPlies; ++i) {
    Move list[MaxMoves];
    Move* end = GenerateLegalMoves(*pos, list, game.side);
    if (end == list) break;
    const std::string text = MoveToUsi(list[rng() % (end - list)]);
    PlayUsiMove(*pos, text.c_str(), game, &err);
    moves += " " + text;
  }
  // Increments come without a byoyomi key, as GUIs send them.
  std::string clockKeys, incrementKeys;
  if (m.byoyomiMs > 0 || m.incrementMs == 0) clockKeys += " byoyomi " + std::to_string(m.byoyomiMs);
  if (m.incrementMs > 0)
    incrementKeys = " binc " + std::to_string(m.incrementMs) + " winc " + std::to_string(m.incrementMs);
  for (int ply = game.moveCount; ply < m.maxPlies; ++ply) {
    const int si = game.side == Black ? 0 : 1;
    const int id = si == 0 ? blackId : 1 - blackId;
    Player& p = players[si];
    p.proc.Send("position startpos" + (moves.empty() ? std::string() : " moves" + moves));
    p.proc.Send("go btime " + std::to_string(clock[0]) + " wtime " + std::to_string(clock[1]) + clockKeys +
                (id == 0 || m.opponentSeesIncrement ? incrementKeys : std::string()));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> lines;
    if (!p.proc.ReadUntil("bestmove", &lines, (int)(clock[si] + m.byoyomiMs + 30000))) {
      r.crash = true;
      r.reason = "no bestmove";
      r.winner = -game.side;
      return r;
    }
    const int64_t used = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start).count();
    // The GUI's clock: main time first, then the byoyomi for this move; the increment
    // is added once the move is made.
    int64_t over = used - clock[si] - m.byoyomiMs;
    if (over > r.worstOvershootMs) r.worstOvershootMs = over;
    r.stats[id].Add(used, clock[si] - used);
    if (over > m.toleranceMs && id == 1 && !m.opponentFlagged) {
      ++r.opponentOvertime;
    } else if (over > m.toleranceMs) {
      r.timeLoss = true;
      r.reason = id == 0 ? "time (engine under test)" : "time (opponent)";
      r.winner = -game.side;
      return r;
    }
    clock[si] = (used >= clock[si] ? 0 : clock[si] - used) + m.incrementMs;
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
    Move mv;
    if (ParseUsiMove(*pos, best.c_str(), game.side, &mv, &err) == 0 || !IsLegalMove(*pos, mv, game.side)) {
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

void PrintStats(const char* who, const ThinkStats& s) {
  if (s.moves == 0) return;
  std::printf("  %s: %d moves, mean think %lld ms, longest %lld ms, lowest clock %lld ms\n", who, s.moves,
              (long long)(s.totalMs / s.moves), (long long)s.longestMs, (long long)s.lowestClockMs);
}

TEST(SelfPlay, GamesAreLegalAndFinish) {
  InitBoardTables();
  InitHashKeys();
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  const int games = EnvInt("KESTREL_SELFPLAY_GAMES", sanitized ? 1 : 2);
  MatchSettings m;
  m.level = EnvInt("KESTREL_SELFPLAY_LEVEL", 2);
  m.threads = EnvInt("KESTREL_SELFPLAY_THREADS", 1);
  m.byoyomiMs = EnvInt("KESTREL_SELFPLAY_BYOYOMI_MS", 1000);
  m.mainTimeMs = EnvInt("KESTREL_SELFPLAY_TIME_MS", 0);
  m.incrementMs = EnvInt("KESTREL_SELFPLAY_INC_MS", 0);
  m.maxPlies = EnvInt("KESTREL_SELFPLAY_MAX_PLIES", sanitized ? 40 : 160);
  m.toleranceMs = EnvInt("KESTREL_SELFPLAY_TOLERANCE_MS", 2000);
  m.randomPlies = EnvInt("KESTREL_SELFPLAY_RANDOM_PLIES", 4);
  m.opponentSeesIncrement = EnvInt("KESTREL_SELFPLAY_OPPONENT_INC", 1) != 0;
  m.opponentFlagged = EnvInt("KESTREL_SELFPLAY_OPPONENT_FLAG", 1) != 0;
  const unsigned seed = (unsigned)EnvInt("KESTREL_SELFPLAY_SEED", 1000);
  // KESTREL_SELFPLAY_ENGINE names another binary for the engine under test (a frozen
  // copy for long runs); KESTREL_SELFPLAY_OPPONENT one for its opponent.
  const char* engine = std::getenv("KESTREL_SELFPLAY_ENGINE");
  const char* opponent = std::getenv("KESTREL_SELFPLAY_OPPONENT");
  const std::string tested = engine && *engine ? engine : KESTREL_BINARY;
  const std::string binaries[2] = {tested, opponent && *opponent ? opponent : tested};
  std::string dirs[2] = {MakeTempDir(), MakeTempDir()};
  for (auto& d : dirs) CopyEvaluationData(d);
  int results[3] = {0, 0, 0};
  int64_t worst = -1000000;
  ThinkStats total[2];
  for (int g = 0; g < games; ++g) {
    // Colours alternate.
    GameResult r = PlayGame(binaries, dirs, (g & 1) == 0, m, seed + (unsigned)g);
    std::printf("game %d: %d plies, winner %d, %s (worst overshoot %lld ms, opponent past its clock %d times)\n",
                g + 1, r.plies, r.winner, r.reason.c_str(), (long long)r.worstOvershootMs, r.opponentOvertime);
    PrintStats("tested", r.stats[0]);
    EXPECT_FALSE(r.illegal) << r.reason;
    EXPECT_FALSE(r.crash) << r.reason;
    EXPECT_FALSE(r.timeLoss) << "lost on time: " << r.reason;
    results[r.winner + 1]++;
    if (r.worstOvershootMs > worst) worst = r.worstOvershootMs;
    total[0].Add(r.stats[0]);
    total[1].Add(r.stats[1]);
  }
  std::printf("summary: %d games, Black wins %d, White wins %d, draws %d, worst overshoot %lld ms\n", games,
              results[2], results[0], results[1], (long long)worst);
  PrintStats("tested", total[0]);
  PrintStats("opponent", total[1]);
  for (auto& d : dirs) RemoveTree(d);
}

}  // namespace
}  // namespace kestrel_test
