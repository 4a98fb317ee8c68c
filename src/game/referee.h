// The referee of a game between two players: mate, the fourth repetition (a draw, or a
// loss for the side that checked throughout), a winning declaration and the ply cap,
// judged the same way for self-play and for matches between engines.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "board/position.h"

namespace kestrel {

enum class GameEnd : int {
  None = 0,        // the game goes on
  Mate,            // the side to move has no legal move and loses
  Repetition,      // the fourth occurrence of a position: a draw
  PerpetualCheck,  // the fourth occurrence, one side checking throughout: it loses
  Declaration,     // the side to move declares a win
  Resignation,     // a player gives up
  PlyCap,          // the game reached its length limit: a draw
};

struct Verdict {
  GameEnd end = GameEnd::None;
  int winner = 0;  // +1 Black, -1 White, 0 a draw (or the game goes on)
};

// The positions of a game since the referee was started, with whether the side to move
// was in check in each; keys include the side to move.
struct Referee {
  struct Seen {
    HashKey key;
    bool inCheck;
  };
  std::vector<Seen> history;
  std::unordered_map<HashKey, int> counts;
  int plyCap = 0;  // 0: none
  int plies = 0;   // moves played since the start
};

// Starts judging from position p with `side` to move (the position counts once, and the
// ply cap counts moves from here); a mate if the side has no legal move.
Verdict StartReferee(Referee& r, Position& p, int side, int plyCap);
// Judges the position reached by a move, `side` now to move: records it, then mate, the
// fourth repetition and the ply cap in that order.
Verdict JudgeAfterMove(Referee& r, Position& p, int side);
// A declaration by `side` in p: a win when the declaration rules allow it, else a loss.
Verdict JudgeDeclaration(const Position& p, int side);

}  // namespace kestrel
