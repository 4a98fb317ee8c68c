// The checking-move and evasion generators, cross-checked against the legality filter
// on random games (every legal checking move or evasion is generated, every generated
// legal move checks or evades), plus set positions for the rare rules.
#include "movegen/checks.h"
#include "movegen/evasions.h"
#include "test_util.h"

namespace kestrel {
namespace {

using namespace test;

std::vector<Move> Checks(Position& p, int side) {
  Move buf[MaxMoves];
  return std::vector<Move>(buf, GenerateChecks(p, buf, side));
}
std::vector<Move> Evasions(Position& p, int side, int withUnpromoted) {
  Move buf[MaxMoves];
  return std::vector<Move>(buf, GenerateEvasions(p, buf, side, withUnpromoted));
}
std::vector<std::string> Texts(const std::vector<Move>& v) { return MoveTexts(v.data(), v.data() + v.size()); }

// Compares the evasions of a side in check with the legal moves; returns the number
// of positions compared (1) after recording any disagreement as a test failure.
int CrossCheckEvasions(Position& p, int side, const std::string& where) {
  if (!InCheck(p, side)) return 0;
  const std::vector<Move> ev = Evasions(p, side, 1);
  std::set<Move> evSet(ev.begin(), ev.end());
  EXPECT_EQ(evSet.size(), ev.size()) << "duplicate evasion in " << where;
  for (Move m : ev)
    EXPECT_TRUE(IsLegalMove(p, m, side) || IsPawnDropMate(p, m, side))
        << "illegal evasion " << MoveToUsi(m) << " flag " << MoveFlag(m) << " in " << where;
  for (Move m : LegalMoves(p, side))
    EXPECT_TRUE(evSet.count(m)) << "legal move " << MoveToUsi(m) << " flag " << MoveFlag(m)
                                << " missing from evasions in " << where;
  // Without unpromoted choices the list drops exactly the flag-3 moves of rooks,
  // bishops, pawns and lances going to the zone's second rank.
  const std::vector<Move> ev0 = Evasions(p, side, 0);
  std::set<Move> ev0Set(ev0.begin(), ev0.end());
  for (Move m : ev0) EXPECT_TRUE(evSet.count(m)) << MoveToUsi(m) << " only without unpromoted, " << where;
  for (Move m : ev) {
    const int kind = MovePiece(m) & ~1, row = RowOfSquare(MoveTo(m));
    const bool secondRank = side == Black ? row == 1 : row == 7;
    const bool optional = MoveFlag(m) == FlagNoPromote &&
                          (kind == BRook || kind == BBishop || kind == BPawn || (kind == BLance && secondRank));
    EXPECT_EQ(ev0Set.count(m) == 0, optional) << MoveToUsi(m) << " flag " << MoveFlag(m) << " without unpromoted, " << where;
  }
  return 1;
}

// Cross-checks the checking moves of one position, and the evasions after each legal
// checking move; returns the number of legal checking moves seen.
int CrossCheckChecks(Position& p, int side) {
  const std::vector<Move> checks = Checks(p, side);
  const std::string where = PositionToSfen(p, side);
  std::set<Move> set(checks.begin(), checks.end());
  EXPECT_EQ(set.size(), checks.size()) << "duplicate check in " << where;
  Move buf[MaxMoves];
  std::set<Move> pseudo(buf, GenerateDrops(GenerateAllMoves(p, buf, side), p, side));
  // The check test made without playing the move agrees with playing it, on every
  // pseudo-legal move (legal or not).
  for (Move m : pseudo) EXPECT_EQ(MoveGivesCheck(p, m, side), GivesCheck(p, m, side)) << MoveToUsi(m) << " in " << where;
  // So does the search's shortcut for a move that leaves its own king attacked.
  const bool inCheck = InCheck(p, side);
  for (Move m : pseudo) {
    const MoveUndo u = PlayMove(p, m);
    EXPECT_EQ(LeftInCheck(p, m, side, inCheck), InCheck(p, side)) << MoveToUsi(m) << " in " << where;
    TakeBackMove(p, m, u);
  }
  for (Move m : checks) {
    EXPECT_TRUE(pseudo.count(m)) << "not a move: " << MoveToUsi(m) << " flag " << MoveFlag(m) << " in " << where;
    EXPECT_TRUE(!pseudo.count(m) || !IsLegalMove(p, m, side) || GivesCheck(p, m, side))
        << MoveToUsi(m) << " gives no check in " << where;
  }
  int seen = 0;
  for (Move m : LegalMoves(p, side)) {
    if (!GivesCheck(p, m, side)) continue;
    ++seen;
    EXPECT_TRUE(set.count(m)) << "checking move " << MoveToUsi(m) << " flag " << MoveFlag(m) << " missing in " << where;
    const MoveUndo k = PlayMove(p, m);
    CrossCheckEvasions(p, -side, where + " after " + MoveToUsi(m));
    TakeBackMove(p, m, k);
  }
  return seen;
}

// Random games from the start position and from positions with many pieces in hand.
TEST(ChecksAndEvasions, CrossCheckOnRandomGames) {
  InitTables();
  auto p = NewPosition();
  const auto visit = [](Position& q, int s, const std::vector<Move>&) { return CrossCheckChecks(q, s); };
  const HashKey startKey = p->keyFull;
  const int fromStart = RandomWalk(*p, Black, 40, 200, 99, visit);
  EXPECT_EQ(p->keyFull, startKey);
  int withHands = 0;
  uint32_t seed = 3;
  for (const std::string& sfen : HandHeavySfens()) {
    const int side = SetSfen(*p, sfen);
    ASSERT_NE(side, 0) << sfen;
    withHands += RandomWalk(*p, side, 10, 80, seed++, visit);
  }
  EXPECT_GT(fromStart, 2000);
  EXPECT_GT(withHands, 5000);
}

// Set positions for the rare cases: each is cross-checked (duplicates, soundness and
// completeness among legal moves), and the words listed are present or absent; that
// covers what the cross-check cannot: order of the promotion choices, and checks that
// are generated though illegal (the solver rejects them).
TEST(ChecksAndEvasions, SetPositions) {
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
    for (const std::string& w : c.absent) EXPECT_EQ(std::count(t.begin(), t.end(), w), 0) << c.sfen << " " << w;
    const auto at = [&](const char* w) { return std::find(t.begin(), t.end(), w) - t.begin(); };
    EXPECT_LE(at("1c5c+"), at("1c5c="));  // the promoting choice first
    CrossCheckChecks(*p, Black);
  }
  // Evasions in set positions for the rare rules, each cross-checked both ways (with and without the
  // unpromoted choices): double check, the king's own shadow on the checking line, knight
  // and adjacent checks (no interposing drops), a pinned capturer, promotion choices in
  // the zone, lance captures by rank, and pawn and knight drop restrictions.
  for (const char* sfen : {
           "k3r4/9/9/9/8b/9/9/3G5/4K4 b G 1", "4r4/9/9/9/4K4/9/9/9/8k b - 1",
           "8k/9/9/9/9/3n5/9/4K4/9 b RBGSNLP 1", "8k/9/9/9/9/9/4r4/4K4/9 b RBGSNLP 1",
           "4r3k/9/9/9/9/9/5n3/4G4/4K4 b - 1", "8k/9/K5r2/9/9/9/9/9/6R2 b - 1",
           "8k/9/K5r2/5S3/9/9/9/9/9 b - 1", "8k/9/2b6/9/K8/9/9/9/2L6 b - 1",
           "8k/2b6/9/K8/9/9/9/9/2L6 b - 1", "2b5k/9/K8/9/9/9/9/9/2L6 b - 1",
           "4r3k/9/9/9/4K4/9/9/9/4P4 b PN 1", "4r3k/9/9/9/4K4/9/9/9/9 b P 1",
           "K3r3k/9/9/9/9/9/9/9/9 b PLN 1"}) {
    ASSERT_NE(SetSfen(*p, sfen), 0) << sfen;
    EXPECT_EQ(CrossCheckEvasions(*p, Black, sfen), 1) << "not in check: " << sfen;
  }
  // The promoting choice comes first.
  SetSfen(*p, "8k/9/K5r2/9/9/9/9/9/6R2 b - 1");
  const std::vector<std::string> words = Texts(Evasions(*p, Black, 1));
  const auto at = [&](const char* w) { return std::find(words.begin(), words.end(), w) - words.begin(); };
  EXPECT_LT(at("3i3c+"), at("3i3c="));
  EXPECT_LT(at("3i3c="), (long)words.size());
}

}  // namespace
}  // namespace kestrel
