// Attack and check tests over the tables; stepping pieces first, sliders last.
#include "movegen/attacks.h"

namespace kestrel {

Bitboard PieceAttacks(const Position& p, int code, Square s) {
  const int si = code & 1;
  switch (code) {
    case BPawn: case WPawn: return PawnStep[si][s];
    case BLance: return UpwardLanceAttacks(p, s);
    case WLance: return DownwardLanceAttacks(p, s);
    case BKnight: case WKnight: return KnightSteps[si][s];
    case BSilver: case WSilver: return SilverSteps[si][s];
    case BGold: case WGold: case BTokin: case WTokin: case BProLance: case WProLance:
    case BProKnight: case WProKnight: case BProSilver: case WProSilver:
      return GoldSteps[si][s];
    case BBishop: case WBishop: return BishopAttacks(p, s);
    case BRook: case WRook: return RookAttacks(p, s);
    case BKing: case WKing: return KingSteps[s];
    case BHorse: case WHorse: return HorseAttacks(p, s);
    case BDragon: case WDragon: return DragonAttacks(p, s);
    default: return EmptyBB;
  }
}

bool IsSquareAttacked(const Position& p, Square s, int side) {
  const int a = SideIndex(side);  // attacker
  const int o = a ^ 1;            // the other side: its steps from s reach the attackers
  const Bitboard* pb = p.pieceBB[a];
  if (IsNonEmpty(pb[SlotPawn] & PawnStep[o][s])) return true;
  const Bitboard& gold = GoldSteps[o][s];
  if (IsNonEmpty(pb[SlotTokin] & gold)) return true;
  if (IsNonEmpty(pb[SlotKnight] & KnightSteps[o][s])) return true;
  if (IsNonEmpty(pb[SlotProKnight] & gold)) return true;
  if (IsNonEmpty(pb[SlotSilver] & SilverSteps[o][s])) return true;
  if (IsNonEmpty(pb[SlotProSilver] & gold)) return true;
  if (IsNonEmpty(pb[SlotGold] & gold)) return true;
  if (IsNonEmpty(pb[SlotProLance] & gold)) return true;
  if (IsNonEmpty(p.kingBB[a] & KingSteps[s])) return true;
  if (IsNonEmpty(pb[SlotLance])) {
    Bitboard from = a == 0 ? DownwardLanceAttacks(p, s) : UpwardLanceAttacks(p, s);
    if (IsNonEmpty(pb[SlotLance] & from)) return true;
  }
  Bitboard diagSliders = pb[SlotHorse] | pb[SlotBishop];
  if (IsNonEmpty(pb[SlotHorse] & OrthoKingSteps[s])) return true;
  if (IsNonEmpty(diagSliders) && IsNonEmpty(diagSliders & BishopAttacks(p, s))) return true;
  Bitboard orthoSliders = pb[SlotDragon] | pb[SlotRook];
  if (IsNonEmpty(pb[SlotDragon] & DiagKingSteps[s])) return true;
  if (IsNonEmpty(orthoSliders) && IsNonEmpty(orthoSliders & RookAttacks(p, s))) return true;
  return false;
}

Bitboard AttackersOfSide(const Position& p, Square s, int side) {
  const int a = SideIndex(side), o = a ^ 1;
  const Bitboard* pb = p.pieceBB[a];
  const Bitboard& gold = GoldSteps[o][s];
  Bitboard r = (pb[SlotPawn] & PawnStep[o][s]) | (pb[SlotKnight] & KnightSteps[o][s]) |
               (pb[SlotSilver] & SilverSteps[o][s]) |
               ((pb[SlotTokin] | pb[SlotProKnight] | pb[SlotProSilver] | pb[SlotGold] |
                 pb[SlotProLance]) & gold) |
               (p.kingBB[a] & KingSteps[s]) |
               (pb[SlotLance] & (a == 0 ? DownwardLanceAttacks(p, s) : UpwardLanceAttacks(p, s))) |
               (pb[SlotHorse] & OrthoKingSteps[s]) | (pb[SlotDragon] & DiagKingSteps[s]) |
               ((pb[SlotHorse] | pb[SlotBishop]) & BishopAttacks(p, s)) |
               ((pb[SlotDragon] | pb[SlotRook]) & RookAttacks(p, s));
  return r;
}

Bitboard AttackersOf(const Position& p, Square s) {
  return AttackersOfSide(p, s, Black) | AttackersOfSide(p, s, White);
}

Bitboard SquaresBetween(Square a, Square b, int d) {
  int ri = RayIndex(d);
  if (ri < 0) return EmptyBB;
  Square prev = a - d;
  if (prev < 0 || prev >= SquareCount || Direction[b][a] != d) return EmptyBB;
  if (prev == b) return EmptyBB;
  return Rays[ri][b] ^ Rays[ri][prev];
}

bool SliderPinsAlong(const Position& p, int kingSide, int d, Square s) {
  const int ks = SideIndex(kingSide), e = ks ^ 1;
  const Square king = (Square)p.kingSquare[ks];
  if (king == NoSquare) return false;
  const Bitboard* eb = p.pieceBB[e];
  Bitboard slide, sliders;
  switch (d) {
    case 10: case -10:
      slide = DiagonalAttacks(p, s);
      sliders = eb[SlotBishop] | eb[SlotHorse];
      break;
    case 8: case -8:
      slide = AntiDiagonalAttacks(p, s);
      sliders = eb[SlotBishop] | eb[SlotHorse];
      break;
    case 1: case -1:
      slide = RankAttacks(p, s);
      sliders = eb[SlotRook] | eb[SlotDragon];
      break;
    case 9: case -9:
      slide = FileAttacks(p, s);
      sliders = eb[SlotRook] | eb[SlotDragon];
      // An enemy lance beyond s attacks the king along the file only from the front.
      if ((kingSide == Black && d == -9) || (kingSide != Black && d == 9)) sliders |= eb[SlotLance];
      break;
    default:
      return false;
  }
  if (!TestSquare(slide, king)) return false;
  return IsNonEmpty(slide & sliders);
}

bool MoveUncoversKing(const Position& p, int kingSide, Square from, Square to) {
  const Square king = (Square)p.kingSquare[SideIndex(kingSide)];
  if (king == NoSquare) return false;
  const int d1 = Direction[king][from];
  if (d1 == 0) return false;
  if (to != NoSquare && Direction[king][to] == d1) return false;
  return SliderPinsAlong(p, kingSide, d1, from);
}

bool IsPinned(const Position& p, Square s, int side) {
  const Square king = (Square)p.kingSquare[SideIndex(side)];
  if (king == NoSquare) return false;
  const int d = Direction[king][s];
  if (d == 0) return false;
  return SliderPinsAlong(p, side, d, s);
}

// The moved or dropped piece attacks the king from its new square, or leaving its
// square uncovers a slider. Its lines are read with its old square still occupied: that
// square can block one only when the move runs along a line that ends at the king, and a
// slide along it would have attacked the king already, where the other side is to move.
bool MoveGivesCheck(const Position& p, Move m, int side) {
  const Square king = (Square)p.kingSquare[SideIndex(-side)];
  if (king == NoSquare) return false;
  const Square from = MoveFrom(m), to = MoveTo(m);
  const int code = MovePromotes(m) ? (MovePiece(m) | 16) : MovePiece(m);
  if (TestSquare(PieceAttacks(p, code, to), king)) return true;
  return from != NoSquare && MoveUncoversKing(p, -side, from, to);
}

}  // namespace kestrel
