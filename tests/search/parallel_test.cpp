// Parallel search: searches on several threads finish with a legal move and find the
// mates one thread finds, a root split searches every root move, one thread never splits, a
// helper's best line reaches the main block whole, and a cut-off in one helper stops its
// siblings and their helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "eval/eval_params.h"
#include "search_fixture.h"

namespace kestrel {
namespace {

using Parallel = test::SearchFixture;

// Every position searched on four threads ends with a legal move of the root, shown at
// the head of the main line, and splits happen on the way, some of them ended by a
// helper's cut-off; one thread never splits.
TEST_F(Parallel, SearchesEndWithLegalMovesAndOnlyFourThreadsSplit) {
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  const int depth = sanitized ? 4 : 5;
  for (const int threads : {1, 4}) {
    int splits = 0, cutoffs = 0, searched = 0;
    for (const std::string& text : test::SamplePositions()) {
      if ((sanitized || threads == 1) && ++searched > 3) break;
      int side;
      auto p = test::MakePosition(text, &side);
      if (test::LegalMoves(*p, side).size() < 2) continue;
      SearchTo(text, depth, threads);
      const Move m = ProcessEngine().state.bestMove;
      ASSERT_NE(m, NoMove) << text;
      EXPECT_TRUE(IsLegalMove(*p, m, side)) << text << " " << MoveToUsi(m);
      // The main line starts with the best move, also when a helper found it, and is
      // legal to its end, also where it was merged from helpers.
      const PvRow& pv = ProcessEngine().pool.MainBlock().pv[RootPly];
      EXPECT_EQ(pv.moves[RootPly], m) << text;
      for (int ply = RootPly; ply <= pv.length; ++ply, side = -side) {
        ASSERT_TRUE(IsLegalMove(*p, pv.moves[ply], side)) << text << " ply " << ply;
        MakeMove(*p, pv.moves[ply]);
      }
      splits += ProcessEngine().pool.SplitCount();
      cutoffs += ProcessEngine().pool.SplitAbortCount();
    }
    EXPECT_EQ(splits > 0, threads > 1) << threads;
    EXPECT_EQ(cutoffs > 0, threads > 1) << threads;
  }
}

// With random positional weights, every evaluation the search makes through its carried
// accumulators (after null moves, futility's unmake and remake, at split points and at
// the root) equals the from-scratch value, on one thread and on four.
TEST_F(Parallel, CarriedEvaluationMatchesScratchInSearches) {
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  ProcessEngine().UseWeights(test::SmallRandomWeights(0x9E3779B97F4A7C15ull));
  ProcessEngine().verifyIncrementalEval = true;
  ProcessEngine().evalChecks = ProcessEngine().evalMismatches = 0;
  const char* positions[] = {
      "startpos moves 7g7f 3c3d 2g2f 4c4d 2f2e 2b3c 3i4h 8b4b 5i6h 5a6b",
      "sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1",
      "sfen ln1g3nl/1r1s1kg2/p1pppp1pp/6p2/1p7/2P1P4/PPSP1PPPP/2G2S1R1/LN2KG1NL b Bb 1",
  };
  for (const char* text : positions)
    for (int threads : {1, 4})
      EXPECT_NE((SearchTo(text, sanitized ? 4 : 6, threads), ProcessEngine().state.bestMove.load()), NoMove) << text;
  ProcessEngine().verifyIncrementalEval = false;
  ProcessEngine().UseWeights(nullptr);
  EXPECT_GT(ProcessEngine().evalChecks.load(), 10000u);
  EXPECT_EQ(ProcessEngine().evalMismatches.load(), 0u);
}

// Mates from the engine's games, drops in most of them, each with the iteration in which
// one thread first scores it (on the first, a split nested in a helper's split once
// rewrote the outer split's record and lost the mate). Searched four plies deeper on one,
// two and four threads, several times: every run keeps a mate score and plays a main line
// as long as the score says, which starts with the best move and mates. Helpers change
// the tree's shape (moves searched side by side, shared history), so a mate can come an
// iteration or three later than on one thread, but it must come.
constexpr const char* MatesWithinReach = R"(
l+Bsg1gsnl/r6b1/ppp1k1ppp/9/9/P1P1P4/1P1P2PPP/4GR3/LNSGK1SNL b N3Pp 1 7
1r5nl/l3s1+Sp1/1pk5p/p2Np1Sb1/1P3R3/9/P3PpPKP/5gp2/+n6NL b B2G2Pgsl4p 1 6
l4Sp1l/9/p1+Pp1p+P1p/9/1S1+RN3P/5Snp1/L1k+pPP1s1/3b5/1+p3GKNL b B3GNPr4p 1 4
1nks3n1/5+N2+B/2p3p2/lr3p1pp/pp2+b4/2P2PPP1/PPr5P/4K1GS1/8L w 2GS2L3Pgsnp 1 5
1n3g1n1/l2s3kl/pp3p2p/1P1pP1B2/P6pP/3P1Sp2/2+s2P1P1/5KP2/+l1P2G1NL b RBS2Pr2gn 1 6
1+P5+Rl/6g2/p+R1p1pk1p/3lpspp1/9/P4+b1PP/L1S2gP2/3G5/1NK4NL b BGSN3Psn3p 1 5
l+BR4nl/4gk1g1/pp1pppspp/6p2/P1S1P3P/3N1P3/1P1P1KPP1/2G5R/LN4sNL b BS2Pg 1 5
1ns3sn1/l3g3l/p1p2k1pp/4pNp2/2P2p3/3G2PS1/PK2PPNPP/2Bs5/L1+r5L w RBG2Pg2p 1 5
1n7/k3+N4/2pG1pp1+L/9/B2pb1G2/1p3RP2/2+lPpPK2/4g4/+p8 b RGSLP3s2nl7p 1 5
8l/2k6/4b4/3gp1NPp/1rpp1P1n1/1p1nPB2P/3G1G1+p1/3P1K3/3+rLN2L w G2SP2sl6p 1 6
l3G4/2+P6/nk2pp+R2/4s1p1p/p2p5/1P1nP3P/P2SBP1P1/6Pp1/LN2K1S1+r b BGS2L2P2gnp 1 7
7nl/3l3s1/p1+B1kp1g1/1S4ppp/1p1pP3r/N5N2/P2P1PP1N/2G3K+R1/5G2L b BGL3P2s3p 1 4
pp3k2l/2s3s2/l3+Pp1pp/2pG2pb1/P2p3nP/1PS4g1/3PGPPs1/5G1PL/1NB4NK w L2rn2p 1 6
lns5l/4ks1g1/pp1pp1npp/2g2pp2/PP7/2p1S1P2/4P2KP/L1S2g1B1/1NG5+b w RLrn4p 1 7
8l/P3+B2k1/4+SpPsp/3K2ppn/1Pp1LP1n1/5S+s1P/2PPP1N2/9/1+r6L b 2GL4Prb2gnp 1 5
lns1G+P3/1r1k2+B2/ppppp3p/5L1p1/1n1SK1pb1/2P6/PP1PP1PPP/2G2s3/L+r5NL b 2GSNP 1 5
1nB2+R3/3s5/l2k1g1p1/r2pbpp1P/pNP1p4/1PN4gS/P2PSPN2/2G1K4/L8 b G2L2Ps4p 1 6
1nBsS+R3/3g5/l2k1g1p1/r2pbpp1P/pNP1p4/1PN4gS/P2PSPN2/2G1K4/L8 b 2L2P4p 1 6
l3g3+R/1+R3b3/p1nkppn1p/1pp6/P1s5P/LP1p2P2/2P1PP3/5K3/2+s4NL b 3GSL4Pbsn 1 5
l+R1gk1B+B1/4g3+S/2pspp1p1/p2p1n1gp/L8/K1P6/P3gPPPP/sN+r6/8L w NLPsn4p 1 5
l3+RgSnl/1r7/2np1B1kp/1gps5/Pp3PG1P/2PPP4/1PNS2N2/L1KB2+p2/8L b 3Pgs3p 1 2
l6nl/2+P3Rs1/kp2p2pp/p1ps2p2/7P1/NPPpP1PGP/P1g3+b2/4g+p1RK/L1S2b2L w Gs2np 1 7
ln7/4+R4/p2P3R1/2p1+bkp2/5p2p/1P2s1Sp1/P1N2PP1P/2GGP4/+b2K1G1+lL b GSLPs2n4p 1 6
ln3g2+P/2k6/p1pp4p/5+B1p1/1r7/1LP6/PP1PPP2P/2GS1K3/LN3G2+r w GS5Pb2s2nl 1 7
ln3g2+P/2k6/p1pp4p/5+B1p1/1r7/2P6/PP1PPP2P/2GS1K3/LN3G1rL w GSL5Pb2s2n 1 6
4+R4/l2r2L2/kppp1b1Kp/p1n6/4s4/Ps4PP1/2+n3g1P/3P+p4/L7L w BG2N2g2s7p 1 5
6+R2/3g1+N2p/+Pp2b1pk1/4p2N1/3p1l1rl/4P3P/1PPP2S2/3K2G1L/LNSG2P2 b G2SN5Pbp 1 6
ln7/1r1+R5/1kpp1+S1pp/p3p4/1p7/P1Pgs1KPP/1P7/L1+n3G2/8L b B2GS2NL3Pbs3p 1 3
1nk1p2nl/l1s1g1g2/5Pp2/pN1+S4p/1+B1PP1gp1/P7P/1PN4sL/L1G3+r2/K8 b RB6Psp 1 4
5s2l/4lgkg1/1S+P1ppnpp/1+R+B1n1p2/6n2/BP3P3/1p1gP1PPP/2+r1LK3/5G1+s+s w 5Pnl 1 6
6snl/4+B2k1/pp2+Pplpp/4N1p2/P3+r4/7P1/4s+sL1P/2+bp3R1/5GKNL w G2gsn7p 1 7
+P5Snl/4+B2sk/g1+B3gpp/p4N3/2pp3P1/N+r2pS2P/P+p+p2PP2/4R4/3PK2NL b GS2LPg2p 1 7
3g3+R1/4kg+Ppl/p2sp3p/2pp1pp2/4P4/1p4P2/3PBPK1P/1S7/3B4L b RG2S4N2L2Pgp 1 6
)";

TEST_F(Parallel, MatesWithinReachAreFoundOnEveryThreadCount) {
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  modes.rootMateTests = false;  // the search alone, without the solver's tests at the root
  std::istringstream in(MatesWithinReach);
  int positions = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    ++positions;
    const size_t cut = line.rfind(' ');
    const std::string text = "sfen " + line.substr(0, cut);
    const int depth = std::stoi(line.substr(cut + 1)) + 4;
    for (const int threads : {1, 2, 4})
      for (int run = 0; run < (threads == 1 || sanitized ? 1 : 3); ++run) {
        const std::string where = text + ", threads " + std::to_string(threads);
        const int score = SearchTo(text, depth, threads);
        ASSERT_GT(score, ScoreProven) << where;
        int side;
        auto p = test::MakePosition(text, &side);
        const PvRow& pv = ProcessEngine().pool.MainBlock().pv[RootPly];
        ASSERT_EQ(pv.length, ScoreInfinite - score) << where;  // the ply of the mating move
        EXPECT_EQ(pv.moves[RootPly], ProcessEngine().state.bestMove.load()) << where;
        for (int ply = RootPly; ply <= pv.length; ++ply, side = -side) {
          ASSERT_TRUE(IsLegalMove(*p, pv.moves[ply], side)) << where << ", ply " << ply;
          MakeMove(*p, pv.moves[ply]);
        }
        EXPECT_TRUE(test::LegalMoves(*p, side).empty()) << where;
      }
  }
  EXPECT_GE(positions, 30);
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
      splits = ProcessEngine().pool.SplitCount();
    }
    ASSERT_GT(splits, 0) << threads;
    ASSERT_GT(ProcessEngine().state.rootMoveCount, 500);
    for (int i = 0; i < ProcessEngine().state.rootMoveCount; ++i)
      ASSERT_GT(ProcessEngine().state.rootMoves[i].nodes, 0u) << threads << " threads, " << MoveToUsi(ProcessEngine().state.rootMoves[i].move);
  }
}

// A cut-off by one child stops every sibling and, recursively, the blocks lent from them.
TEST_F(Parallel, CutoffStopsSiblingsAndTheirHelpers) {
  auto make = [] {
    SearchBlock* b = static_cast<SearchBlock*>(std::calloc(1, sizeof(SearchBlock)));
    b->engine = &ProcessEngine();
    return b;
  };
  SearchBlock* parent = make();
  SearchBlock* winner = make();
  SearchBlock* sibling = make();
  SearchBlock* nephew = make();
  SearchBlock* unrelated = make();
  parent->children[0] = winner;
  parent->children[3] = sibling;
  sibling->children[1] = nephew;
  ProcessEngine().state.searchStatus = 0;  // only the stop flags may abort here
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
  h->engine = &ProcessEngine();
  ProcessEngine().state.rootMoveCount = 2;
  ProcessEngine().state.rootMoves[0] = RootMove{11, 0, 0}, ProcessEngine().state.rootMoves[1] = RootMove{22, 0, 0};
  for (int i = 1; i <= 3; ++i) h->pv[RootPly + 1].moves[RootPly + i] = 100 + i;
  h->pv[RootPly + 1].length = RootPly + 3;
  OnNewRootBest(*h, 1, 22, 50, 100);
  const PvRow& row = ProcessEngine().pool.MainBlock().pv[RootPly];
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
  ASSERT_TRUE(SetPositionFromText(ProcessEngine().state.root, text, game, &err)) << err;
  EXPECT_EQ(game.moveCount, 2802);
  const Position& p = ProcessEngine().state.root;
  EXPECT_LT(p.historyCount + HistoryReserve, (uint32_t)HistorySize);
  EXPECT_EQ(p.history[p.historyCount].keyBoard, p.keyBoard);
  EXPECT_EQ(p.history[p.historyCount - 4].keyBoard, p.keyBoard);  // the shuffle repeats
  SearchTo(text, 4);
  EXPECT_NE(ProcessEngine().state.bestMove.load(), NoMove);
}

}  // namespace
}  // namespace kestrel
