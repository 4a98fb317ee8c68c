// Random openings.
#include "game/opening.h"

#include <memory>

#include "board/makemove.h"
#include "board/move_text.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"

namespace kestrel {

bool PlayRandomMoves(Position& p, GameCursor& game, int plies, std::mt19937_64& rng, bool keepGoing,
                     std::vector<Move>* played) {
  Move list[MaxMoves];
  for (int i = 0; i < plies; ++i) {
    Move* end = GenerateLegalMoves(p, list, game.side);
    if (end == list) return keepGoing;
    const Move m = list[rng() % (uint64_t)(end - list)];
    if (keepGoing) {
      const MoveUndo undo = PlayMove(p, m);
      const bool goesOn = HasLegalMove(p, -game.side);
      TakeBackMove(p, m, undo);
      if (!goesOn) return true;
    }
    PlayGameMove(p, game, m);
    if (played) played->push_back(m);
  }
  return true;
}

std::string RandomOpening(int plies, uint64_t seed) {
  auto pos = std::make_unique<Position>();
  SetStartPosition(*pos);
  GameCursor game;
  std::mt19937_64 rng(seed);
  std::vector<Move> played;
  PlayRandomMoves(*pos, game, plies, rng, true, &played);
  std::string text;
  for (const Move m : played) text += (text.empty() ? "" : " ") + MoveToUsi(m);
  return text;
}

}  // namespace kestrel
