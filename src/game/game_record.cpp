// Playing moves in a game.
#include "game/game_record.h"

#include "board/makemove.h"
#include "movegen/attacks.h"

namespace kestrel {

void PlayGameMove(Position& p, GameCursor& game, Move m) {
  // Old history entries are dropped first, so that a long game never fills the history.
  CompactHistory(p);
  MakeMove(p, m);
  game.lastMove = m;
  game.side = -game.side;
  game.moveCount += 1;
  RecordPosition(p, InCheck(p, game.side));
}

}  // namespace kestrel
