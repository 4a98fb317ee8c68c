// Checking moves of the side to move: direct checks by board moves and drops,
// then discovered checks. The attacker's generator of the mate solver.
#pragma once

#include "board/position.h"

namespace kestrel {

// Writes every move of `side` that checks the enemy king and returns the end of the
// list. Pseudo-legal: the mover's own king may be left attacked and a mating pawn
// drop is written like any other check; the caller makes and tests each move.
// No move is written twice. Writes nothing when the enemy king is absent.
Move* GenerateChecks(const Position& p, Move* list, int side);

}  // namespace kestrel
