// Full legality on top of the pseudo-legal generators: the mover's king may not be
// left attacked and a pawn drop may not checkmate. Used by perft, the position
// command's checks, the root move list and tests.
#pragma once

#include <cstdint>

#include "board/position.h"

namespace kestrel {

// True when the pseudo-legal move leaves the mover's king unattacked.
// inCheck tells whether the mover is in check now (a shortcut for pin tests).
bool LeavesKingSafe(Position& p, Move m, int side, bool inCheck);
// True when the move is a pawn drop that gives check and leaves no legal reply.
bool IsPawnDropMate(Position& p, Move m, int side);
// Removes the pawn drops that mate from the list [begin, end) (keeping the order of the
// rest) and returns its new end.
Move* RemovePawnDropMates(Position& p, Move* begin, Move* end, int side);
// True when the pseudo-legal move is fully legal.
bool IsLegalMove(Position& p, Move m, int side);
// Writes every legal move (all board moves with every promotion choice, then drops).
Move* GenerateLegalMoves(Position& p, Move* list, int side);
// True when the side to move has at least one legal move.
bool HasLegalMove(Position& p, int side);

// Number of leaves of the legal move tree of the given depth.
uint64_t Perft(Position& p, int depth, int side);

}  // namespace kestrel
