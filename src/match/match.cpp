// Engine-against-engine games over USI with a GUI's clock and rules.
#include "match/match.h"

#include <chrono>
#include <map>
#include <memory>
#include <random>

#include "board/hashkeys.h"
#include "game/opening.h"
#include "game/referee.h"
#include "match/usi_process.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "game/game_text.h"

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
  // The referee counts the game's length from the start position, the opening included.
  Referee referee;
  StartReferee(referee, *pos, game.side, maxPlies - game.moveCount);
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
      if (JudgeDeclaration(*pos, game.side).winner == game.side) {
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
    PlayGameMove(*pos, game, mv);
    g.moves += (g.moves.empty() ? "" : " ") + best;
    g.plies = ply + 1;
    const Verdict v = JudgeAfterMove(referee, *pos, game.side);
    if (v.end == GameEnd::None) continue;
    const int loser = v.winner == 0 ? -1 : (v.winner == Black) == (blackIndex == 0) ? 1 : 0;
    if (v.end == GameEnd::Mate) {
      Lose(g, loser, "mate");
    } else if (v.end == GameEnd::PerpetualCheck) {
      Lose(g, loser, "perpetual check by " + engines[loser].name);
    } else {
      g.winner = -1;
      g.reason = v.end == GameEnd::Repetition ? "repetition" : "length";
    }
    return g;
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
