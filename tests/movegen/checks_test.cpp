// Checking-move generator: cross-checked against the legality filter (every legal
// checking move is generated, every generated legal move checks), plus set positions
// for promotions, discovered checks and pawn drops.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "mate/test_positions.h"
#include "movegen/checks.h"

namespace kestrel {
namespace {

using namespace testing;

std::vector<Move> Checks(Position& p, int side) {
  Move buf[MaxMoves];
  Move* end = GenerateChecks(p, buf, side);
  return std::vector<Move>(buf, end);
}

std::vector<std::string> Texts(const std::vector<Move>& v) {
  std::vector<std::string> s;
  for (Move m : v) s.push_back(Usi(m) + (MoveFlag(m) == FlagNoPromote ? "=" : ""));
  return s;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}
int IndexOf(const std::vector<std::string>& v, const std::string& s) {
  auto it = std::find(v.begin(), v.end(), s);
  return it == v.end() ? -1 : (int)(it - v.begin());
}

// Cross-checks one position; returns the number of legal checking moves seen.
int CrossCheck(Position& p, int side) {
  const std::vector<Move> checks = Checks(p, side);
  const std::string where = PositionToText(p, side);
  std::set<Move> set(checks.begin(), checks.end());
  EXPECT_EQ(set.size(), checks.size()) << "duplicate check in " << where;
  Move buf[MaxMoves];
  Move* end = GenerateAllMoves(p, buf, side);
  end = GenerateDrops(end, p, side);
  std::set<Move> pseudo(buf, end);
  for (Move m : checks) {
    EXPECT_TRUE(pseudo.count(m)) << "not a move: " << Usi(m) << " flag " << MoveFlag(m) << " in " << where;
    if (pseudo.count(m) && IsLegalMove(p, m, side)) {
      EXPECT_TRUE(GivesCheck(p, m, side)) << Usi(m) << " gives no check in " << where;
    }
  }
  int seen = 0;
  for (Move m : LegalMoves(p, side)) {
    if (!GivesCheck(p, m, side)) continue;
    ++seen;
    EXPECT_TRUE(set.count(m)) << "checking move " << Usi(m) << " flag " << MoveFlag(m) << " missing in " << where;
  }
  return seen;
}

int RandomGames(Position& p, int side, int games, int plies, uint32_t seed) {
  return RandomWalk(p, side, games, plies, seed,
                    [](Position& q, int s, const std::vector<Move>&) { return CrossCheck(q, s); });
}

TEST(Checks, CrossCheckFromStartPosition) {
  InitTables();
  auto p = NewPosition();
  const int n = RandomGames(*p, Black, 40, 200, 99);
  std::printf("legal checking moves compared: %d\n", n);
  EXPECT_GT(n, 2000);
}

TEST(Checks, CrossCheckWithManyPiecesInHand) {
  InitTables();
  auto p = NewPosition();
  int n = 0;
  uint32_t seed = 3;
  for (const std::string& sfen : HandHeavySfens()) {
    const int side = SetSfen(*p, sfen);
    ASSERT_NE(side, 0) << sfen;
    n += RandomGames(*p, side, 8, 80, seed++);
  }
  std::printf("legal checking moves compared: %d\n", n);
  EXPECT_GT(n, 5000);
}

TEST(Checks, RookAndDragonPromotions) {
  InitTables();
  auto p = NewPosition();
  // Rook on 1c reaches 5c on the king's file (both choices, promoting first) and 4c...
  // no: 4b is diagonally adjacent to 5a and reachable from 4i only as a dragon.
  SetSfen(*p, "4k4/9/8R/9/9/9/9/9/K4R3 b - 1");
  const std::vector<std::string> t = Texts(Checks(*p, Black));
  EXPECT_TRUE(Has(t, "1c5c+") && Has(t, "1c5c="));
  EXPECT_LT(IndexOf(t, "1c5c+"), IndexOf(t, "1c5c="));
  EXPECT_TRUE(Has(t, "4i4b+"));
  EXPECT_FALSE(Has(t, "4i4b=") || Has(t, "4i4b"));
  // Outside the zone a rook check is one plain move.
  SetSfen(*p, "9/9/9/9/4k4/9/9/9/K7R b - 1");
  const std::vector<std::string> u = Texts(Checks(*p, Black));
  EXPECT_TRUE(Has(u, "1i1e") && Has(u, "1i5i"));
  EXPECT_FALSE(Has(u, "1i1e="));
}

TEST(Checks, SilverBothWays) {
  InitTables();
  auto p = NewPosition();
  // The silver on 4c moves to 4b: unpromoted it checks 5a diagonally, promoted as a gold.
  SetSfen(*p, "4k4/9/5S3/9/9/9/9/9/K8 b - 1");
  const std::vector<std::string> t = Texts(Checks(*p, Black));
  EXPECT_TRUE(Has(t, "4c4b=") && Has(t, "4c4b+"));
}

TEST(Checks, DirectAndDiscoveredWrittenOnce) {
  InitTables();
  auto p = NewPosition();
  // The silver on 5c blocks the lance on 5i: stepping to 4b it checks directly and
  // uncovers the lance; stepping back to 6d it only uncovers it.
  SetSfen(*p, "4k4/9/4S4/9/9/9/9/9/K3L4 b - 1");
  const std::vector<Move> c = Checks(*p, Black);
  const std::vector<std::string> t = Texts(c);
  EXPECT_EQ(std::count(t.begin(), t.end(), "5c4b="), 1);
  EXPECT_EQ(std::count(t.begin(), t.end(), "5c4b+"), 1);
  EXPECT_TRUE(Has(t, "5c6d+") && Has(t, "5c6d="));  // discovered only, from the zone
  CrossCheck(*p, Black);
}

TEST(Checks, PawnDrops) {
  InitTables();
  auto p = NewPosition();
  // A pawn on the file forbids the drop.
  SetSfen(*p, "4k4/9/9/9/9/9/4P4/9/K8 b P 1");
  EXPECT_FALSE(Has(Texts(Checks(*p, Black)), "P*5b"));
  // A mating pawn drop is still written (the solver refutes it, not the generator).
  SetSfen(*p, "3gkg3/9/4G4/9/9/9/9/9/K8 b P 1");
  EXPECT_TRUE(Has(Texts(Checks(*p, Black)), "P*5b"));
}

TEST(Checks, MovesAlongTheLineDoNotUncover) {
  InitTables();
  auto p = NewPosition();
  // The gold on 3e stands between the king on 5e and the rook on 1e: moving along rank e
  // keeps the line closed (2e), moving off it uncovers check (3d, 3f).
  SetSfen(*p, "9/9/9/9/4k1G1R/9/9/9/K8 b - 1");
  const std::vector<std::string> t = Texts(Checks(*p, Black));
  EXPECT_FALSE(Has(t, "3e2e"));
  EXPECT_TRUE(Has(t, "3e3f") && Has(t, "3e3d"));
  EXPECT_TRUE(Has(t, "3e4e"));  // a direct check
  CrossCheck(*p, Black);
}

TEST(Checks, PinnedPieceStillChecks) {
  InitTables();
  auto p = NewPosition();
  // The knight on 5h is pinned against the king on 5i by the rook on 5a; its jumps that
  // check the king on 7d are written all the same (the solver rejects them).
  SetSfen(*p, "4r4/9/9/2k6/9/9/9/4N4/4K4 b - 1");
  const std::vector<std::string> t = Texts(Checks(*p, Black));
  EXPECT_TRUE(Has(t, "5h6f"));
  CrossCheck(*p, Black);
}

}  // namespace
}  // namespace kestrel
