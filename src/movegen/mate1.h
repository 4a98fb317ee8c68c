// One-move mate detection: looks for a contact check or a knight check that
// mates at once. Sound (a returned move always mates) but not complete: distant
// slider checks and pawn drops are never tried.
#pragma once

#include "board/position.h"

namespace kestrel {

// A legal move of `side` (to move, not in check) that mates the opponent at
// once, or 0 when none is found. The position is edited while working and is
// bit-for-bit unchanged on return.
Move FindMateInOne(Position& p, int side);

// Mate-test helpers, exposed for tests. The attacker is `side`; the enemy king
// stands on its square in `p`. Each expects the edits FindMateInOne makes
// around it (the moving piece lifted from its origin).

// True when the enemy king has a square to go to after a check from t whose
// checker controls `coverage` beyond the king's square.
bool KingCanEscape(Position& p, int side, Square t, const Bitboard& coverage);
// True when a defender other than the king can legally take the piece on t.
bool CheckerCanBeCaptured(const Position& p, int side, Square t);

}  // namespace kestrel
