// The entering-king declaration: a side whose king stands safe in the opponent's
// camp with enough material there and in hand wins by declaring.
#pragma once

#include "board/position.h"

namespace kestrel {

// Points a side needs (Black 28, White 27) and pieces it needs in the camp.
constexpr int DeclarationPointsBlack = 28;
constexpr int DeclarationPointsWhite = 27;
constexpr int DeclarationMinPieces = 10;

// True when `side`, to move, may declare a win: its king is not attacked and stands
// in the opponent's camp (ranks a-c for Black, g-i for White), at least 10 other
// pieces of its own stand in that camp, and those pieces plus its hand score the
// points (5 for a rook, bishop, dragon or horse, 1 for any other piece).
bool CanDeclareWin(int side, const Position& pos);

}  // namespace kestrel
