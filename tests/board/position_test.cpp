// Position set-up, hands, hash keys and make/unmake round trips.
#include <cstddef>

#include "test_util.h"

namespace kestrel {
namespace {

class PositionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::InitTables();
    // Distinct values for the promoted kinds, so that material shows a wrong promotion.
    test::SetPieceValues({100, 300, 350, 500, 550, 750, 900, 15000, 540, 520, 530, 560, 1000, 1200});
  }
};

// Hand words: a captured dragon goes to Black's hand as a rook, and full pawn and gold
// fields (laid out as the book file's hand word has them) do not spill into each other.
TEST_F(PositionTest, HandWords) {
  EXPECT_EQ(HandCodeFor(WDragon, Black), 12);
  Hand h = 0;
  for (int i = 0; i < 18; ++i) h = HandWithAdded(h, 0);
  for (int i = 0; i < 4; ++i) h = HandWithAdded(h, 4);
  EXPECT_EQ((h >> 20) & 31, 18u);
  EXPECT_EQ((h >> 12) & 15, 15u);
  EXPECT_EQ(HandKindCountOf(h, 4), 4);
  EXPECT_EQ(HandKindCountOf(HandWithRemoved(h, 4), 0), 18);
}

TEST_F(PositionTest, HashKeyValues) {
  EXPECT_EQ(ZobristPiece[14][0], 0x4890D6A4039B11BFull);
  auto p = test::MakePosition("startpos");
  HashKey hands = 0;
  for (int kind = 0; kind < HandKindCount; ++kind) hands ^= ZobristHand[kind][0];
  EXPECT_EQ(p->keyFull, p->keyBoard ^ hands);
  EXPECT_EQ(p->keyBoard, ComputeKeyBoard(*p));
  // All keys are distinct and non-zero.
  std::set<HashKey> seen;
  for (int c = 0; c < 30; ++c)
    for (Square s = 0; s < SquareCount && c != 24 && c != 25; ++s) seen.insert(ZobristPiece[c][s]);
  EXPECT_EQ(seen.size(), 28u * 81u);
}

// Every legal move of many random positions: make changes keys and material exactly
// as a from-scratch computation says, AdvanceKeys agrees with make, and PlayMove with
// a recorded position is taken back by TakeBackMove to the same record (keys and
// history length included; the history above its length is free space).
TEST_F(PositionTest, MakeUnmakeRoundTripsOnRandomPositions) {
  std::mt19937 rng(12345);
  int checked = 0;
  for (const std::string& text : test::SamplePositions()) {
    for (int game = 0; game < 40; ++game) {
      int side = Black;
      auto p = test::MakePosition(text, &side);
      side = test::RandomPlay(*p, side, (int)(rng() % 120), rng);
      Move buf[MaxMoves];
      Move* end = GenerateAllMoves(*p, buf, side);
      end = GenerateDrops(end, *p, side);
      for (Move* m = buf; m != end; ++m) {
        auto copy = std::make_unique<Position>(*p);
        const MoveUndo undo = PlayMove(*p, *m);
        ASSERT_TRUE(PositionIsConsistent(*p, true, true)) << MoveToUsi(*m);
        HashKey kf = p->keyFull, kb = p->keyBoard;
        Hand h0 = p->hand[0], h1 = p->hand[1];
        RecordPosition(*p, true);
        ASSERT_EQ(p->historyCount, copy->historyCount + 1);
        EXPECT_EQ(p->history[p->historyCount].keyBoard, kb);
        EXPECT_EQ(p->history[p->historyCount].hand, h0);
        TakeBackMove(*p, *m, undo);
        ASSERT_EQ(std::memcmp(p.get(), copy.get(), offsetof(Position, history)), 0) << MoveToUsi(*m);
        ASSERT_EQ(p->historyCount, copy->historyCount);
        ASSERT_EQ(std::memcmp(p->history, copy->history, sizeof(HistoryEntry) * (copy->historyCount + 1)), 0);
        std::memcpy(p.get(), copy.get(), sizeof(Position));
        AdvanceKeys(*p, *m);
        EXPECT_TRUE(p->keyFull == kf && p->keyBoard == kb && p->hand[0] == h0 && p->hand[1] == h1) << MoveToUsi(*m);
        std::memcpy(p.get(), copy.get(), sizeof(Position));
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 10000);
}

}  // namespace
}  // namespace kestrel
