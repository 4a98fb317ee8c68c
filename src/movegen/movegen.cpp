// The four search generators. One body serves both sides through a template
// parameter; White's zones and steps mirror Black's.
#include "movegen/movegen.h"

#include "movegen/attacks.h"

namespace kestrel {

namespace {

enum GenMode { SplitMode, AllMode };

template <int Side>
struct Geometry {
  static constexpr int si = Side == Black ? 0 : 1;
  static bool InZone(Square s) { return Side == Black ? s < 27 : s >= 54; }
  static bool LastRank(Square s) { return Side == Black ? s < 9 : s >= 72; }
  static bool LastTwoRanks(Square s) { return Side == Black ? s < 18 : s >= 63; }
};

// Writes the moves of one piece onto each destination in ascending order.
template <int Side, int Mode, int Kind>
inline Move* EmitPieceMoves(const Position& p, Move* list, int pc, Square from, Bitboard dests) {
  using G = Geometry<Side>;
  while (IsNonEmpty(dests)) {
    const Square to = PopFirst(dests);
    const int cap = p.board[to];
    if constexpr (Kind == BRook || Kind == BBishop) {
      if (G::InZone(from) || G::InZone(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        if (Mode == AllMode) *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
      } else {
        *list++ = EncodeMove(FlagNone, cap, pc, to, from);
      }
    } else if constexpr (Kind == BSilver) {
      if (G::InZone(from) || G::InZone(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
      } else {
        *list++ = EncodeMove(FlagNone, cap, pc, to, from);
      }
    } else if constexpr (Kind == BKnight) {
      if (G::LastTwoRanks(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
      } else if (G::InZone(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
      } else {
        *list++ = EncodeMove(FlagNone, cap, pc, to, from);
      }
    } else if constexpr (Kind == BLance) {
      if (G::LastRank(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
      } else if (G::InZone(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        if (Mode == AllMode || !G::LastTwoRanks(to))
          *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
      } else {
        *list++ = EncodeMove(FlagNone, cap, pc, to, from);
      }
    } else if constexpr (Kind == BPawn) {
      if (G::InZone(to)) {
        *list++ = EncodeMove(FlagPromote, cap, pc, to, from);
        if (Mode == AllMode && !G::LastRank(to)) *list++ = EncodeMove(FlagNoPromote, cap, pc, to, from);
      } else {
        *list++ = EncodeMove(FlagNone, cap, pc, to, from);
      }
    } else {
      *list++ = EncodeMove(FlagNone, cap, pc, to, from);
    }
  }
  return list;
}

// All pieces of one code: ascending squares, each with its attack set cut to the targets.
template <int Side, int Mode, int Kind>
inline Move* EmitKind(const Position& p, Move* list, int code, const Bitboard& target) {
  Bitboard pieces = PieceBitboard(p, code);
  while (IsNonEmpty(pieces)) {
    const Square from = PopFirst(pieces);
    list = EmitPieceMoves<Side, Mode, Kind>(p, list, code, from, PieceAttacks(p, code, from) & target);
  }
  return list;
}

template <int Side, int Mode>
Move* GenerateBoardMoves(const Position& p, Move* list, const Bitboard& target) {
  constexpr int c = Side == Black ? 0 : 1;
  list = EmitKind<Side, Mode, BKing>(p, list, BKing + c, target);
  list = EmitKind<Side, Mode, BDragon>(p, list, BDragon + c, target);
  list = EmitKind<Side, Mode, BRook>(p, list, BRook + c, target);
  list = EmitKind<Side, Mode, BHorse>(p, list, BHorse + c, target);
  list = EmitKind<Side, Mode, BBishop>(p, list, BBishop + c, target);
  list = EmitKind<Side, Mode, BGold>(p, list, BGold + c, target);
  list = EmitKind<Side, Mode, BProSilver>(p, list, BProSilver + c, target);
  list = EmitKind<Side, Mode, BSilver>(p, list, BSilver + c, target);
  list = EmitKind<Side, Mode, BProKnight>(p, list, BProKnight + c, target);
  list = EmitKind<Side, Mode, BKnight>(p, list, BKnight + c, target);
  list = EmitKind<Side, Mode, BProLance>(p, list, BProLance + c, target);
  list = EmitKind<Side, Mode, BLance>(p, list, BLance + c, target);
  list = EmitKind<Side, Mode, BTokin>(p, list, BTokin + c, target);
  // Pawns: the square directly in front, when it is a target.
  Bitboard pawns = PieceBitboard(p, BPawn + c);
  while (IsNonEmpty(pawns)) {
    const Square from = PopFirst(pawns);
    const Square to = Side == Black ? from - 9 : from + 9;
    if (to >= 0 && to < SquareCount && TestSquare(target, to))
      list = EmitPieceMoves<Side, Mode, BPawn>(p, list, BPawn + c, from, SquareMask[to]);
  }
  return list;
}

template <int Side>
Move* GenerateDropsFor(Move* list, const Position& p) {
  constexpr int c = Side == Black ? 0 : 1;
  const Hand h = p.hand[c];
  if ((h & 0x1FFFFFF) == 0) return list;
  const Bitboard empty = Complement(p.occupiedAll);
  auto dropAll = [&](int code, const Bitboard& squares) {
    Bitboard b = squares;
    while (IsNonEmpty(b)) {
      const Square to = PopFirst(b);
      *list++ = EncodeMove(FlagNone, Empty, code, to, NoSquare);
    }
  };
  // Ranks where a knight, a lance or a pawn could never move again.
  const Bitboard lastRank = Side == Black ? RankMask[1] : RankMask[9];
  const Bitboard lastTwo = Side == Black ? (RankMask[1] | RankMask[2]) : (RankMask[8] | RankMask[9]);
  if (HandKindCountOf(h, 6)) dropAll(BRook + c, empty);
  if (HandKindCountOf(h, 5)) dropAll(BBishop + c, empty);
  if (HandKindCountOf(h, 4)) dropAll(BGold + c, empty);
  if (HandKindCountOf(h, 3)) dropAll(BSilver + c, empty);
  if (HandKindCountOf(h, 2)) dropAll(BKnight + c, empty & Complement(lastTwo));
  if (HandKindCountOf(h, 1)) dropAll(BLance + c, empty & Complement(lastRank));
  if (HandKindCountOf(h, 0)) {
    Bitboard allowed = empty & Complement(lastRank);
    Bitboard pawns = PieceBitboard(p, BPawn + c);
    while (IsNonEmpty(pawns)) allowed &= NotFileMask[ColumnOf[PopFirst(pawns)]];
    dropAll(BPawn + c, allowed);
  }
  return list;
}

}  // namespace

Move* GenerateCaptures(const Position& p, Move* list, int side) {
  if (side == Black) return GenerateBoardMoves<Black, SplitMode>(p, list, p.occupied[1]);
  return GenerateBoardMoves<White, SplitMode>(p, list, p.occupied[0]);
}

Move* GenerateNonCaptures(const Position& p, Move* list, int side) {
  const Bitboard empty = Complement(p.occupiedAll);
  if (side == Black) return GenerateBoardMoves<Black, SplitMode>(p, list, empty);
  return GenerateBoardMoves<White, SplitMode>(p, list, empty);
}

Move* GenerateAllMoves(const Position& p, Move* list, int side) {
  if (side == Black) return GenerateBoardMoves<Black, AllMode>(p, list, Complement(p.occupied[0]));
  return GenerateBoardMoves<White, AllMode>(p, list, Complement(p.occupied[1]));
}

Move* GenerateDrops(Move* list, const Position& p, int side) {
  return side == Black ? GenerateDropsFor<Black>(list, p) : GenerateDropsFor<White>(list, p);
}

}  // namespace kestrel
