// Playing and taking back one move with incremental bitboards, hands, keys and material.
#pragma once

#include "board/position.h"

namespace kestrel {

// Plays a move; trusts it completely.
void MakeMove(Position& p, Move m);
// Takes a move back; the caller restores keyFull and keyBoard it saved before MakeMove.
void UnmakeMove(Position& p, Move m);
// Applies only the key and hand changes of a move (the caller saves and restores
// both keys and both hand words).
void AdvanceKeys(Position& p, Move m);

}  // namespace kestrel
