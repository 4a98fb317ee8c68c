// One-move mate finder. One template body serves both sides: for White the
// piece codes are odd, the step sets are exchanged and up means higher indices.
// Candidate checks are tried in a fixed order (drops, then board moves by piece
// kind); each passes a protection test, an escape test for the king and a
// capture test for the checker, all on bitboards with the mover lifted.
#include "movegen/mate1.h"

#include "board/attack_tables.h"
#include "movegen/attacks.h"

namespace kestrel {

namespace {

// What the checking piece controls beyond the squares next to it.
enum CoverageKind {
  CovNone, CovRankFile, CovFile, CovDiagonals, CovGold, CovSilver,
  CovDragon, CovRook, CovHorse, CovBishop
};

template <int Side>
struct Finder {
  static constexpr int us = Side == Black ? 0 : 1;
  static constexpr int them = 1 - us;
  static constexpr int Up = Side == Black ? -9 : 9;  // the attacker's forward step

  Position& p;
  Square k;            // enemy king
  Bitboard notOwn;     // squares without a piece of ours
  Bitboard zone;       // our promotion zone (ranks 1-3 seen from us)
  Bitboard goldCheck, silverCheck, knightCheck;

  explicit Finder(Position& pos) : p(pos), k((Square)pos.kingSquare[them]) {
    notOwn = Complement(p.occupied[us]);
    zone = Side == Black ? (RankMask[1] | RankMask[2] | RankMask[3])
                         : (RankMask[7] | RankMask[8] | RankMask[9]);
    goldCheck = GoldSteps[them][k];
    silverCheck = SilverSteps[them][k];
    knightCheck = KnightSteps[them][k];
  }

  // Rank 1..9 seen from us (rank 1 is the far edge).
  static int Rank(Square s) { return Side == Black ? RowOf[s] : 10 - RowOf[s]; }
  static bool InZone(Square s) { return Rank(s) <= 3; }
  int Code(int blackCode) const { return blackCode | us; }

  Bitboard Coverage(CoverageKind kind, Square t) const {
    const Bitboard diagonals = DiagonalMask[DiagonalOf[t]] | AntiDiagonalMask[AntiDiagonalOf[t]];
    // The whole line through t and the king when t touches the king orthogonally.
    auto lineThroughKing = [&]() {
      if (!TestSquare(OrthoKingSteps[k], t)) return EmptyBB;
      return ColumnOf[t] == ColumnOf[k] ? FileMask[ColumnOf[t]] : RankMask[RowOf[t]];
    };
    switch (kind) {
      case CovRankFile: return RankMask[RowOf[t]] | FileMask[ColumnOf[t]];
      case CovFile: return FileMask[ColumnOf[t]];
      case CovDiagonals: return diagonals;
      case CovGold: return GoldSteps[us][t];
      case CovSilver: return SilverSteps[us][t];
      case CovDragon: return RookAttacks(p, t) | DiagKingSteps[t] | lineThroughKing();
      case CovRook: return RookAttacks(p, t) | lineThroughKing();
      case CovHorse: return diagonals | KingSteps[t];
      case CovBishop: return diagonals;
      default: return EmptyBB;
    }
  }

  // The full mate test of one candidate: piece `pc` from f (NoSquare for a drop)
  // to t. Every edit is undone before returning.
  bool Mates(Square f, Square t, int pc, CoverageKind cov, bool needProtection) {
    if (f != NoSquare) {
      PieceBitboard(p, pc) ^= SquareMask[f];
      ToggleOccupancy(p, f);
    }
    bool mate = false;
    // 1. Protection: otherwise the king takes the checker.
    if (!needProtection || IsSquareAttacked(p, t, Side)) {
      // 2. The king must have no square left.
      const Bitboard coverage = Coverage(cov, t);
      if (!KingCanEscape(p, Side, t, coverage)) {
        // 3. A double check cannot be answered by a capture.
        const bool doubleCheck = f != NoSquare && MoveUncoversKing(p, -Side, f, t);
        if (doubleCheck || !CheckerCanBeCaptured(p, Side, t)) {
          // 4. Our own king must stay covered.
          mate = f == NoSquare || !MoveUncoversKing(p, Side, f, t);
        }
      }
    }
    if (f != NoSquare) {
      PieceBitboard(p, pc) ^= SquareMask[f];
      ToggleOccupancy(p, f);
    }
    return mate;
  }

  // Tries each destination of `dests`; returns the first mating move or 0.
  Move TryDrops(Bitboard dests, int pc, CoverageKind cov, bool needProtection) {
    for (Square t : Squares(dests))
      if (Mates(NoSquare, t, pc, cov, needProtection)) return EncodeMove(FlagNone, Empty, pc, t, NoSquare);
    return 0;
  }
  Move TryMoves(Square f, Bitboard dests, int pc, int flag, CoverageKind cov, bool needProtection) {
    for (Square t : Squares(dests))
      if (Mates(f, t, pc, cov, needProtection)) return EncodeMove(flag, p.board[t], pc, t, f);
    return 0;
  }

  Move Drops() {
    const Bitboard empty = Complement(p.occupiedAll);
    const bool rook = HandCount(p, Code(BRook)) > 0;
    const bool bishop = HandCount(p, Code(BBishop)) > 0;
    const bool gold = HandCount(p, Code(BGold)) > 0;
    Move m;
    // 1. Rook next to the king, or a lance right in front of it.
    if (rook) {
      if ((m = TryDrops(OrthoKingSteps[k] & empty, Code(BRook), CovRankFile, true))) return m;
    } else if (HandCount(p, Code(BLance)) > 0 && Rank(k) != 9) {
      const Square t = k - Up;
      if (TestSquare(empty, t) && (m = TryDrops(SquareMask[t], Code(BLance), CovFile, true))) return m;
    }
    // 2. Bishop diagonally next to the king.
    if (bishop && (m = TryDrops(DiagKingSteps[k] & empty, Code(BBishop), CovDiagonals, true))) return m;
    // 3. Gold; the square in front is left to the rook.
    if (gold) {
      Bitboard t = goldCheck & empty;
      if (rook) t &= Complement(GoldSteps[us][k] & SilverSteps[us][k]);
      if ((m = TryDrops(t, Code(BGold), CovGold, true))) return m;
    }
    // 4. Silver, only where neither a gold nor a bishop would do better.
    if (HandCount(p, Code(BSilver)) > 0) {
      Bitboard t = EmptyBB;
      if (gold) {
        if (!bishop) t = silverCheck & Complement(goldCheck);
      } else {
        t = bishop ? (silverCheck & goldCheck) : silverCheck;
      }
      if ((m = TryDrops(t & empty, Code(BSilver), CovSilver, true))) return m;
    }
    // 5. Knight: it cannot be taken by the king, so no protection is needed.
    if (HandCount(p, Code(BKnight)) > 0 &&
        (m = TryDrops(knightCheck & empty, Code(BKnight), CovNone, false)))
      return m;
    return 0;
  }

  Move BoardMoves() {
    const Bitboard* pb = p.pieceBB[us];
    const Bitboard out = Complement(zone);
    const ApproachArea& area = Approach[us][k];
    Move m;
    // 6. Dragons.
    for (Square f : Squares(pb[SlotDragon]))
      if ((m = TryMoves(f, KingSteps[k] & DragonAttacks(p, f) & notOwn, Code(BDragon), FlagNone,
                        CovDragon, true)))
        return m;
    // 7. Rooks: promoting whenever the move touches the zone.
    for (Square f : Squares(pb[SlotRook])) {
      const Bitboard reach = RookAttacks(p, f) & notOwn;
      if (InZone(f)) {
        if ((m = TryMoves(f, KingSteps[k] & reach, Code(BRook), FlagPromote, CovDragon, true))) return m;
      } else {
        if ((m = TryMoves(f, KingSteps[k] & zone & reach, Code(BRook), FlagPromote, CovDragon, true)))
          return m;
        if ((m = TryMoves(f, OrthoKingSteps[k] & out & reach, Code(BRook), FlagNone, CovRook, true)))
          return m;
      }
    }
    // 8. Horses.
    for (Square f : Squares(pb[SlotHorse]))
      if ((m = TryMoves(f, KingSteps[k] & HorseAttacks(p, f) & notOwn, Code(BHorse), FlagNone,
                        CovHorse, true)))
        return m;
    // 9. Bishops.
    for (Square f : Squares(pb[SlotBishop])) {
      const Bitboard reach = BishopAttacks(p, f) & notOwn;
      if (InZone(f)) {
        if ((m = TryMoves(f, KingSteps[k] & reach, Code(BBishop), FlagPromote, CovHorse, true))) return m;
      } else {
        if ((m = TryMoves(f, KingSteps[k] & zone & reach, Code(BBishop), FlagPromote, CovHorse, true)))
          return m;
        if ((m = TryMoves(f, DiagKingSteps[k] & out & reach, Code(BBishop), FlagNone, CovBishop, true)))
          return m;
      }
    }
    // 10. Gold and the pieces that move like it.
    static constexpr int GoldMovers[5] = {BGold, BProSilver, BProKnight, BProLance, BTokin};
    for (int kind : GoldMovers)
      for (Square f : Squares(PieceBitboard(p, Code(kind)) & area.gold))
        if ((m = TryMoves(f, goldCheck & GoldSteps[us][f] & notOwn, Code(kind), FlagNone, CovGold, true)))
          return m;
    // 11. Silvers: promoting inside the zone, unpromoted where a silver checks better.
    for (Square f : Squares(pb[SlotSilver] & area.silver)) {
      const Bitboard steps = SilverSteps[us][f] & notOwn;
      const Bitboard onlySilver = silverCheck & Complement(goldCheck);
      Bitboard promo = EmptyBB, plain = EmptyBB;
      if (InZone(f)) {
        promo = goldCheck & steps;
        plain = onlySilver & steps;
      } else if (Rank(f) == 4) {
        const Bitboard rank3 = Side == Black ? RankMask[3] : RankMask[7];
        promo = goldCheck & rank3 & steps;
        plain = (onlySilver & rank3 & steps) | (silverCheck & out & steps);
      } else {
        plain = silverCheck & steps;
      }
      if ((m = TryMoves(f, promo, Code(BSilver), FlagPromote, CovGold, true))) return m;
      for (Square t : Squares(plain)) {
        const int flag = (InZone(f) || InZone(t)) ? FlagNoPromote : FlagNone;
        if ((m = TryMoves(f, SquareMask[t], Code(BSilver), flag, CovSilver, true))) return m;
      }
    }
    // 12. Knights: promoting next to the king, else the plain knight check.
    for (Square f : Squares(pb[SlotKnight] & area.knight)) {
      const Bitboard steps = KnightSteps[us][f] & notOwn;
      const Bitboard promo = goldCheck & zone & steps;
      if (IsNonEmpty(promo)) {
        if ((m = TryMoves(f, promo, Code(BKnight), FlagPromote, CovGold, true))) return m;
      } else {
        for (Square t : Squares(knightCheck & steps)) {
          const int flag = InZone(t) ? FlagNoPromote : FlagNone;
          if ((m = TryMoves(f, SquareMask[t], Code(BKnight), flag, CovNone, false))) return m;
        }
      }
    }
    // 13. Lances: straight in front of the king, or promoting next to it.
    for (Square f : Squares(pb[SlotLance] & area.lance)) {
      const Bitboard reach =
          (Side == Black ? UpwardLanceAttacks(p, f) : DownwardLanceAttacks(p, f)) & notOwn;
      if (Rank(k) != 9) {
        const Square t = k - Up;
        if (Rank(t) >= 3 && TestSquare(reach, t) &&
            (m = TryMoves(f, SquareMask[t], Code(BLance), Rank(t) == 3 ? FlagNoPromote : FlagNone,
                          CovFile, true)))
          return m;
      }
      if ((m = TryMoves(f, goldCheck & zone & reach, Code(BLance), FlagPromote, CovGold, true))) return m;
    }
    // 14. Pawns promoting onto a square next to the king.
    for (Square t : Squares(goldCheck & zone & notOwn)) {
      const Square f = t - Up;
      if (f >= 0 && f < SquareCount && p.board[f] == Code(BPawn) &&
          (m = TryMoves(f, SquareMask[t], Code(BPawn), FlagPromote, CovGold, true)))
        return m;
    }
    // 15. A plain pawn push in front of the king.
    if (k >= 18 && k <= 62) {
      const Square t = k - Up, f = k - 2 * Up;
      if (p.board[f] == Code(BPawn) && TestSquare(notOwn, t) &&
          (m = TryMoves(f, SquareMask[t], Code(BPawn), FlagNone, CovNone, true)))
        return m;
    }
    return 0;
  }
};

template <int Side>
bool KingCanEscapeFor(Position& p, Square t, const Bitboard& coverage) {
  constexpr int them = Side == Black ? 1 : 0;
  const Square k = (Square)p.kingSquare[them];
  // a-b. The checker stands on t; the king is lifted so that lines run through it.
  const bool place = !TestSquare(p.occupiedAll, t);
  if (place) ToggleOccupancy(p, t);
  ToggleOccupancy(p, k);
  // c-d. Any neighbour not held by the defender, not t and not covered that we do not attack.
  Bitboard candidates = KingSteps[k] & Complement(p.occupied[them]) & Complement(coverage);
  ClearSquare(candidates, t);
  bool escapes = false;
  for (Square s : Squares(candidates))
    if (!IsSquareAttacked(p, s, Side)) {
      escapes = true;
      break;
    }
  // e. Restore.
  ToggleOccupancy(p, k);
  if (place) ToggleOccupancy(p, t);
  return escapes;
}

template <int Side>
bool CheckerCanBeCapturedFor(const Position& p, Square t) {
  constexpr int us = Side == Black ? 0 : 1, them = 1 - us;
  constexpr int Up = Side == Black ? -9 : 9;
  const Square k = (Square)p.kingSquare[them];
  const int kt = Direction[k][t];
  // A defender on a may take unless it is pinned off the line it would leave.
  auto free = [&](Square a) {
    const int d = Direction[k][a];
    return d == 0 || d == kt || !SliderPinsAlong(p, -Side, d, a);
  };
  // a. The pawn right in front of t.
  const Square above = t + Up;
  if (above >= 0 && above < SquareCount && p.board[above] == (BPawn | them) && free(above)) return true;
  // b-c. Every other defender but the king.
  const Bitboard* pb = p.pieceBB[them];
  const Bitboard goldMovers =
      pb[SlotGold] | pb[SlotProSilver] | pb[SlotProKnight] | pb[SlotProLance] | pb[SlotTokin];
  Bitboard attackers =
      (pb[SlotSilver] & SilverSteps[us][t]) | (pb[SlotKnight] & KnightSteps[us][t]) |
      (goldMovers & GoldSteps[us][t]) | ((pb[SlotHorse] | pb[SlotDragon]) & KingSteps[t]) |
      (pb[SlotLance] & (Side == Black ? UpwardLanceAttacks(p, t) : DownwardLanceAttacks(p, t))) |
      ((pb[SlotBishop] | pb[SlotHorse]) & BishopAttacks(p, t)) |
      ((pb[SlotRook] | pb[SlotDragon]) & RookAttacks(p, t));
  for (Square a : Squares(attackers))
    if (free(a)) return true;
  return false;
}

}  // namespace

bool KingCanEscape(Position& p, int side, Square t, const Bitboard& coverage) {
  return side == Black ? KingCanEscapeFor<Black>(p, t, coverage) : KingCanEscapeFor<White>(p, t, coverage);
}

bool CheckerCanBeCaptured(const Position& p, int side, Square t) {
  return side == Black ? CheckerCanBeCapturedFor<Black>(p, t) : CheckerCanBeCapturedFor<White>(p, t);
}

Move FindMateInOne(Position& p, int side) {
  const int them = side == Black ? 1 : 0;
  if (p.kingSquare[them] == NoSquare) return 0;
  if (side == Black) {
    Finder<Black> f(p);
    if (Move m = f.Drops()) return m;
    return f.BoardMoves();
  }
  Finder<White> f(p);
  if (Move m = f.Drops()) return m;
  return f.BoardMoves();
}

}  // namespace kestrel
