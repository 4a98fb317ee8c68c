// Replies to a check: king steps to safe squares, captures of the checker,
// interpositions by board moves and by drops. Used by the move pickers when the
// side to move is in check and by the mate solver at every defender node.
#pragma once

#include "board/position.h"

namespace kestrel {

// Writes the evasions of `side`, whose king is in check, and returns the end of the
// list. Moves are safe for the mover's king; a pawn drop that mates is not filtered.
// With withUnpromoted = 0 the unpromoted rook, bishop and pawn moves that could
// promote, and unpromoted lance moves to the zone's second rank, are left out.
// Order: king moves, board moves by kind (dragon .. tokin), drops (rook .. pawn).
Move* GenerateEvasions(const Position& p, Move* list, int side, int withUnpromoted);

}  // namespace kestrel
