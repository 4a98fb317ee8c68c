// A game in progress on a Position: whose move it is, how many moves were played, the last
// one; and the one way a move is played in a game (as opposed to inside a search).
#pragma once

#include "board/position.h"

namespace kestrel {

struct GameCursor {
  int side = Black;
  int moveCount = 0;
  Move lastMove = 0;  // the last move played (0 when none)
};

// Plays the legal move m for game.side: the position's history records the new position
// (with whether the side now to move is in check), the cursor moves on.
void PlayGameMove(Position& p, GameCursor& game, Move m);

}  // namespace kestrel
