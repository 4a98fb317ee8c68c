// Static exchange evaluation: the material outcome of the captures and
// recaptures on one square, each side using its least valuable attacker and
// stopping when going on would lose. Works on bitboards only.
#pragma once

#include "board/position.h"

namespace kestrel {

// Outcome, for `side`, of moving the piece on `from` to `to` and letting the
// exchange run. `from` may be NoSquare (a drop); the dropped piece is then
// `dropPiece`.
int StaticExchange(const Position& p, Square from, Square to, int side, int dropPiece = Empty);
// The same for a move word (board moves and drops alike).
int StaticExchangeOfMove(const Position& p, Move m, int side);
// StaticExchangeOfMove(p, m, side) < bound, answered without the exchange when the
// piece taken and the mover's value already decide it (the pruning tests ask this
// of most moves).
bool ExchangeBelow(const Position& p, Move m, int side, int bound);
// Adds to `attackers` the sliders of both sides that reach the exchange square
// through s once the piece on s has left; d is the direction from that square to s.
Bitboard AddXrayAttackers(const Position& p, int d, Square s, Bitboard attackers);

}  // namespace kestrel
