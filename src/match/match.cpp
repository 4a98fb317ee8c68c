// Engine-against-engine games over USI with a GUI's clock and rules.
#include "match/match.h"

#include <chrono>
#include <map>
#include <memory>
#include <random>

#include "board/hashkeys.h"
#include "book/declaration.h"
#include "match/usi_process.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "usi/notation.h"

namespace kestrel {

void ThinkTimes::Add(int64_t used, int64_t clockLeft) {
  ++moves;
  totalMs += used;
  if (used > longestMs) longestMs = used;
  if (clockLeft < lowestClockMs) lowestClockMs = clockLeft;
}

void ThinkTimes::Add(const ThinkTimes& o) {
  moves += o.moves;
  totalMs += o.totalMs;
  if (o.longestMs > longestMs) longestMs = o.longestMs;
  if (o.lowestClockMs < lowestClockMs) lowestClockMs = o.lowestClockMs;
}

namespace {

// Starts an engine and brings it to a new game; false when it does not answer.
bool StartEngine(UsiProcess& proc, const EngineSpec& e) {
  if (!proc.Start(e.dir, e.binary)) return false;
  std::vector<std::string> lines;
  if (!proc.Send("usi") || !proc.ReadUntil("usiok", &lines, 30000)) return false;
  for (const auto& o : e.options) proc.Send("setoption name " + o.first + " value " + o.second);
  // Loading large weight files happens here for some engines: give it time.
  if (!proc.Send("isready") || !proc.ReadUntil("readyok", &lines, 120000)) return false;
  return proc.Send("usinewgame");
}

// The move word of "bestmove <move> ..." (or "resign", "win").
std::string BestMoveText(const std::string& line) {
  const size_t start = line.find_first_not_of(' ', 8);
  if (start == std::string::npos) return std::string();
  const size_t end = line.find(' ', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Ends the game for the side to move (engine `loser`).
void Lose(GameOutcome& g, int loser, const std::string& reason) {
  g.winner = 1 - loser;
  g.reason = reason;
}

}  // namespace

std::string RandomOpening(int plies, uint64_t seed) {
  auto pos = std::make_unique<Position>();
  GameCursor game;
  std::string err, moves;
  SetPositionFromText(*pos, "startpos", game, &err);
  std::mt19937_64 rng(seed);
  for (int i = 0; i < plies; ++i) {
    Move list[MaxMoves];
    Move* end = GenerateLegalMoves(*pos, list, game.side);
    if (end == list) break;
    const std::string text = MoveToUsi(list[rng() % (uint64_t)(end - list)]);
    PlayUsiMove(*pos, text.c_str(), game, &err);
    if (!HasLegalMove(*pos, game.side)) break;  // never hand over a finished game
    if (!moves.empty()) moves += ' ';
    moves += text;
  }
  return moves;
}

namespace {

// The moves of one game between two running engines (procs by engine index).
GameOutcome PlayMoves(UsiProcess procs[2], const EngineSpec engines[2], int blackIndex, const MatchClock& clock,
                      const std::string& openingMoves, int maxPlies) {
  GameOutcome g;
  auto pos = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  SetPositionFromText(*pos, "startpos" + (openingMoves.empty() ? std::string() : " moves " + openingMoves), game, &err);
  g.moves = openingMoves;
  // Every position of the game after the opening, with whether its side to move is in check.
  struct Seen {
    HashKey key;
    bool inCheck;
  };
  std::vector<Seen> history;
  std::map<HashKey, int> counts;
  auto keyOf = [&] { return pos->keyFull ^ (game.side == White ? 0x9E3779B97F4A7C15ull : 0); };
  history.push_back({keyOf(), InCheck(*pos, game.side)});
  counts[keyOf()] = 1;
  int64_t left[2] = {clock.mainMs, clock.mainMs};  // by colour
  std::string timeKeys;
  if (clock.byoyomiMs > 0 || clock.incrementMs == 0) timeKeys += " byoyomi " + std::to_string(clock.byoyomiMs);
  if (clock.incrementMs > 0)
    timeKeys += " binc " + std::to_string(clock.incrementMs) + " winc " + std::to_string(clock.incrementMs);
  for (int ply = game.moveCount; ply < maxPlies; ++ply) {
    const int colour = game.side == Black ? 0 : 1;
    const int mover = colour == 0 ? blackIndex : 1 - blackIndex;
    UsiProcess& p = procs[mover];
    p.Send("position startpos" + (g.moves.empty() ? std::string() : " moves " + g.moves));
    p.Send("go btime " + std::to_string(left[0]) + " wtime " + std::to_string(left[1]) + timeKeys);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> lines;
    const int64_t wait = left[colour] + clock.byoyomiMs + clock.incrementMs + clock.toleranceMs + 10000;
    if (!p.ReadUntil("bestmove", &lines, (int)wait)) {
      g.crash = true;
      Lose(g, mover, engines[mover].name + " gave no bestmove");
      return g;
    }
    const int64_t used =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    g.think[mover].Add(used, left[colour] - used);
    // The GUI's clock: main time first, then the byoyomi of this move; the increment is
    // added once the move is made.
    if (used > left[colour] + clock.byoyomiMs + clock.toleranceMs) {
      g.timeLoss = true;
      Lose(g, mover, "time (" + engines[mover].name + ")");
      return g;
    }
    left[colour] = (used >= left[colour] ? 0 : left[colour] - used) + clock.incrementMs;
    const std::string best = BestMoveText(lines.back());
    if (best == "resign") {
      Lose(g, mover, "resign");
      return g;
    }
    if (best == "win") {
      if (CanDeclareWin(game.side, *pos)) {
        Lose(g, 1 - mover, "declaration");
      } else {
        g.illegal = true;
        Lose(g, mover, "false declaration by " + engines[mover].name);
      }
      return g;
    }
    Move mv = 0;
    if (ParseUsiMove(*pos, best.c_str(), game.side, &mv, &err) == 0 || !IsLegalMove(*pos, mv, game.side)) {
      g.illegal = true;
      Lose(g, mover, "illegal move " + best + " by " + engines[mover].name);
      return g;
    }
    PlayUsiMove(*pos, best.c_str(), game, &err);
    g.moves += (g.moves.empty() ? "" : " ") + best;
    g.plies = ply + 1;
    if (!HasLegalMove(*pos, game.side)) {
      Lose(g, 1 - mover, "mate");
      return g;
    }
    // The fourth occurrence of a position: a draw, unless one side checked with every
    // move since the first occurrence (perpetual check), which loses.
    const HashKey k = keyOf();
    history.push_back({k, InCheck(*pos, game.side)});
    if (++counts[k] >= 4) {
      size_t first = 0;
      for (size_t i = 0; i + 1 < history.size(); ++i)
        if (history[i].key == k) {
          first = i;
          break;
        }
      // Positions since then where each side was to move, and whether each was in check.
      bool checked[2] = {true, true};  // by colour to move
      int sideAt = game.side;
      for (size_t i = history.size() - 1; i > first; --i) {
        checked[sideAt == Black ? 0 : 1] &= history[i].inCheck;
        sideAt = -sideAt;
      }
      const int checker = checked[0] ? 1 : checked[1] ? 0 : -1;  // colour giving every check
      if (checker >= 0) {
        const int loser = checker == 0 ? blackIndex : 1 - blackIndex;
        Lose(g, loser, "perpetual check by " + engines[loser].name);
      } else {
        g.winner = -1;
        g.reason = "repetition";
      }
      return g;
    }
  }
  g.winner = -1;
  g.reason = "length";
  return g;
}

}  // namespace

GameOutcome PlayMatchGame(const EngineSpec engines[2], int blackIndex, const MatchClock& clock,
                          const std::string& openingMoves, int maxPlies) {
  UsiProcess procs[2];  // by engine index
  for (int i = 0; i < 2; ++i) {
    if (!StartEngine(procs[i], engines[i])) {
      GameOutcome g;
      g.crash = true;
      Lose(g, i, engines[i].name + " did not start");
      return g;
    }
  }
  GameOutcome g = PlayMoves(procs, engines, blackIndex, clock, openingMoves, maxPlies);
  for (int i = 0; i < 2; ++i) {
    procs[i].Send(g.winner < 0 ? "gameover draw" : g.winner == i ? "gameover win" : "gameover lose");
    procs[i].Send("quit");
    procs[i].WaitExit(3000);
  }
  return g;
}

}  // namespace kestrel
