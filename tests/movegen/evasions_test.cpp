// Evasion generator: cross-checked against the legality filter on many positions
// in check, plus the promotion, pin, double-check and drop rules on set positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "test_positions.h"
#include "movegen/evasions.h"

namespace kestrel {
namespace {

using namespace testing;

std::vector<Move> Evasions(Position& p, int side, int withUnpromoted) {
  Move buf[MaxMoves];
  Move* end = GenerateEvasions(p, buf, side, withUnpromoted);
  return std::vector<Move>(buf, end);
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
  const HashKey startKey = p.keyFull;
  const int compared =
      RandomWalk(p, side, games, plies, seed, [](Position& q, int s, const std::vector<Move>& moves) {
        int n = CrossCheck(q, s, PositionToText(q, s));
        for (Move m : moves) {
          if (!GivesCheck(q, m, s)) continue;
          const MoveUndo k = PlayMove(q, m);
          n += CrossCheck(q, -s, PositionToText(q, -s) + " after " + Usi(m));
          TakeBackMove(q, m, k);
        }
        return n;
      });
  EXPECT_EQ(p.keyFull, startKey);
  return compared;
}

// Random games from the start position and from positions with many pieces in hand.
TEST(Evasions, CrossCheckOnRandomGames) {
  InitTables();
  auto p = NewPosition();
  int fromStart = RandomGames(*p, Black, 60, 160, 12345), withHands = 0;
  uint32_t seed = 7;
  for (const std::string& sfen : HandHeavySfens()) {
    const int side = SetSfen(*p, sfen);
    ASSERT_NE(side, 0) << sfen;
    withHands += RandomGames(*p, side, 12, 80, seed++);
  }
  EXPECT_GT(fromStart, 500);
  EXPECT_GT(withHands, 500);
}

// Set positions for the rare rules, each cross-checked both ways (with and without the
// unpromoted choices): double check, the king's own shadow on the checking line, knight
// and adjacent checks (no interposing drops), a pinned capturer, promotion choices in
// the zone, lance captures by rank, and pawn and knight drop restrictions.
TEST(Evasions, SetPositions) {
  InitTables();
  auto p = NewPosition();
  for (const char* sfen : {
           "k3r4/9/9/9/8b/9/9/3G5/4K4 b G 1", "4r4/9/9/9/4K4/9/9/9/8k b - 1",
           "8k/9/9/9/9/3n5/9/4K4/9 b RBGSNLP 1", "8k/9/9/9/9/9/4r4/4K4/9 b RBGSNLP 1",
           "4r3k/9/9/9/9/9/5n3/4G4/4K4 b - 1", "8k/9/K5r2/9/9/9/9/9/6R2 b - 1",
           "8k/9/K5r2/5S3/9/9/9/9/9 b - 1", "8k/9/2b6/9/K8/9/9/9/2L6 b - 1",
           "8k/2b6/9/K8/9/9/9/9/2L6 b - 1", "2b5k/9/K8/9/9/9/9/9/2L6 b - 1",
           "4r3k/9/9/9/4K4/9/9/9/4P4 b PN 1", "4r3k/9/9/9/4K4/9/9/9/9 b P 1",
           "K3r3k/9/9/9/9/9/9/9/9 b PLN 1"}) {
    ASSERT_NE(SetSfen(*p, sfen), 0) << sfen;
    EXPECT_EQ(CrossCheck(*p, Black, sfen), 1) << "not in check: " << sfen;
  }
  // The promoting choice comes first.
  SetSfen(*p, "8k/9/K5r2/9/9/9/9/9/6R2 b - 1");
  std::vector<std::string> words;
  for (Move m : Evasions(*p, Black, 1)) words.push_back(Usi(m) + (MoveFlag(m) == FlagNoPromote ? "=" : ""));
  const auto at = [&](const char* w) { return std::find(words.begin(), words.end(), w) - words.begin(); };
  EXPECT_LT(at("3i3c+"), at("3i3c="));
  EXPECT_LT(at("3i3c="), (long)words.size());
}

}  // namespace
}  // namespace kestrel
