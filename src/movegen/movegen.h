// Pseudo-legal move generators for the search: captures, non-captures, drops and
// all board moves with every promotion choice.
#pragma once

#include "board/position.h"

namespace kestrel {

// Generous bound on the moves of one position (the most known is 593).
constexpr int MaxMoves = 1024;

Move* GenerateCaptures(const Position& p, Move* list, int side);
Move* GenerateNonCaptures(const Position& p, Move* list, int side);
Move* GenerateAllMoves(const Position& p, Move* list, int side);
Move* GenerateDrops(Move* list, const Position& p, int side);

}  // namespace kestrel
