// Evasion generator: cross-checked against the legality filter on many positions
// in check, plus the promotion, pin, double-check and drop rules on set positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "mate/test_positions.h"
#include "movegen/evasions.h"

namespace kestrel {
namespace {

using namespace testing;

std::vector<Move> Evasions(Position& p, int side, int withUnpromoted) {
  Move buf[MaxMoves];
  Move* end = GenerateEvasions(p, buf, side, withUnpromoted);
  return std::vector<Move>(buf, end);
}

std::set<std::string> Texts(const std::vector<Move>& v) {
  std::set<std::string> s;
  for (Move m : v) s.insert(Usi(m) + (MoveFlag(m) == FlagNoPromote ? "=" : ""));
  return s;
}

// Compares the evasions of a side in check with the legal moves; returns the number
// of positions compared (1) after recording any disagreement as a test failure.
int CrossCheck(Position& p, int side, const std::string& where) {
  if (!InCheck(p, side)) return 0;
  const std::vector<Move> ev = Evasions(p, side, 1);
  const std::vector<Move> legal = LegalMoves(p, side);
  std::set<Move> evSet(ev.begin(), ev.end());
  EXPECT_EQ(evSet.size(), ev.size()) << "duplicate evasion in " << where;
  for (Move m : ev)
    EXPECT_TRUE(IsLegalMove(p, m, side) || IsPawnDropMate(p, m, side))
        << "illegal evasion " << Usi(m) << " flag " << MoveFlag(m) << " in " << where;
  for (Move m : legal)
    EXPECT_TRUE(evSet.count(m)) << "legal move " << Usi(m) << " flag " << MoveFlag(m)
                                << " missing from evasions in " << where;
  // Without unpromoted choices the list is a subset that drops only flag-3 moves
  // of rooks, bishops, pawns and lances going to the zone's second rank.
  const std::vector<Move> ev0 = Evasions(p, side, 0);
  std::set<Move> ev0Set(ev0.begin(), ev0.end());
  for (Move m : ev0) EXPECT_TRUE(evSet.count(m)) << Usi(m) << " only without unpromoted, " << where;
  for (Move m : ev) {
    if (ev0Set.count(m)) continue;
    const int kind = MovePiece(m) & ~1;
    const int row = RowOfSquare(MoveTo(m));
    const bool secondRank = side == Black ? row == 1 : row == 7;
    EXPECT_TRUE(MoveFlag(m) == FlagNoPromote &&
                (kind == BRook || kind == BBishop || kind == BPawn || (kind == BLance && secondRank)))
        << Usi(m) << " wrongly dropped without unpromoted, " << where;
  }
  return 1;
}

// Random legal play; at every position each checking move is made and the checked
// side's evasions are cross-checked.
int RandomGames(Position& p, int side, int games, int plies, uint32_t seed) {
  const SavedKeys start{p.keyFull, p.keyBoard};
  const int compared =
      RandomWalk(p, side, games, plies, seed, [](Position& q, int s, const std::vector<Move>& moves) {
        int n = CrossCheck(q, s, PositionToText(q, s));
        for (Move m : moves) {
          if (!GivesCheck(q, m, s)) continue;
          SavedKeys k = Play(q, m);
          n += CrossCheck(q, -s, PositionToText(q, -s) + " after " + Usi(m));
          Undo(q, m, k);
        }
        return n;
      });
  EXPECT_EQ(p.keyFull, start.full);
  return compared;
}

TEST(Evasions, CrossCheckFromStartPosition) {
  InitTables();
  auto p = NewPosition();
  const int n = RandomGames(*p, Black, 60, 160, 12345);
  EXPECT_GT(n, 500);
  std::printf("compared %d positions in check\n", n);
}

TEST(Evasions, CrossCheckWithManyPiecesInHand) {
  InitTables();
  auto p = NewPosition();
  int n = 0;
  uint32_t seed = 7;
  for (const std::string& sfen : HandHeavySfens()) {
    const int side = SetSfen(*p, sfen);
    ASSERT_NE(side, 0) << sfen;
    ASSERT_TRUE(PositionIsConsistent(*p, true, false)) << sfen;
    n += RandomGames(*p, side, 12, 80, seed++);
  }
  EXPECT_GT(n, 500);
  std::printf("compared %d positions in check\n", n);
}

TEST(Evasions, DoubleCheckGivesOnlyKingMoves) {
  InitTables();
  auto p = NewPosition();
  // The Black king on 5i is checked by the rook on 5a and the bishop on 1e; the gold on
  // 6h could interpose on 5h against one of them, but only king moves remain.
  SetSfen(*p, "k3r4/9/9/9/8b/9/9/3G5/4K4 b G 1");
  ASSERT_TRUE(InCheck(*p, Black));
  for (Move m : Evasions(*p, Black, 1)) EXPECT_EQ(MovePiece(m), BKing) << Usi(m);
  EXPECT_EQ(Texts(Evasions(*p, Black, 1)), (std::set<std::string>{"5i4i", "5i6i"}));
}

TEST(Evasions, KingDoesNotStepAwayAlongTheCheckingLine) {
  InitTables();
  auto p = NewPosition();
  // White rook on 5a checks the king on 5e; 5f is shadowed by the king itself.
  SetSfen(*p, "4r4/9/9/9/4K4/9/9/9/8k b - 1");
  const std::set<std::string> t = Texts(Evasions(*p, Black, 1));
  EXPECT_EQ(t.count("5e5f"), 0u);
  EXPECT_EQ(t.count("5e5d"), 0u);
  EXPECT_EQ(t.count("5e4f"), 1u);
  EXPECT_EQ(t.count("5e4e"), 1u);
}

TEST(Evasions, KnightAndAdjacentChecksHaveNoDrops) {
  InitTables();
  auto p = NewPosition();
  SetSfen(*p, "8k/9/9/9/9/3n5/9/4K4/9 b RBGSNLP 1");
  ASSERT_TRUE(InCheck(*p, Black));
  for (Move m : Evasions(*p, Black, 1)) EXPECT_FALSE(MoveIsDrop(m)) << Usi(m);
  SetSfen(*p, "8k/9/9/9/9/9/4r4/4K4/9 b RBGSNLP 1");
  ASSERT_TRUE(InCheck(*p, Black));
  for (Move m : Evasions(*p, Black, 1)) EXPECT_FALSE(MoveIsDrop(m)) << Usi(m);
}

TEST(Evasions, PinnedPieceMakesNoEvasion) {
  InitTables();
  auto p = NewPosition();
  // The gold on 5h is pinned by the rook on 5a; the knight check from 4g could be
  // captured by it but not legally.
  SetSfen(*p, "4r3k/9/9/9/9/9/5n3/4G4/4K4 b - 1");
  ASSERT_TRUE(InCheck(*p, Black));
  for (Move m : Evasions(*p, Black, 1)) EXPECT_NE(MoveFrom(m), MakeSquare(7, 4)) << Usi(m);
}

TEST(Evasions, PromotionChoicesInsideTheZone) {
  InitTables();
  auto p = NewPosition();
  // A White rook on 3c checks the Black king on 9c; the Black rook on 3i captures it
  // inside the zone.
  SetSfen(*p, "8k/9/K5r2/9/9/9/9/9/6R2 b - 1");
  ASSERT_TRUE(InCheck(*p, Black));
  std::set<std::string> t1 = Texts(Evasions(*p, Black, 1)), t0 = Texts(Evasions(*p, Black, 0));
  EXPECT_TRUE(t1.count("3i3c+") && t1.count("3i3c=") && t0.count("3i3c+"));
  EXPECT_EQ(t0.count("3i3c="), 0u);
  // Promoting first.
  std::vector<Move> ev = Evasions(*p, Black, 1);
  auto pos = [&](const std::string& s) {
    for (size_t i = 0; i < ev.size(); ++i)
      if (Usi(ev[i]) + (MoveFlag(ev[i]) == FlagNoPromote ? "=" : "") == s) return (int)i;
    return -1;
  };
  EXPECT_LT(pos("3i3c+"), pos("3i3c="));
  // A silver capturing in the zone always yields both.
  SetSfen(*p, "8k/9/K5r2/5S3/9/9/9/9/9 b - 1");
  t0 = Texts(Evasions(*p, Black, 0));
  EXPECT_TRUE(t0.count("4d3c+") && t0.count("4d3c="));
}

TEST(Evasions, LanceCapturesByRank) {
  InitTables();
  auto p = NewPosition();
  // A White bishop checks along a diagonal; a Black lance on the bishop's file takes it.
  // Rank 3: unpromoted even without the flag.
  SetSfen(*p, "8k/9/2b6/9/K8/9/9/9/2L6 b - 1");
  ASSERT_TRUE(InCheck(*p, Black));
  std::set<std::string> t0 = Texts(Evasions(*p, Black, 0));
  EXPECT_TRUE(t0.count("7i7c+") && t0.count("7i7c="));
  // Rank 2: unpromoted only with the flag.
  SetSfen(*p, "8k/2b6/9/K8/9/9/9/9/2L6 b - 1");
  ASSERT_TRUE(InCheck(*p, Black));
  t0 = Texts(Evasions(*p, Black, 0));
  std::set<std::string> t1 = Texts(Evasions(*p, Black, 1));
  EXPECT_TRUE(t0.count("7i7b+") && !t0.count("7i7b=") && t1.count("7i7b="));
  // Rank 1: never unpromoted.
  SetSfen(*p, "2b5k/9/K8/9/9/9/9/9/2L6 b - 1");
  ASSERT_TRUE(InCheck(*p, Black));
  t1 = Texts(Evasions(*p, Black, 1));
  EXPECT_TRUE(t1.count("7i7a+") && !t1.count("7i7a="));
}

TEST(Evasions, PawnAndKnightDropRestrictions) {
  InitTables();
  auto p = NewPosition();
  // The White rook on 5a checks the Black king on 5e across 5b..5d; Black's pawn on 5i
  // forbids pawn drops on the file, and knights may not drop on ranks a and b.
  SetSfen(*p, "4r3k/9/9/9/4K4/9/9/9/4P4 b PN 1");
  std::set<std::string> t = Texts(Evasions(*p, Black, 1));
  EXPECT_EQ(t.count("P*5c"), 0u);
  EXPECT_EQ(t.count("N*5b"), 0u);
  EXPECT_EQ(t.count("N*5c"), 1u);
  EXPECT_EQ(t.count("N*5d"), 1u);
  // Without the file's pawn, pawns may drop on 5c and 5d but never on the last rank.
  SetSfen(*p, "4r3k/9/9/9/4K4/9/9/9/9 b P 1");
  t = Texts(Evasions(*p, Black, 1));
  EXPECT_TRUE(t.count("P*5b") && t.count("P*5c") && t.count("P*5d"));
  SetSfen(*p, "K3r3k/9/9/9/9/9/9/9/9 b PLN 1");
  t = Texts(Evasions(*p, Black, 1));
  EXPECT_TRUE(!t.count("P*6a") && !t.count("L*6a") && !t.count("N*6a"));
}

}  // namespace
}  // namespace kestrel
