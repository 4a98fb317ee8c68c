// Checking-move generator: cross-checked against the legality filter (every legal
// checking move is generated, every generated legal move checks), plus set positions
// for promotions, discovered checks and pawn drops.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "test_positions.h"
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

// Random games from the start position and from positions with many pieces in hand.
TEST(Checks, CrossCheckOnRandomGames) {
  InitTables();
  auto p = NewPosition();
  int fromStart = RandomGames(*p, Black, 40, 200, 99), withHands = 0;
  uint32_t seed = 3;
  for (const std::string& sfen : HandHeavySfens()) {
    const int side = SetSfen(*p, sfen);
    ASSERT_NE(side, 0) << sfen;
    withHands += RandomGames(*p, side, 8, 80, seed++);
  }
  EXPECT_GT(fromStart, 2000);
  EXPECT_GT(withHands, 5000);
}

// Set positions for the rare cases: each is cross-checked (duplicates, soundness and
// completeness among legal moves), and the words listed are present or absent; that
// covers what the cross-check cannot: order of the promotion choices, and checks that
// are generated though illegal (the solver rejects them).
TEST(Checks, SetPositions) {
  InitTables();
  auto p = NewPosition();
  const struct {
    const char* sfen;
    std::vector<std::string> present, absent;
  } cases[] = {
      // Rook on 1c reaches 5c on the king's file (promoting first); 4b is reachable from
      // 4i only as a dragon.
      {"4k4/9/8R/9/9/9/9/9/K4R3 b - 1", {"1c5c+", "1c5c=", "4i4b+"}, {"4i4b=", "4i4b"}},
      // Outside the zone a rook check is one plain move.
      {"9/9/9/9/4k4/9/9/9/K7R b - 1", {"1i1e", "1i5i"}, {"1i1e="}},
      // Silver to 4b checks both ways.
      {"4k4/9/5S3/9/9/9/9/9/K8 b - 1", {"4c4b=", "4c4b+"}, {}},
      // The silver on 5c blocks the lance on 5i: 4b checks directly and by discovery,
      // 6d only by discovery.
      {"4k4/9/4S4/9/9/9/9/9/K3L4 b - 1", {"5c4b=", "5c4b+", "5c6d+", "5c6d="}, {}},
      // A pawn on the file forbids the drop; a mating pawn drop is still written.
      {"4k4/9/9/9/9/9/4P4/9/K8 b P 1", {}, {"P*5b"}},
      {"3gkg3/9/4G4/9/9/9/9/9/K8 b P 1", {"P*5b"}, {}},
      // Moving along the line between king and rook keeps it closed.
      {"9/9/9/9/4k1G1R/9/9/9/K8 b - 1", {"3e3f", "3e3d", "3e4e"}, {"3e2e"}},
      // A pinned knight's checking jump is written all the same.
      {"4r4/9/9/2k6/9/9/9/4N4/4K4 b - 1", {"5h6f"}, {}},
  };
  for (const auto& c : cases) {
    ASSERT_NE(SetSfen(*p, c.sfen), 0) << c.sfen;
    const std::vector<std::string> t = Texts(Checks(*p, Black));
    for (const std::string& w : c.present) EXPECT_EQ(std::count(t.begin(), t.end(), w), 1) << c.sfen << " " << w;
    for (const std::string& w : c.absent) EXPECT_FALSE(Has(t, w)) << c.sfen << " " << w;
    if (Has(t, "1c5c+")) {
      EXPECT_LT(IndexOf(t, "1c5c+"), IndexOf(t, "1c5c="));
    }
    CrossCheck(*p, Black);
  }
}

}  // namespace
}  // namespace kestrel
