// Swap-list exchange evaluation with x-ray attackers.
#include "movegen/see.h"

#include "board/material.h"
#include "movegen/attacks.h"

namespace kestrel {

namespace {

// Piece kinds from the least to the most valuable attacker (king last).
constexpr int AttackerOrder[14] = {BPawn,      BTokin,     BLance,  BKnight,    BProLance,
                                   BProKnight, BSilver,    BProSilver, BGold,  BBishop,
                                   BRook,      BHorse,     BDragon, BKing};

// Longest possible exchange: every piece on the board, plus the first move.
constexpr int MaxGains = 48;

}  // namespace

Bitboard AddXrayAttackers(const Position& p, int d, Square s, Bitboard attackers) {
  const int ri = RayIndex(d);
  if (ri < 0) return attackers;
  const Bitboard& beyond = Rays[ri][s];
  Bitboard slide, sliders;
  switch (d) {
    case 10: case -10:
      slide = DiagonalAttacks(p, s);
      sliders = p.pieceBB[0][SlotBishop] | p.pieceBB[0][SlotHorse] | p.pieceBB[1][SlotBishop] |
                p.pieceBB[1][SlotHorse];
      break;
    case 8: case -8:
      slide = AntiDiagonalAttacks(p, s);
      sliders = p.pieceBB[0][SlotBishop] | p.pieceBB[0][SlotHorse] | p.pieceBB[1][SlotBishop] |
                p.pieceBB[1][SlotHorse];
      break;
    case 1: case -1:
      slide = RankAttacks(p, s);
      sliders = p.pieceBB[0][SlotRook] | p.pieceBB[0][SlotDragon] | p.pieceBB[1][SlotRook] |
                p.pieceBB[1][SlotDragon];
      break;
    default:  // +-9: the file, with the lance that moves toward the exchange square
      slide = FileAttacks(p, s);
      sliders = p.pieceBB[0][SlotRook] | p.pieceBB[0][SlotDragon] | p.pieceBB[1][SlotRook] |
                p.pieceBB[1][SlotDragon] | (d == -9 ? p.pieceBB[1][SlotLance] : p.pieceBB[0][SlotLance]);
      break;
  }
  return attackers | (slide & beyond & sliders);
}

int StaticExchange(const Position& p, Square from, Square to, int side, int dropPiece) {
  int gain[MaxGains];
  // 1. The first capture.
  gain[0] = PieceValue[p.board[to]];
  int current = from == NoSquare ? PieceValue[dropPiece] : PieceValue[p.board[from]];
  int n = 1;
  int toMove = -side;
  // 2. Attackers of both sides, the mover taken out and the slider behind it added. The
  //    other side's come first: with none of them the first capture stands, and the
  //    mover's own side need not be looked at.
  Bitboard attackers = AttackersOfSide(p, to, -side);
  if (from != NoSquare && Direction[to][from] != 0)
    attackers = AddXrayAttackers(p, Direction[to][from], from, attackers);
  if (IsEmpty(attackers & p.occupied[SideIndex(-side)])) return gain[0];
  attackers |= AttackersOfSide(p, to, side);
  if (from != NoSquare) attackers &= SquareClearMask[from];
  // 3. Recaptures by the least valuable attacker of the side to recapture.
  while (IsNonEmpty(attackers) && n < MaxGains) {
    const int c = SideIndex(toMove);
    Square a = NoSquare;
    for (int kind : AttackerOrder) {
      const Bitboard mine = attackers & PieceBitboard(p, kind | c);
      if (IsNonEmpty(mine)) {
        a = FirstSquare(mine);
        break;
      }
    }
    if (a == NoSquare) break;
    gain[n] = current - gain[n - 1];
    current = PieceValue[p.board[a]];
    attackers &= SquareClearMask[a];
    if (Direction[to][a] != 0) attackers = AddXrayAttackers(p, Direction[to][a], a, attackers);
    ++n;
    toMove = -toMove;
  }
  // 4. Each side may stop instead of recapturing at a loss.
  for (int i = n - 1; i >= 1; --i)
    if (gain[i] > -gain[i - 1]) gain[i - 1] = -gain[i];
  return gain[0];
}

int StaticExchangeOfMove(const Position& p, Move m, int side) {
  return StaticExchange(p, MoveFrom(m), MoveTo(m), side, MovePiece(m));
}

bool ExchangeBelow(const Position& p, Move m, int side, int bound) {
  // The exchange wins at most the piece taken, and loses at most the mover besides.
  const int taken = PieceValue[p.board[MoveTo(m)]];
  const int mover = MoveFrom(m) == NoSquare ? PieceValue[MovePiece(m)] : PieceValue[p.board[MoveFrom(m)]];
  if (taken < bound) return true;
  if (taken - mover >= bound) return false;
  return StaticExchangeOfMove(p, m, side) < bound;
}

}  // namespace kestrel
