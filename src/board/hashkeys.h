// Zobrist keys: board keys per piece and square, and Black's hand counts.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace kestrel {

using HashKey = uint64_t;

// Z[code][square] for piece codes 0..29; H[hand kind][count] for Black's hand.
extern HashKey ZobristPiece[30][SquareCount];
extern HashKey ZobristHand[HandKindCount][19];

// Draws every key table from the fixed lagged-Fibonacci generator; only the first call draws.
void InitHashKeys();
bool HashKeysReady();

struct Position;
HashKey ComputeKeyBoard(const Position& pos);
HashKey ComputeKeyFull(const Position& pos);

}  // namespace kestrel
