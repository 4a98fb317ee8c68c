// Attack lookups through the current occupancy, attack and check tests, pins.
#pragma once

#include "board/attack_tables.h"
#include "board/position.h"

namespace kestrel {

// 7-bit inner occupancy of the rank through s.
inline int RankIndex(const Position& p, Square s) {
  return (int)(((p.occupiedAll.w[WordOf[s]] >> LineShift[s]) & 0xFE) >> 1);
}
inline int FileIndex(const Position& p, Square s) {
  int i = Rot90Index[s];
  return (int)(((p.occupiedRot90.w[WordOf[i]] >> LineShift[i]) & 0xFE) >> 1);
}
inline int DiagIndex(const Position& p, Square s) {
  int i = DiagIndexA[s];
  return (int)((((p.occupiedDiagA.w[WordOf[i]] >> DiagLineShift[i]) & 0xFE) >> 1) &
               (LineLengthMask[i] >> 1));
}
inline int AntiDiagIndex(const Position& p, Square s) {
  int i = DiagIndexB[s];
  return (int)((((p.occupiedDiagB.w[WordOf[i]] >> DiagLineShift[i]) & 0xFE) >> 1) &
               (LineLengthMask[i] >> 1));
}

inline Bitboard RankAttacks(const Position& p, Square s) { return RankSlide[s][RankIndex(p, s)]; }
inline Bitboard FileAttacks(const Position& p, Square s) { return FileSlide[s][FileIndex(p, s)]; }
inline Bitboard DiagonalAttacks(const Position& p, Square s) { return DiagSlide[s][DiagIndex(p, s)]; }
inline Bitboard AntiDiagonalAttacks(const Position& p, Square s) {
  return AntiDiagSlide[s][AntiDiagIndex(p, s)];
}
inline Bitboard RookAttacks(const Position& p, Square s) { return RankAttacks(p, s) | FileAttacks(p, s); }
inline Bitboard BishopAttacks(const Position& p, Square s) {
  return DiagonalAttacks(p, s) | AntiDiagonalAttacks(p, s);
}
// A Black lance's moves from s (and the squares from which a White lance attacks s).
inline Bitboard UpwardLanceAttacks(const Position& p, Square s) { return UpLanceSlide[s][FileIndex(p, s)]; }
// A White lance's moves from s (and the squares from which a Black lance attacks s).
inline Bitboard DownwardLanceAttacks(const Position& p, Square s) {
  return DownLanceSlide[s][FileIndex(p, s)];
}
inline Bitboard DragonAttacks(const Position& p, Square s) { return RookAttacks(p, s) | DiagKingSteps[s]; }
inline Bitboard HorseAttacks(const Position& p, Square s) { return BishopAttacks(p, s) | OrthoKingSteps[s]; }

// The squares a piece of the given code on s attacks through the current occupancy.
Bitboard PieceAttacks(const Position& p, int code, Square s);

// True when a piece of `side` attacks s; pinned pieces and the king count.
bool IsSquareAttacked(const Position& p, Square s, int side);
// All pieces of both sides that attack s.
Bitboard AttackersOf(const Position& p, Square s);
// Pieces of one side that attack s.
Bitboard AttackersOfSide(const Position& p, Square s, int side);

// True when the king of `side` is attacked (false when that king is absent).
inline bool InCheck(const Position& p, int side) {
  Square k = (Square)p.kingSquare[SideIndex(side)];
  return k != NoSquare && IsSquareAttacked(p, k, -side);
}

// InCheck for `side` right after it made m, in a position `after`, where `wasInCheck`
// says whether its king was attacked before. A king not in check can only be left
// attacked by its own move or by a move from a square on one of its lines (which
// uncovers a slider), so a drop or any other move skips the attack test.
inline bool LeftInCheck(const Position& after, Move m, int side, bool wasInCheck) {
  const Square k = (Square)after.kingSquare[SideIndex(side)];
  if (k == NoSquare) return false;
  if (!wasInCheck && (MoveFrom(m) == NoSquare || Direction[k][MoveFrom(m)] == 0)) return false;
  return IsSquareAttacked(after, k, -side);
}

// Squares strictly between b and a, where a lies from b along direction d.
Bitboard SquaresBetween(Square a, Square b, int d);
// True when the slide of s along d's line reaches the king of kingSide and an enemy
// slider that moves along that line.
bool SliderPinsAlong(const Position& p, int kingSide, int d, Square s);
// True when moving the piece on `from` to `to` uncovers an attack on kingSide's king.
bool MoveUncoversKing(const Position& p, int kingSide, Square from, Square to);
// True when the piece on s is pinned against the king of `side`.
bool IsPinned(const Position& p, Square s, int side);
// True when the pseudo-legal move of `side` would attack the other king, decided
// without making it (the search skips late quiet moves that do not check unmade).
bool MoveGivesCheck(const Position& p, Move m, int side);

}  // namespace kestrel
