// Transposition table: sizes, keys per side to move, mate scores, probe
// results, replacement between the depth-preferred entry and the pair, the
// principal-variation move store, and torn entries.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "board/state.h"
#include "search/tt.h"
#include "test_util.h"

// Lets the allocation-failure case return null under AddressSanitizer too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace kestrel {
namespace {

struct TableTest : ::testing::Test {
  std::unique_ptr<SearchBlock> block;
  void SetUp() override {
    test::InitTables();
    AllocateEngineState();
    State->age = 1;
    block = std::make_unique<SearchBlock>();
    auto p = test::MakePosition("startpos");
    std::memcpy(static_cast<void*>(&block->pos), p.get(), sizeof(Position));
  }
  // Puts another position into the block (moves played from the start position).
  void SetPosition(const std::string& text) {
    auto p = test::MakePosition(text);
    std::memcpy(static_cast<void*>(&block->pos), p.get(), sizeof(Position));
  }
  int ProbeScore(int ply, int depth, int side, int* result, int alpha = -30000, int beta = 30000) {
    int threat = 0;
    *result = Probe(*block, ply, depth, side, &alpha, beta, &threat);
    return alpha;
  }
};

TEST_F(TableTest, SizesFromBytes) {
  ASSERT_TRUE(AllocateTable(32000000));
  EXPECT_EQ(TableBits(), 18);
  EXPECT_EQ(TableBucketCount(), 262144u);
  ASSERT_TRUE(AllocateTable(100));  // 75 bytes: one bucket
  EXPECT_EQ(TableBucketCount(), 1u);
  ASSERT_TRUE(AllocateTable(128));  // 96 bytes: two buckets
  EXPECT_EQ(TableBucketCount(), 2u);
  // Memory that cannot be had keeps the previous table.
  EXPECT_FALSE(AllocateTable(1ull << 60));
  EXPECT_EQ(TableBucketCount(), 2u);
  ASSERT_NE(TableBuckets(), nullptr);
  for (uint64_t i = 0; i < TableBucketCount(); ++i)
    for (const TTEntry& e : TableBuckets()[i].entry) {
      EXPECT_EQ(e.data, ClearedData);
      EXPECT_EQ(e.check, 0u);
      EXPECT_EQ(EntryAge(e.data), 7);
    }
}

TEST_F(TableTest, OtherSideToMoveNeverMatches) {
  ASSERT_TRUE(AllocateTable(1 << 20));
  Store(*block, BoundExact, 2, 20, Black, 123, 0);
  int r;
  EXPECT_EQ(ProbeScore(2, 8, Black, &r), 123);
  EXPECT_EQ(r, ProbeExactHit);
  ProbeScore(2, 8, White, &r);
  EXPECT_EQ(r, ProbeMiss);
  EXPECT_NE(TableKey(block->pos.keyFull, Black), TableKey(block->pos.keyFull, White));
}

TEST_F(TableTest, MateScoresAreRelativeToTheNode) {
  ASSERT_TRUE(AllocateTable(1 << 20));
  EXPECT_EQ(ScoreToTable(29995, 3), 29997);
  EXPECT_EQ(ScoreFromTable(29997, 3), 29995);
  EXPECT_EQ(ScoreFromTable(29997, 1), 29997);
  EXPECT_EQ(ScoreToTable(-29990, 4), -29993);
  EXPECT_EQ(ScoreFromTable(-29993, 4), -29990);
  EXPECT_EQ(ScoreToTable(500, 9), 500);
  Store(*block, BoundExact, 3, 12, Black, 29995, 0);
  int r;
  EXPECT_EQ(ProbeScore(3, 12, Black, &r), 29995);
  EXPECT_EQ(ProbeScore(1, 12, Black, &r), 29997);
  EXPECT_EQ(r, ProbeExactHit);
}

TEST_F(TableTest, ProbeResultsAndHashMove) {
  ASSERT_TRUE(AllocateTable(1 << 20));
  const Move m = EncodeMove(FlagNone, Empty, BPawn, 47, 56);
  block->ply[5].currentMove = m;
  Store(*block, BoundLower, 5, 16, Black, 300, 1);
  int r, threat = 0, alpha = 0;
  block->ply[5].hashMove = 77;
  r = Probe(*block, 5, 16, Black, &alpha, 250, &threat);
  EXPECT_EQ(r, ProbeLowerCut);
  EXPECT_EQ(block->ply[5].hashMove, m);
  EXPECT_EQ(threat, 1);
  // Below beta or too shallow: no cutoff, the move still comes out.
  alpha = 0;
  EXPECT_EQ(Probe(*block, 5, 16, Black, &alpha, 350, &threat), ProbeMiss);
  EXPECT_EQ(Probe(*block, 5, 20, Black, &alpha, 250, &threat), ProbeMiss);
  EXPECT_EQ(block->ply[5].hashMove, m);
  // An upper bound: a cutoff at or below alpha, else "no null move" below beta.
  SetPosition("startpos moves 7g7f");
  Store(*block, BoundUpper, 5, 16, White, -40, 0);
  EXPECT_EQ(block->ply[5].hashMove, m);
  alpha = -30;
  EXPECT_EQ(Probe(*block, 5, 12, White, &alpha, 100, &threat), ProbeUpperCut);
  EXPECT_EQ(block->ply[5].hashMove, 0u);  // upper bounds carry no move
  alpha = -100;
  EXPECT_EQ(Probe(*block, 5, 12, White, &alpha, 100, &threat), ProbeSkipNull);
  alpha = -100;
  EXPECT_EQ(Probe(*block, 5, 12, White, &alpha, -50, &threat), ProbeMiss);
  alpha = -100;
  EXPECT_EQ(Probe(*block, 5, 20, White, &alpha, 100, &threat), ProbeMiss);
}

TEST_F(TableTest, DeepEntriesOfThisSearchSurviveShallowStores) {
  ASSERT_TRUE(AllocateTable(100));  // one bucket: every position shares it
  const std::string positions[] = {"startpos", "startpos moves 7g7f", "startpos moves 2g2f",
                                   "startpos moves 5g5f", "startpos moves 1g1f"};
  SetPosition(positions[0]);
  Store(*block, BoundExact, 2, 40, Black, 11, 0);
  for (int i = 1; i < 5; ++i) {
    SetPosition(positions[i]);
    Store(*block, BoundExact, 2, 8, White, 20 + i, 0);
    int r;
    EXPECT_EQ(ProbeScore(2, 8, White, &r), 20 + i);  // the newest always-replace entry
  }
  SetPosition(positions[0]);
  int r;
  EXPECT_EQ(ProbeScore(2, 40, Black, &r), 11);
  EXPECT_EQ(r, ProbeExactHit);
  // In a later search the old deep entry gives way and moves to the pair.
  State->age = 2;
  SetPosition(positions[1]);
  Store(*block, BoundExact, 2, 4, White, 5, 0);
  const TTEntry& first = TableBuckets()[0].entry[0];
  EXPECT_EQ(first.check ^ first.data, TableKey(block->pos.keyFull, White));
  EXPECT_EQ(EntryAge(first.data), 2);
  SetPosition(positions[0]);
  EXPECT_EQ(ProbeScore(2, 40, Black, &r), 11);
  // Cleared entries carry age 7: during a search of age 7 they hold the first slot
  // against a store below depth 0, otherwise they give way.
  ClearTable();
  State->age = 7;
  Store(*block, BoundLower, 2, -4, Black, 1, 0);
  EXPECT_EQ(TableBuckets()[0].entry[0].data, ClearedData);
  State->age = 3;
  Store(*block, BoundLower, 2, -4, Black, 1, 0);
  EXPECT_NE(TableBuckets()[0].entry[0].data, ClearedData);
  State->age = 1;
}

TEST_F(TableTest, PvMoveStore) {
  ASSERT_TRUE(AllocateTable(1 << 16));
  const Move m1 = EncodeMove(FlagNone, Empty, BPawn, 47, 56);
  const Move m2 = EncodeMove(FlagNone, Empty, BPawn, 43, 52);
  block->pv[RootPly].length = 2;
  block->pv[RootPly].moves[1] = m1;
  block->pv[RootPly].moves[2] = m2;
  // A fresh entry: move only, no cutoff even at depth 0.
  StorePvMove(*block, 1, Black);
  int alpha = -999999, threat = 0;
  EXPECT_EQ(Probe(*block, 0, 0, Black, &alpha, 999999, &threat), ProbeMiss);
  EXPECT_EQ(block->ply[0].hashMove, m1);
  // An existing entry keeps its score and bound; only the move changes.
  block->pv[4].length = 3;  // the node's own variation does not reach ply 4
  Store(*block, BoundExact, 4, 12, Black, 77, 0);
  alpha = 0;
  EXPECT_EQ(Probe(*block, 4, 12, Black, &alpha, 100, &threat), ProbeExactHit);
  EXPECT_EQ(block->ply[4].hashMove, 0u);
  StorePvMove(*block, 2, Black);
  alpha = 0;
  EXPECT_EQ(Probe(*block, 4, 12, Black, &alpha, 100, &threat), ProbeExactHit);
  EXPECT_EQ(alpha, 77);
  EXPECT_EQ(block->ply[4].hashMove, m2);
  // Beyond the main line nothing is written.
  ClearTable();
  StorePvMove(*block, 3, Black);
  EXPECT_EQ(Probe(*block, 0, 0, Black, &alpha, 999999, &threat), ProbeMiss);
  EXPECT_EQ(block->ply[0].hashMove, 0u);
}

TEST_F(TableTest, TornEntryIsIgnored) {
  ASSERT_TRUE(AllocateTable(100));
  Store(*block, BoundExact, 2, 20, Black, 50, 0);
  int r;
  ProbeScore(2, 8, Black, &r);
  ASSERT_EQ(r, ProbeExactHit);
  // A data word from another write with this entry's check word.
  TTEntry& e = const_cast<TTBucket*>(TableBuckets())[0].entry[0];
  e.data ^= 1ull << 20;
  ProbeScore(2, 8, Black, &r);
  EXPECT_EQ(r, ProbeMiss);
  EXPECT_EQ(block->ply[2].hashMove, 0u);
}

}  // namespace
}  // namespace kestrel
