// Checking-move generator: one body per side, White mirroring Black. Direct checks
// come kind by kind; discovered checks follow line by line and skip any move the
// direct stage already wrote, using two per-call records indexed by origin square.
#include "movegen/checks.h"

#include <cstring>

#include "movegen/attacks.h"

namespace kestrel {

namespace {

template <int Side>
struct CheckGen {
  static constexpr int si = Side == Black ? 0 : 1;
  static constexpr int oi = si ^ 1;

  const Position& p;
  Move* list;
  Bitboard unpromoted[SquareCount];  // destinations written unpromoted, per origin
  Bitboard promoted[SquareCount];    // destinations written as promotions, per origin

  CheckGen(const Position& pos, Move* l) : p(pos), list(l) {
    std::memset(unpromoted, 0, sizeof unpromoted);
    std::memset(promoted, 0, sizeof promoted);
  }

  static bool InZone(Square s) { return Side == Black ? s < 27 : s >= 54; }
  static bool LastRank(Square s) { return Side == Black ? s < 9 : s >= 72; }
  static bool LastTwoRanks(Square s) { return Side == Black ? s < 18 : s >= 63; }
  static Bitboard ZoneMask() {
    return Side == Black ? (RankMask[1] | RankMask[2] | RankMask[3]) : (RankMask[7] | RankMask[8] | RankMask[9]);
  }

  // Writes a board move and enters it in the matching record.
  void Write(int flag, int pc, Square from, Square to) {
    *list++ = EncodeMove(flag, p.board[to], pc, to, from);
    SetSquare(flag == FlagPromote ? promoted[from] : unpromoted[from], to);
  }
  void Drops(int code, Bitboard squares) {
    while (IsNonEmpty(squares)) *list++ = EncodeMove(FlagNone, Empty, code, PopFirst(squares), NoSquare);
  }
  // A piece that checks only unpromoted: field 3 when it could promote here, else 0.
  void WriteUnpromoted(int pc, Square from, Bitboard dests) {
    for (Square to : Squares(dests)) Write(InZone(from) || InZone(to) ? FlagNoPromote : FlagNone, pc, from, to);
  }
  // A piece that checks only once promoted: written when the move may promote.
  void WritePromotedOnly(int pc, Square from, Bitboard dests) {
    for (Square to : Squares(dests))
      if (InZone(from) || InZone(to)) Write(FlagPromote, pc, from, to);
  }
  // Rook or bishop onto its own check squares: both choices in the zone.
  void WriteBoth(int pc, Square from, Bitboard dests) {
    for (Square to : Squares(dests)) {
      if (InZone(from) || InZone(to)) {
        Write(FlagPromote, pc, from, to);
        Write(FlagNoPromote, pc, from, to);
      } else {
        Write(FlagNone, pc, from, to);
      }
    }
  }
  void GoldMovers(int code, const Bitboard& goldCheck, const Bitboard& ownFree) {
    for (Square f : Squares(PieceBitboard(p, code)))
      for (Square to : Squares(GoldSteps[si][f] & goldCheck & ownFree)) Write(FlagNone, code, f, to);
  }

  // Discovered checks along one line through the king: a candidate blocker b whose
  // slide reaches both the king and an own slider of the line moves off the line.
  // Candidates are the own pieces on the line other than the line's plain sliders
  // (lances, rooks, bishops), or other than its promoted sliders when only those
  // plain sliders stand on the line.
  void Discovered(const Bitboard& line, const Bitboard& sliders, const Bitboard& plain,
                  const Bitboard& promotedSliders, int lineType, Square k, const Bitboard& ownFree) {
    if (IsEmpty(sliders & line)) return;
    const Bitboard onLine = p.occupied[si] & line;
    Bitboard candidates = onLine & Complement(plain);
    if (IsEmpty(candidates)) candidates = onLine & Complement(promotedSliders);
    for (Square b : Squares(candidates)) {
      if (lineType == 0 && (Side == Black ? b < k : b > k)) continue;
      Bitboard slide;
      switch (lineType) {
        case 0: case 1: slide = FileAttacks(p, b); break;
        case 2: slide = RankAttacks(p, b); break;
        case 3: slide = DiagonalAttacks(p, b); break;
        default: slide = AntiDiagonalAttacks(p, b); break;
      }
      if (!TestSquare(slide, k) || IsEmpty(slide & sliders)) continue;
      const int code = p.board[b];
      const Bitboard dests = PieceAttacks(p, code, b) & ownFree & Complement(line);
      for (Square to : Squares(dests)) {
        const bool haveUnpromoted = TestSquare(unpromoted[b], to);
        if (!CanPromote(code) || !(InZone(b) || InZone(to))) {
          if (!haveUnpromoted) Write(FlagNone, code, b, to);
          continue;
        }
        if (!TestSquare(promoted[b], to)) Write(FlagPromote, code, b, to);
        const int kind = code & ~1;
        const bool mustPromote = ((kind == BPawn || kind == BLance) && LastRank(to)) ||
                                 (kind == BKnight && LastTwoRanks(to));
        if (!mustPromote && !haveUnpromoted) Write(FlagNoPromote, code, b, to);
      }
    }
  }

  Move* Run() {
    const Square k = (Square)p.kingSquare[oi];
    if (k == NoSquare) return list;
    const Bitboard ownFree = Complement(p.occupied[si]);
    const Bitboard empty = Complement(p.occupiedAll);
    const Bitboard zone = ZoneMask();
    const Hand hand = p.hand[si];
    const Bitboard rookCheck = RookAttacks(p, k), bishopCheck = BishopAttacks(p, k);
    const Bitboard goldCheck = GoldSteps[oi][k], silverCheck = SilverSteps[oi][k];
    const Bitboard knightCheck = KnightSteps[oi][k], pawnCheck = PawnStep[oi][k];
    const Bitboard lanceCheck = Side == Black ? DownwardLanceAttacks(p, k) : UpwardLanceAttacks(p, k);

    // 1. Rooks (a promotion onto a diagonal neighbour checks as a dragon), dragons, rook drops.
    for (Square f : Squares(PieceBitboard(p, BRook + si))) {
      const Bitboard reach = RookAttacks(p, f) & ownFree;
      WriteBoth(BRook + si, f, reach & rookCheck);
      WritePromotedOnly(BRook + si, f, reach & DiagKingSteps[k]);
    }
    for (Square f : Squares(PieceBitboard(p, BDragon + si)))
      for (Square to : Squares(DragonAttacks(p, f) & (rookCheck | DiagKingSteps[k]) & ownFree))
        Write(FlagNone, BDragon + si, f, to);
    if (HandKindCountOf(hand, 6)) Drops(BRook + si, rookCheck & empty);

    // 2. Bishops (orthogonal neighbours only once promoted), horses, bishop drops.
    for (Square f : Squares(PieceBitboard(p, BBishop + si))) {
      const Bitboard reach = BishopAttacks(p, f) & ownFree;
      WriteBoth(BBishop + si, f, reach & bishopCheck);
      WritePromotedOnly(BBishop + si, f, reach & OrthoKingSteps[k]);
    }
    for (Square f : Squares(PieceBitboard(p, BHorse + si)))
      for (Square to : Squares(HorseAttacks(p, f) & (bishopCheck | OrthoKingSteps[k]) & ownFree))
        Write(FlagNone, BHorse + si, f, to);
    if (HandKindCountOf(hand, 5)) Drops(BBishop + si, bishopCheck & empty);

    // 3. Golds and gold drops.
    GoldMovers(BGold + si, goldCheck, ownFree);
    if (HandKindCountOf(hand, 4)) Drops(BGold + si, goldCheck & empty);

    // 4. Silvers unpromoted then promoted, promoted silvers, silver drops.
    for (Square f : Squares(PieceBitboard(p, BSilver + si))) {
      WriteUnpromoted(BSilver + si, f, SilverSteps[si][f] & silverCheck & ownFree);
      WritePromotedOnly(BSilver + si, f, SilverSteps[si][f] & goldCheck & ownFree);
    }
    GoldMovers(BProSilver + si, goldCheck, ownFree);
    if (HandKindCountOf(hand, 3)) Drops(BSilver + si, silverCheck & empty);

    // 5. Knights unpromoted then promoted inside the zone, promoted knights, knight drops.
    for (Square f : Squares(PieceBitboard(p, BKnight + si))) {
      WriteUnpromoted(BKnight + si, f, KnightSteps[si][f] & knightCheck & ownFree);
      for (Square to : Squares(KnightSteps[si][f] & goldCheck & zone & ownFree)) Write(FlagPromote, BKnight + si, f, to);
    }
    GoldMovers(BProKnight + si, goldCheck, ownFree);
    if (HandKindCountOf(hand, 2)) Drops(BKnight + si, knightCheck & empty);

    // 6. Lances along their file, promoted inside the zone, promoted lances, lance drops.
    for (Square f : Squares(PieceBitboard(p, BLance + si))) {
      const Bitboard reach = PieceAttacks(p, BLance + si, f) & ownFree;
      WriteUnpromoted(BLance + si, f, reach & lanceCheck);
      for (Square to : Squares(reach & goldCheck & zone)) Write(FlagPromote, BLance + si, f, to);
    }
    GoldMovers(BProLance + si, goldCheck, ownFree);
    if (HandKindCountOf(hand, 1)) Drops(BLance + si, lanceCheck & empty);

    // 7. Pawn pushes, unpromoted then promoted; tokins; the pawn drop below the king.
    for (Square f : Squares(PieceBitboard(p, BPawn + si))) {
      const Bitboard step = PawnStep[si][f] & ownFree;
      WriteUnpromoted(BPawn + si, f, step & pawnCheck);
      for (Square to : Squares(step & goldCheck & zone)) Write(FlagPromote, BPawn + si, f, to);
    }
    GoldMovers(BTokin + si, goldCheck, ownFree);
    if (HandKindCountOf(hand, 0) && IsNonEmpty(pawnCheck & empty)) {
      const Square to = FirstSquare(pawnCheck);
      if (IsEmpty(PieceBitboard(p, BPawn + si) & FileMask[ColumnOf[to]])) Drops(BPawn + si, pawnCheck);
    }

    // 8. Discovered checks: lance line, file, rank, diagonal, anti-diagonal.
    const Bitboard* own = p.pieceBB[si];
    const Bitboard rookLike = own[SlotRook] | own[SlotDragon];
    const Bitboard bishopLike = own[SlotBishop] | own[SlotHorse];
    const Bitboard file = FileMask[ColumnOf[k]];
    Discovered(file, own[SlotLance], own[SlotLance], own[SlotLance], 0, k, ownFree);
    Discovered(file, rookLike, own[SlotRook], own[SlotDragon], 1, k, ownFree);
    Discovered(RankMask[RowOf[k]], rookLike, own[SlotRook], own[SlotDragon], 2, k, ownFree);
    Discovered(DiagonalMask[DiagonalOf[k]], bishopLike, own[SlotBishop], own[SlotHorse], 3, k, ownFree);
    Discovered(AntiDiagonalMask[AntiDiagonalOf[k]], bishopLike, own[SlotBishop], own[SlotHorse], 4, k,
               ownFree);
    return list;
  }
};

}  // namespace

Move* GenerateChecks(const Position& p, Move* list, int side) {
  if (side == Black) {
    CheckGen<Black> g(p, list);
    return g.Run();
  }
  CheckGen<White> g(p, list);
  return g.Run();
}

}  // namespace kestrel
