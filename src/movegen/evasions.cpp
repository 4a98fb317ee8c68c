// Evasion generator: one body per side through a template parameter, White's
// zones mirroring Black's.
#include "movegen/evasions.h"

#include "movegen/attacks.h"

namespace kestrel {

namespace {

template <int Side>
struct Zone {
  static bool In(Square s) { return Side == Black ? s < 27 : s >= 54; }
  static bool Last(Square s) { return Side == Black ? s < 9 : s >= 72; }
  static bool LastTwo(Square s) { return Side == Black ? s < 18 : s >= 63; }
  static bool Third(Square s) { return Side == Black ? (s >= 18 && s < 27) : (s >= 54 && s < 63); }
};

// Writes the moves of one piece (code pc, on `from`) to each square of dests,
// in ascending order, with the promotion choices its kind allows.
template <int Side>
Move* EmitEvasionMoves(const Position& p, Move* list, int pc, Square from, Bitboard dests,
                       int withUnpromoted) {
  using Z = Zone<Side>;
  const int kind = pc & ~1;
  while (IsNonEmpty(dests)) {
    const Square to = PopFirst(dests);
    const int cap = p.board[to];
    switch (kind) {
      case BRook: case BBishop:
        if (Z::In(from) || Z::In(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
          if (withUnpromoted) *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
        } else {
          *list++ = EncodeMove(FlagNone, cap, pc, to, from);
        }
        break;
      case BSilver:
        if (Z::In(from) || Z::In(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
          *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
        } else {
          *list++ = EncodeMove(FlagNone, cap, pc, to, from);
        }
        break;
      case BKnight:
        if (Z::LastTwo(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        } else if (Z::In(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
          *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
        } else {
          *list++ = EncodeMove(FlagNone, cap, pc, to, from);
        }
        break;
      case BLance:
        if (Z::Last(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        } else if (Z::In(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
          if (Z::Third(to) || withUnpromoted) *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
        } else {
          *list++ = EncodeMove(FlagNone, cap, pc, to, from);
        }
        break;
      case BPawn:
        if (Z::Last(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        } else if (Z::In(to)) {
          *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
          if (withUnpromoted) *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
        } else {
          *list++ = EncodeMove(FlagNone, cap, pc, to, from);
        }
        break;
      default:
        *list++ = EncodeMove(FlagNone, cap, pc, to, from);
        break;
    }
  }
  return list;
}

// True when c is a slider of the checking side that moves along direction d.
inline bool SlidesAlong(int c, int d) {
  const int kind = c & ~1;
  if (d == 1 || d == -1 || d == 9 || d == -9)
    return kind == BRook || kind == BDragon || (kind == BLance && (d == 9 || d == -9));
  if (d == 8 || d == -8 || d == 10 || d == -10) return kind == BBishop || kind == BHorse;
  return false;
}

template <int Side>
Move* Evasions(const Position& p, Move* list, int withUnpromoted) {
  constexpr int si = Side == Black ? 0 : 1;
  constexpr int oi = si ^ 1;
  const Square k = (Square)p.kingSquare[si];
  if (k == NoSquare) return list;

  // 1. Checkers and the directions of the sliding ones.
  const Bitboard checkers = AttackersOf(p, k) & p.occupied[oi];
  const int n = PopCount(checkers);
  int checkDir[2] = {0, 0};
  int recorded = 0;
  Square single = NoSquare;
  for (Square c : Squares(checkers)) {
    const int d = Direction[c][k];
    if (recorded < 2) checkDir[recorded++] = SlidesAlong(p.board[c], d) ? d : 0;
    single = c;
  }

  // 2. King steps to unattacked squares, never straight away from a sliding checker.
  const int kingCode = BKing + si;
  Bitboard steps = KingSteps[k] & Complement(p.occupied[si]);
  while (IsNonEmpty(steps)) {
    const Square t = PopFirst(steps);
    if (IsSquareAttacked(p, t, -Side)) continue;
    const int d = Direction[k][t];
    if (d != 0 && (d == checkDir[0] || d == checkDir[1])) continue;
    *list++ = EncodeMove(FlagNone, p.board[t], kingCode, t, k);
  }

  // 3. Double check (or none): the king must move.
  if (n != 1) return list;

  // 4. Captures of the checker and interpositions by unpinned pieces.
  const Bitboard between = checkDir[0] ? SquaresBetween(k, single, checkDir[0]) : EmptyBB;
  Bitboard targets = checkers | between;
  if (p.kingSquare[oi] != NoSquare) SetSquare(targets, (Square)p.kingSquare[oi]);
  static constexpr int KindOrder[13] = {
      BDragon, BRook, BHorse, BBishop, BGold, BSilver, BProSilver,
      BKnight, BProKnight, BLance, BProLance, BPawn, BTokin};
  for (int kind : KindOrder) {
    const int code = kind + si;
    Bitboard pieces = PieceBitboard(p, code);
    while (IsNonEmpty(pieces)) {
      const Square from = PopFirst(pieces);
      if (IsPinned(p, from, Side)) continue;
      list = EmitEvasionMoves<Side>(p, list, code, from, PieceAttacks(p, code, from) & targets,
                                    withUnpromoted);
    }
  }

  // 5. Drops onto the squares between the king and a distant slider.
  if (IsEmpty(between)) return list;
  const Hand h = p.hand[si];
  auto drop = [&](int code, Bitboard squares) {
    while (IsNonEmpty(squares)) *list++ = EncodeMove(FlagNone, Empty, code, PopFirst(squares), NoSquare);
  };
  const Bitboard lastRank = Side == Black ? RankMask[1] : RankMask[9];
  const Bitboard lastTwo = Side == Black ? (RankMask[1] | RankMask[2]) : (RankMask[8] | RankMask[9]);
  if (HandKindCountOf(h, 6)) drop(BRook + si, between);
  if (HandKindCountOf(h, 5)) drop(BBishop + si, between);
  if (HandKindCountOf(h, 4)) drop(BGold + si, between);
  if (HandKindCountOf(h, 3)) drop(BSilver + si, between);
  if (HandKindCountOf(h, 2)) drop(BKnight + si, between & Complement(lastTwo));
  if (HandKindCountOf(h, 1)) drop(BLance + si, between & Complement(lastRank));
  if (HandKindCountOf(h, 0)) {
    Bitboard allowed = between & Complement(lastRank);
    Bitboard pawns = PieceBitboard(p, BPawn + si);
    while (IsNonEmpty(pawns)) allowed &= NotFileMask[ColumnOf[PopFirst(pawns)]];
    drop(BPawn + si, allowed);
  }
  return list;
}

}  // namespace

Move* GenerateEvasions(const Position& p, Move* list, int side, int withUnpromoted) {
  return side == Black ? Evasions<Black>(p, list, withUnpromoted) : Evasions<White>(p, list, withUnpromoted);
}

}  // namespace kestrel
