// Parallel search: searches on several threads finish with a legal move and keep a mate
// one thread finds, a root split searches every root move, one thread never splits, a
// helper's best line reaches the main block whole, and a cut-off in one helper stops its
// siblings and their helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "eval/eval_params.h"
#include "search_fixture.h"

namespace kestrel {
namespace {

using Parallel = test::SearchFixture;

// Every position searched on four threads ends with a legal move of the root, shown at
// the head of the main line, and splits happen on the way; one thread never splits.
TEST_F(Parallel, SearchesEndWithLegalMovesAndOnlyFourThreadsSplit) {
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  const int depth = sanitized ? 4 : 5;
  for (const int threads : {1, 4}) {
    int splits = 0, searched = 0;
    for (const std::string& text : test::SamplePositions()) {
      if ((sanitized || threads == 1) && ++searched > 3) break;
      int side;
      auto p = test::MakePosition(text, &side);
      if (test::LegalMoves(*p, side).size() < 2) continue;
      SearchTo(text, depth, threads);
      const Move m = State->bestMove;
      ASSERT_NE(m, NoMove) << text;
      EXPECT_TRUE(IsLegalMove(*p, m, side)) << text << " " << MoveToUsi(m);
      // The main line starts with the best move, also when a helper found it, and is
      // legal to its end, also where it was merged from helpers.
      const PvRow& pv = MainBlock().pv[RootPly];
      EXPECT_EQ(pv.moves[RootPly], m) << text;
      for (int ply = RootPly; ply <= pv.length; ++ply, side = -side) {
        ASSERT_TRUE(IsLegalMove(*p, pv.moves[ply], side)) << text << " ply " << ply;
        MakeMove(*p, pv.moves[ply]);
      }
      splits += SplitCount();
    }
    EXPECT_EQ(splits > 0, threads > 1) << threads;
  }
}

// With random positional weights, every evaluation the search makes through its carried
// accumulators (after null moves, futility's unmake and remake, at split points and at
// the root) equals the from-scratch value, on one thread and on four.
TEST_F(Parallel, CarriedEvaluationMatchesScratchInSearches) {
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  uint64_t x = 0x9E3779B97F4A7C15ull;
  auto next = [&x] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return (int16_t)((int)(x % 61) - 30);
  };
  for (auto& row : KppTable)
    for (int16_t& w : row) w = next();
  for (auto& a : KkpTable)
    for (auto& b : a)
      for (int16_t& w : b) w = next();
  EvalWeightsPresent = true;
  verifyIncrementalEval = true;
  evalChecks = evalMismatches = 0;
  const char* positions[] = {
      "startpos moves 7g7f 3c3d 2g2f 4c4d 2f2e 2b3c 3i4h 8b4b 5i6h 5a6b",
      "sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1",
      "sfen ln1g3nl/1r1s1kg2/p1pppp1pp/6p2/1p7/2P1P4/PPSP1PPPP/2G2S1R1/LN2KG1NL b Bb 1",
  };
  for (const char* text : positions)
    for (int threads : {1, 4})
      EXPECT_NE((SearchTo(text, sanitized ? 4 : 6, threads), State->bestMove.load()), NoMove) << text;
  verifyIncrementalEval = false;
  EvalWeightsPresent = false;
  std::memset(KppTable, 0, sizeof KppTable);
  std::memset(KkpTable, 0, sizeof KkpTable);
  EXPECT_GT(evalChecks.load(), 10000u);
  EXPECT_EQ(evalMismatches.load(), 0u);
}

// Mates in eleven plies with drops, which one thread proves at depth 7, searched to depth 8
// on one, two and four threads several times: every run keeps the mate score and plays a
// main line that starts with the best move and mates, however the helpers split the work.
// (A split nested in a helper's split once rewrote the outer split's record, putting the
// deeper node's score and a stale root flag in its place.)
TEST_F(Parallel, MateFoundOnOneThreadIsKeptOnSeveral) {
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  rootMateTests = false;  // the search alone, without the solver's time-limited tests
  for (const char* text : {"sfen lns5l/4ks1g1/pp1pp1npp/2g2pp2/PP7/2p1S1P2/4P2KP/L1S2g1B1/1NG5+b w RLrn4p 1",
                           "sfen l+Bsg1gsnl/r6b1/ppp1k1ppp/9/9/P1P1P4/1P1P2PPP/4GR3/LNSGK1SNL b N3Pp 1"})
    for (const int threads : {1, 2, 4})
      for (int run = 0; run < (threads == 1 || sanitized ? 1 : 3); ++run) {
        const std::string where = std::string(text) + ", threads " + std::to_string(threads);
        EXPECT_EQ(SearchTo(text, 8, threads), MateIn(RootPly + 10)) << where;
        int side;
        auto p = test::MakePosition(text, &side);
        const PvRow& pv = MainBlock().pv[RootPly];
        ASSERT_EQ(pv.length, RootPly + 10) << where;
        EXPECT_EQ(pv.moves[RootPly], State->bestMove.load()) << where;
        for (int ply = RootPly; ply <= pv.length; ++ply, side = -side) {
          ASSERT_TRUE(IsLegalMove(*p, pv.moves[ply], side)) << where << ", ply " << ply;
          MakeMove(*p, pv.moves[ply]);
        }
        EXPECT_TRUE(test::LegalMoves(*p, side).empty()) << where;
      }
  rootMateTests = true;
}

// A root split hands out every remaining root move: only a cut-off or a decided score ends
// it early, not a mere improvement. All pieces in hand give over five hundred root moves,
// each with the nodes of its own search after one iteration shared with helpers.
TEST_F(Parallel, RootSplitSearchesEveryRootMove) {
  const std::string text = "sfen 8k/9/9/9/9/9/9/9/K8 b RBGSNLPrbgsnlp 1";
  for (const int threads : {2, 4}) {
    // Helpers that are already waiting take the split of the first iteration.
    SearchTo(text, 2, threads);
    int splits = 0;
    for (int tries = 0; tries < 3 && splits == 0; ++tries) {
      SearchTo(text, 1, threads);
      splits = SplitCount();
    }
    ASSERT_GT(splits, 0) << threads;
    ASSERT_GT(State->rootMoveCount, 500);
    for (int i = 0; i < State->rootMoveCount; ++i)
      ASSERT_GT(State->rootMoves[i].nodes, 0u) << threads << " threads, " << MoveToUsi(State->rootMoves[i].move);
  }
}

// A cut-off by one child stops every sibling and, recursively, the blocks lent from them.
TEST_F(Parallel, CutoffStopsSiblingsAndTheirHelpers) {
  auto make = [] {
    void* mem = std::calloc(1, sizeof(SearchBlock));
    return static_cast<SearchBlock*>(mem);
  };
  SearchBlock* parent = make();
  SearchBlock* winner = make();
  SearchBlock* sibling = make();
  SearchBlock* nephew = make();
  SearchBlock* unrelated = make();
  parent->children[0] = winner;
  parent->children[3] = sibling;
  sibling->children[1] = nephew;
  State->searchStatus = 0;  // only the stop flags may abort here
  StopSiblings(*parent, *winner);
  EXPECT_EQ(winner->stop.load(), 0);
  EXPECT_EQ(sibling->stop.load(), 1);
  EXPECT_EQ(nephew->stop.load(), 1);
  EXPECT_EQ(unrelated->stop.load(), 0);
  EXPECT_EQ(parent->stop.load(), 0);
  EXPECT_TRUE(SearchAborted(*nephew));
  EXPECT_FALSE(SearchAborted(*winner));
  // A second cut-off at once, by the child stopped first, leaves the first one standing.
  StopSiblings(*parent, *sibling);
  EXPECT_EQ(winner->stop.load(), 0);
  for (SearchBlock* b : {parent, winner, sibling, nephew, unrelated}) std::free(b);
}

// A helper's new best root move brings its whole line to the main block.
TEST_F(Parallel, HelperLineReachesTheMainBlockWhole) {
  SetUp("startpos");
  SearchBlock* h = static_cast<SearchBlock*>(std::calloc(1, sizeof(SearchBlock)));
  State->rootMoveCount = 2;
  State->rootMoves[0] = RootMove{11, 0, 0}, State->rootMoves[1] = RootMove{22, 0, 0};
  for (int i = 1; i <= 3; ++i) h->pv[RootPly + 1].moves[RootPly + i] = 100 + i;
  h->pv[RootPly + 1].length = RootPly + 3;
  OnNewRootBest(*h, 1, 22, 50, 100);
  const PvRow& row = MainBlock().pv[RootPly];
  EXPECT_EQ(std::vector<Move>(row.moves + RootPly, row.moves + RootPly + 4), (std::vector<Move>{22, 101, 102, 103}));
  EXPECT_EQ(row.length, RootPly + 3);
  std::free(h);
}

// A game far longer than the history keeps its most recent entries: the position
// is set up, repetitions are still seen, and a search runs on top of it.
TEST_F(Parallel, VeryLongGameKeepsRecentHistory) {
  std::string text = "startpos moves 7g7f 3c3d";
  for (int i = 0; i < 700; ++i) text += " 5i5h 5a5b 5h5i 5b5a";
  GameCursor game;
  std::string err;
  ASSERT_TRUE(SetPositionFromText(State->root, text, game, &err)) << err;
  EXPECT_EQ(game.moveCount, 2802);
  const Position& p = State->root;
  EXPECT_LT(p.historyCount + HistoryReserve, (uint32_t)HistorySize);
  EXPECT_EQ(p.history[p.historyCount].keyBoard, p.keyBoard);
  EXPECT_EQ(p.history[p.historyCount - 4].keyBoard, p.keyBoard);  // the shuffle repeats
  SearchTo(text, 4);
  EXPECT_NE(State->bestMove.load(), NoMove);
}

}  // namespace
}  // namespace kestrel
