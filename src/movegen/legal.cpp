// Legality filter and perft.
#include "movegen/legal.h"

#include "board/makemove.h"
#include "movegen/attacks.h"
#include "movegen/evasions.h"
#include "movegen/movegen.h"

namespace kestrel {

namespace {

// Makes the move, tests the mover's king, and takes the move back.
bool SafeAfterMake(Position& p, Move m, int side) {
  const MoveUndo undo = PlayMove(p, m);
  const bool safe = !InCheck(p, side);
  TakeBackMove(p, m, undo);
  return safe;
}

}  // namespace

bool LeavesKingSafe(Position& p, Move m, int side, bool inCheck) {
  if (p.kingSquare[SideIndex(side)] == NoSquare) return true;
  const int from = MoveFrom(m);
  if (inCheck || (MovePiece(m) & ~1) == BKing) return SafeAfterMake(p, m, side);
  if (from == NoSquare) return true;
  return !MoveUncoversKing(p, side, from, MoveTo(m));
}

bool IsPawnDropMate(Position& p, Move m, int side) {
  if (MoveFrom(m) != NoSquare || (MovePiece(m) & ~1) != BPawn) return false;
  const Square enemyKing = (Square)p.kingSquare[SideIndex(-side)];
  if (enemyKing == NoSquare) return false;
  const Square to = MoveTo(m);
  if (to != (side == Black ? enemyKing + 9 : enemyKing - 9)) return false;
  // A pawn's check is next to the king and cannot be blocked, so no reply is a drop: the
  // evasions are all the replies there are.
  Move replies[MaxMoves];
  const MoveUndo undo = PlayMove(p, m);
  const bool mate = GenerateEvasions(p, replies, -side, 1) == replies;
  TakeBackMove(p, m, undo);
  return mate;
}

Move* RemovePawnDropMates(Position& p, Move* begin, Move* end, int side) {
  Move* out = begin;
  for (Move* m = begin; m != end; ++m)
    if (!IsPawnDropMate(p, *m, side)) *out++ = *m;
  return out;
}

bool IsLegalMove(Position& p, Move m, int side) {
  return LeavesKingSafe(p, m, side, InCheck(p, side)) && !IsPawnDropMate(p, m, side);
}

Move* GenerateLegalMoves(Position& p, Move* list, int side) {
  Move buf[MaxMoves];
  Move* end = GenerateAllMoves(p, buf, side);
  end = GenerateDrops(end, p, side);
  const bool inCheck = InCheck(p, side);
  for (Move* m = buf; m != end; ++m)
    if (LeavesKingSafe(p, *m, side, inCheck) && !IsPawnDropMate(p, *m, side)) *list++ = *m;
  return list;
}

bool HasLegalMove(Position& p, int side) {
  Move buf[MaxMoves];
  Move* end = GenerateAllMoves(p, buf, side);
  end = GenerateDrops(end, p, side);
  const bool inCheck = InCheck(p, side);
  for (Move* m = buf; m != end; ++m)
    if (LeavesKingSafe(p, *m, side, inCheck) && !IsPawnDropMate(p, *m, side)) return true;
  return false;
}

uint64_t Perft(Position& p, int depth, int side) {
  Move buf[MaxMoves];
  Move* end = GenerateLegalMoves(p, buf, side);
  if (depth <= 1) return depth == 1 ? (uint64_t)(end - buf) : 1;
  uint64_t n = 0;
  for (Move* m = buf; m != end; ++m) {
    const MoveUndo undo = PlayMove(p, *m);
    n += Perft(p, depth - 1, -side);
    TakeBackMove(p, *m, undo);
  }
  return n;
}

}  // namespace kestrel
