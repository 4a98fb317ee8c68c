// Transposition table: sizes, keys per side to move, mate scores, probe
// results, replacement between the depth-preferred entry and the pair, the
// principal-variation move store, and torn entries.
#include "mate/mate_table.h"
#include "search/tt.h"
#include "test_util.h"

// Lets the allocation-failure case return null under AddressSanitizer too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace kestrel {
namespace {

struct TableTest : ::testing::Test {
  HashKey keyFull = 0;
  MateTable mate;
  TranspositionTable tt{mate};
  void SetUp() override {
    test::InitTables();
    tt.SetAge(1);
    SetPosition("startpos");
  }
  // Takes the keys of another position (moves played from the start position).
  void SetPosition(const std::string& text) { keyFull = test::MakePosition(text)->keyFull; }
  HashKey Key(int side) const { return TableKey(keyFull, side); }
  ProbeOutcome At(int ply, int depth, int side) { return tt.Probe(Key(side), ply, depth, -30000, 30000); }
};

TEST_F(TableTest, SizesFromBytes) {
  ASSERT_TRUE(tt.Allocate(32000000));
  EXPECT_EQ(tt.BucketCount(), 262144u);
  ASSERT_TRUE(tt.Allocate(100));  // 75 bytes: one bucket
  EXPECT_EQ(tt.BucketCount(), 1u);
  ASSERT_TRUE(tt.Allocate(128));  // 96 bytes: two buckets
  EXPECT_EQ(tt.BucketCount(), 2u);
  // Memory that cannot be had keeps the previous table.
  EXPECT_FALSE(tt.Allocate(1ull << 60));
  EXPECT_EQ(tt.BucketCount(), 2u);
  ASSERT_NE(tt.Buckets(), nullptr);
  for (uint64_t i = 0; i < tt.BucketCount(); ++i)
    for (const TTEntry& e : tt.Buckets()[i].entry)
      EXPECT_TRUE(e.data == ClearedData && e.check == 0 && EntryAge(e.data) == 7);
}

// The other side to move never matches; mate scores are stored relative to the node
// (29995 at ply 3 reads 29997 at ply 1); an entry torn between two writes is ignored.
TEST_F(TableTest, KeysMateScoresTornEntriesAndProbeResults) {
  ASSERT_TRUE(tt.Allocate(100));
  EXPECT_EQ(ScoreToTable(-29990, 4), -29993);
  EXPECT_EQ(ScoreFromTable(-29993, 4), -29990);
  EXPECT_EQ(ScoreToTable(500, 9), 500);
  tt.Store(Key(Black), BoundExact, 3, 12, 29995, 0, 0);
  EXPECT_EQ(At(3, 12, Black).score, 29995);
  EXPECT_EQ(At(1, 12, Black).score, 29997);
  EXPECT_EQ(At(1, 12, Black).result, ProbeExactHit);
  EXPECT_EQ(At(3, 12, White).result, ProbeMiss);
  // A data word from another write with this entry's check word.
  const_cast<TTBucket*>(tt.Buckets())[0].entry[0].data ^= 1ull << 20;
  EXPECT_EQ(At(3, 8, Black).result, ProbeMiss);
  // Probe results: a cutoff at or above beta, the move always.
  ASSERT_TRUE(tt.Allocate(1 << 20));
  const Move m = EncodeMove(FlagNone, Empty, BPawn, 47, 56);
  tt.Store(Key(Black), BoundLower, 5, 16, 300, m, 1);
  ProbeOutcome o = tt.Probe(Key(Black), 5, 16, 0, 250);
  EXPECT_TRUE(o.result == ProbeLowerCut && o.move == m && o.mateThreat == 1) << o.result;
  // Below beta or too shallow: no cutoff, the move still comes out.
  EXPECT_EQ(tt.Probe(Key(Black), 5, 16, 0, 350).result, ProbeMiss);
  o = tt.Probe(Key(Black), 5, 20, 0, 250);
  EXPECT_TRUE(o.result == ProbeMiss && o.move == m) << o.result;
  // An upper bound: a cutoff at or below alpha, else "no null move" below beta.
  SetPosition("startpos moves 7g7f");
  tt.Store(Key(White), BoundUpper, 5, 16, -40, 0, 0);
  o = tt.Probe(Key(White), 5, 12, -30, 100);
  EXPECT_TRUE(o.result == ProbeUpperCut && o.move == 0 && o.mateThreat == 0) << o.result;
  EXPECT_EQ(tt.Probe(Key(White), 5, 12, -100, 100).result, ProbeSkipNull);
  EXPECT_EQ(tt.Probe(Key(White), 5, 12, -100, -50).result, ProbeMiss);
  EXPECT_EQ(tt.Probe(Key(White), 5, 20, -100, 100).result, ProbeMiss);
}

TEST_F(TableTest, DeepEntriesOfThisSearchSurviveShallowStores) {
  ASSERT_TRUE(tt.Allocate(100));  // one bucket: every position shares it
  const std::string positions[] = {"startpos", "startpos moves 7g7f", "startpos moves 2g2f",
                                   "startpos moves 5g5f", "startpos moves 1g1f"};
  SetPosition(positions[0]);
  tt.Store(Key(Black), BoundExact, 2, 40, 11, 0, 0);
  for (int i = 1; i < 5; ++i) {
    SetPosition(positions[i]);
    tt.Store(Key(White), BoundExact, 2, 8, 20 + i, 0, 0);
    EXPECT_EQ(At(2, 8, White).score, 20 + i);  // the newest always-replace entry
  }
  SetPosition(positions[0]);
  EXPECT_EQ(At(2, 40, Black).score, 11);
  EXPECT_EQ(At(2, 40, Black).result, ProbeExactHit);
  // In a later search the old deep entry gives way and moves to the pair.
  tt.SetAge(2);
  SetPosition(positions[1]);
  tt.Store(Key(White), BoundExact, 2, 4, 5, 0, 0);
  const TTEntry& first = tt.Buckets()[0].entry[0];
  EXPECT_EQ(first.check ^ first.data, Key(White));
  EXPECT_EQ(EntryAge(first.data), 2);
  SetPosition(positions[0]);
  EXPECT_EQ(At(2, 40, Black).score, 11);
  tt.SetAge(1);
}

TEST_F(TableTest, MoveStore) {
  ASSERT_TRUE(tt.Allocate(1 << 16));
  const Move m1 = EncodeMove(FlagNone, Empty, BPawn, 47, 56);
  const Move m2 = EncodeMove(FlagNone, Empty, BPawn, 43, 52);
  // A fresh entry: move only, no cutoff even at depth 0.
  tt.StoreMove(Key(Black), m1);
  ProbeOutcome o = tt.Probe(Key(Black), 0, 0, -999999, 999999);
  EXPECT_TRUE(o.result == ProbeMiss && o.move == m1) << o.result;
  // A result stored without a move keeps the position's move; a new move replaces it.
  tt.Store(Key(Black), BoundExact, 4, 12, 77, 0, 0);
  EXPECT_EQ(tt.Probe(Key(Black), 4, 12, 0, 100).move, m1);
  tt.Store(Key(Black), BoundUpper, 4, 16, 70, 0, 0);
  EXPECT_EQ(tt.Probe(Key(Black), 4, 16, 0, 100).move, m1);
  tt.Store(Key(Black), BoundExact, 4, 16, 77, m2, 0);
  tt.Store(Key(Black), BoundExact, 4, 16, 77, 0, 0);
  EXPECT_EQ(tt.Probe(Key(Black), 4, 12, 0, 100).move, m2);
  // An existing entry keeps its score and bound; only the move changes.
  tt.StoreMove(Key(Black), m1);
  EXPECT_EQ(tt.Probe(Key(Black), 4, 12, 0, 100).move, m1);
  tt.StoreMove(Key(Black), m2);
  o = tt.Probe(Key(Black), 4, 12, 0, 100);
  EXPECT_TRUE(o.result == ProbeExactHit && o.score == 77 && o.move == m2);
  // Move 0 writes nothing.
  tt.Clear();
  tt.StoreMove(Key(Black), 0);
  EXPECT_EQ(tt.Buckets()[Key(Black) & (tt.BucketCount() - 1)].entry[0].data, ClearedData);
}

}  // namespace
}  // namespace kestrel
