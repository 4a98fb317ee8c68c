// One-move mate finder: soundness and completeness against brute force over the
// legality filter on random positions around a king, the position left bit-for-bit
// unchanged, and the finder's own rules on set positions.
#include "movegen/mate1.h"
#include "test_util.h"

namespace kestrel {
namespace {

using test::LegalMoves;
using test::MakePosition;

// Plays m, asks whether the opponent has a legal reply, and takes m back.
bool LeavesNoReply(Position& p, Move m, int side) {
  const MoveUndo undo = PlayMove(p, m);
  const bool mate = InCheck(p, -side) && !HasLegalMove(p, -side);
  TakeBackMove(p, m, undo);
  return mate;
}

// True when the piece that lands on `to` checks the enemy king from a
// neighbouring square or as a knight: the finder's class of checks.
bool ContactOrKnightCheck(Position& p, Move m, int side) {
  const Square k = (Square)p.kingSquare[SideIndex(-side)];
  const Square to = MoveTo(m);
  const int placed = MovePromotes(m) ? (MovePiece(m) | 16) : MovePiece(m);
  const MoveUndo undo = PlayMove(p, m);
  const bool checks = TestSquare(PieceAttacks(p, placed, to), k);
  TakeBackMove(p, m, undo);
  return checks && (TestSquare(KingSteps[k], to) || (placed & ~1) == BKnight);
}

// Checks one position (side to move not in check): unchanged after the call, a
// returned move is legal and mates, and a mate of the class is not missed. Returns
// whether the position has a mate of the class.
bool CheckPosition(Position& p, int side) {
  if (InCheck(p, side) || InCheck(p, -side)) return false;
  auto copy = std::make_unique<Position>(p);
  const Move m = FindMateInOne(p, side);
  const std::string where = PositionToSfen(p, side);
  EXPECT_EQ(std::memcmp(copy.get(), &p, sizeof(Position)), 0) << "position changed: " << where;
  const std::vector<Move> legal = LegalMoves(p, side);
  if (m) {
    EXPECT_NE(std::find(legal.begin(), legal.end(), m), legal.end())
        << "not legal: " << MoveToUsi(m) << " in " << where;
    EXPECT_TRUE(LeavesNoReply(p, m, side)) << "not a mate: " << MoveToUsi(m) << " in " << where;
  }
  for (Move c : legal)
    if (ContactOrKnightCheck(p, c, side) && LeavesNoReply(p, c, side)) {
      EXPECT_NE(m, NoMove) << "missed " << MoveToUsi(c) << (MoveFlag(c) == FlagNoPromote ? "=" : "") << " in " << where;
      return true;
    }
  return false;
}

// Random position around the defending king: a few pieces of both sides close
// to it, some elsewhere, random hands for the attacker.
int RandomMatePosition(Position& p, std::mt19937& rng) {
  ClearBoard(p);
  p.historyCount = 0;
  const int side = (rng() & 1) ? Black : White;
  const int us = SideIndex(side), them = us ^ 1;
  auto rnd = [&](int n) { return (int)(rng() % (unsigned)n); };
  const Square k = rnd(81);
  p.board[k] = (uint8_t)(BKing | them);
  Square own;
  do own = rnd(81);
  while (own == k || TestSquare(KingSteps[k], own) || TestSquare(KingSteps[own], k));
  p.board[own] = (uint8_t)(BKing | us);
  static const int kinds[] = {BPawn, BLance, BKnight, BSilver, BGold, BBishop, BRook,
                              BTokin, BProLance, BProKnight, BProSilver, BHorse, BDragon};
  // Pieces of each hand kind in play, so that no capture overflows a hand.
  int inPlay[HandKindCount] = {};
  const int count = 3 + rnd(14);
  for (int i = 0; i < count; ++i) {
    Square s;
    if (rnd(3)) {
      const int r = RowOfSquare(k) + rnd(5) - 2, c = ColOfSquare(k) + rnd(5) - 2;
      if (r < 0 || r > 8 || c < 0 || c > 8) continue;
      s = MakeSquare(r, c);
    } else {
      s = rnd(81);
    }
    if (p.board[s] != Empty) continue;
    const int owner = (rnd(5) < 3) ? us : them;  // attackers a little more often
    const int code = kinds[rnd(13)] | owner;
    const int rel = owner == 0 ? RowOfSquare(s) : 8 - RowOfSquare(s);
    if (((code & ~1) == BPawn || (code & ~1) == BLance) && rel == 0) continue;
    if ((code & ~1) == BKnight && rel < 2) continue;
    const int handKind = (code & 15) >> 1;
    if (inPlay[handKind] >= HandMax[handKind]) continue;
    if ((code & ~1) == BPawn) {
      bool twice = false;
      for (int r = 0; r < 9; ++r) twice |= p.board[MakeSquare(r, ColOfSquare(s))] == code;
      if (twice) continue;
    }
    p.board[s] = (uint8_t)code;
    ++inPlay[handKind];
  }
  for (int kind = 1; kind < HandKindCount; ++kind) {
    const int n = rnd(3) == 0 ? 1 + rnd(2) : 0;
    for (int j = 0; j < n && inPlay[kind] < HandMax[kind]; ++j, ++inPlay[kind]) HandAdd(p, 2 * kind + us);
  }
  if (rnd(2) && inPlay[0] < HandMax[0]) HandAdd(p, us);  // a pawn, which must never be dropped to mate
  FinishSetup(p, side);
  return side;
}

TEST(MateInOne, SoundAndCompleteOnRandomPositions) {
  test::InitTables();
  std::mt19937 rng(20240607);
  auto p = std::make_unique<Position>();
  int classMates = 0;
  for (int i = 0; i < 50000 && !HasFailure(); ++i) {
    const int side = RandomMatePosition(*p, rng);
    classMates += CheckPosition(*p, side);
  }
  EXPECT_GT(classMates, 1500);
}

// The finder's own rules on set positions ("" for no mate).
TEST(MateInOne, SetPositions) {
  const std::pair<const char*, const char*> cases[] = {
      {"4k4/9/9/9/9/9/9/9/4K4 b R 1", ""},  // an undefended rook next to the king is taken
      {"3lkl3/3p1p3/4P4/9/9/9/9/9/4K4 b R 1", "R*5b"},
      {"3lkl3/3p1p3/4P4/9/9/9/9/9/4K4 b L 1", "L*5b"},
      {"3lkl3/3p1p3/4P4/9/9/9/9/9/4K4 b RL 1", "R*5b"},  // the rook, never the lance
      {"kn7/lb7/9/9/9/9/9/9/8K b NP 1", "N*8c"},
      {"kn7/lb7/9/9/9/9/9/9/8K b P 1", ""},  // a pawn drop never mates
      {"3lkl3/3p1p3/4G4/9/9/9/9/9/4K4 b P 1", ""},
      {"4k4/9/9/9/9/9/4p4/3P1P3/3LKL3 w r 1", "R*5h"},  // White's mirrored answers
      {"8k/9/9/9/9/9/9/7BL/7NK w np 1", "N*2g"},
      {"3lkl3/3g1p3/4P4/1B7/9/9/9/9/4K4 b G 1", "G*5b"},  // the capturing gold is pinned
      {"3lkl3/3g1p3/4P4/9/9/9/9/9/4K4 b G 1", ""},
      {"3lkg3/3p5/4GP3/9/4R4/9/9/9/4K4 b - 1", "5c4b"},  // discovered double check
      {"3lk4/3p5/K3G3r/9/4R4/9/9/9/9 b - 1", ""},  // the gold would expose its own king
      {"3lk4/3p5/K3G4/9/4R4/9/9/9/9 b - 1", "5c5b"},
      // A lance from the next file promotes beside the king, which stands in the zone
      // (for White on its edge, 9g).
      {"3bks3/5p3/2K6/9/9/9/9/9/3L5 b - 1", "6i6b+"},
      {"9/9/8k/6K1p/9/9/9/9/7L1 b - 1", "2i2c+"},
      {"1l7/9/9/9/9/P1k6/K8/9/9 w - 1", "8a8g+"},
  };
  for (const auto& [sfen, answer] : cases) {
    int side = Black;
    auto p = MakePosition(std::string("sfen ") + sfen, &side);
    auto copy = std::make_unique<Position>(*p);
    const Move m = FindMateInOne(*p, side);
    EXPECT_EQ(std::memcmp(copy.get(), p.get(), sizeof(Position)), 0) << sfen;
    EXPECT_EQ(m ? MoveToUsi(m) : "", answer) << sfen;
  }
  auto p = MakePosition("sfen 3lkl3/3p1p3/4G4/9/9/9/9/9/4K4 b P 1");
  EXPECT_TRUE(IsPawnDropMate(*p, EncodeMove(FlagNone, Empty, BPawn, 13, NoSquare), Black));
}

}  // namespace
}  // namespace kestrel
