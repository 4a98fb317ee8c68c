// The node search's rules seen from outside: repetition scores at a node, the pawn-drop
// mate score, the cut-offs near the leaves, the quiescence search's stand pat and mate
// probes, the root's easy move, and a small tactical set searched to a fixed depth on one
// thread and on four, with its main line and ponder move.
#include <gtest/gtest.h>

#include <iterator>

#include "board/score.h"
#include "eval/evaluate.h"
#include "search/engine.h"
#include "search/history.h"
#include "search_fixture.h"

namespace kestrel {
namespace {

class NodeRules : public test::SearchFixture {};

// The repetition answer for the last position of a game, as if the last `ply - 1`
// moves were the search path and the game's side to move (or the other) the root side.
TEST_F(NodeRules, RepetitionScores) {
  const std::string kings = "sfen 4k4/9/9/9/9/9/9/9/4K4 b - 1 moves ";
  const std::string shuffle = "5i5h 5a5b 5h5i 5b5a ";
  // White's rook checks the Black king on 5i and 5h in turn.
  const std::string perpetual = "sfen k8/9/9/9/9/9/9/8r/4K4 w - 1 moves 1h1i 5i5h 1i1h 5h5i 1h1i";
  // Black's rook takes a dropped pawn and goes back: the same board, Black a pawn up.
  const std::string gain = "sfen k8/9/9/9/9/9/9/4R4/8K b p 1 moves 1i1h P*5e 5h5e 9a9b 5e5h 9b8a 1h1i 8a9a";
  const std::string gainW = "sfen k8/9/9/9/9/9/9/4R4/8K w p 1 moves P*5e 5h5e 9a9b 5e5h 9b8a 1i1h 8a9a 1h1i";
  // Black's king loses a tempo on a triangle: the board repeats with the other side to move.
  const std::string tempo = "sfen k8/9/9/9/9/9/9/9/8K b - 1 moves 1i1h 9a9b 1h2i 9b9a 2i1i";
  const int vp = PieceValues[VKPawn];
  const struct {
    std::string text;
    int ply;
    bool rootIsSideToMove;
    int want;
  } cases[] = {
      {kings, 5, true, 0},                         // nothing repeats yet
      {kings + shuffle, 5, true, -2 * vp},         // a draw, bad for the root side
      {kings + shuffle, 5, false, 2 * vp},         // good when the other side is the root
      {kings + shuffle, 3, true, -vp},             // within three plies: counted, once
      {kings + shuffle, 4, true, -2 * vp},
      {kings + shuffle + shuffle, 1, true, -2 * vp},
      {kings + shuffle + shuffle + shuffle, 1, false, 3 * vp},
      {perpetual, 5, true, ScorePerpetual},        // the opponent checked throughout
      {perpetual + " 5i5h", 5, true, -ScorePerpetual},  // the side to move checked throughout
      {perpetual, 1, true, ScorePerpetual},
      {gain, 5, true, ScoreHandGain},              // Black gained, Black to move
      {gainW, 5, true, -ScoreHandGain},            // Black gained, White to move
      {tempo, 6, true, ScoreHandGain},             // other side to move, inside the path
      {tempo, 5, true, 0},                         // the same, but before the root
  };
  for (const auto& c : cases) {
    const int side = SetUp(c.text);
    ProcessEngine().state.rootSide = c.rootIsSideToMove ? side : -side;
    EXPECT_EQ(RepetitionCheck(ProcessEngine().pool.MainBlock(), c.ply, side), c.want) << c.text << " ply " << c.ply;
  }
}

// A node left without a legal move: mated, unless the move into it was a pawn drop, which
// is then the dropper's loss.
TEST_F(NodeRules, NoMoveAfterAPawnDropIsTheDroppersLoss) {
  for (const char* drop : {"P*9b", "G*9b"}) {
    const int side = SetUp("sfen kn7/9/1G7/9/9/9/9/9/8K b PG 1");
    SearchBlock& b = ProcessEngine().pool.MainBlock();
    ProcessEngine().state.rootSide = side;
    NewGameReset(ProcessEngine());
    Move m;
    std::string err;
    ASSERT_GT(ParseUsiMove(b.pos, drop, side, &m, &err), 0) << err;
    b.ply[1].currentMove = m;
    MakeSearchMove(b, 1, m, side);
    const int score = Search(b, -ScoreInfinite, ScoreInfinite, 4 * OnePly, 2, -side, false);
    UnmakeSearchMove(b, 1, m);
    EXPECT_EQ(score, drop[0] == 'P' ? ScoreRuleWin : MatedAt(2)) << drop;
  }
}

// A mate seen at the mated node (the mating move escapes a check, so no mate-in-one test
// runs before it) scores the mate's length, as one found by that test does: here a mate
// in one ply, with a one-move main line.
TEST_F(NodeRules, MateFoundAtTheMatedNodeScoresItsLength) {
  modes.rootMateTests = false;
  for (const int depth : {1, 3}) {
    const int score = SearchTo("sfen 8k/6G2/9/9/8b/9/9/9/4K3L b - 1", depth);
    EXPECT_EQ(score, MateIn(RootPly)) << depth;
    const PvRow& pv = ProcessEngine().pool.MainBlock().pv[RootPly];
    EXPECT_EQ(pv.length, RootPly) << depth;
    EXPECT_EQ(MoveToUsi(pv.moves[RootPly]), "1i1e") << depth;
  }
}

// A small tactical set, searched without the mate solver at the root: two mates in two
// (the second begins with a quiet rook drop; the root takes the first mate it proves, here
// also one in three), a knight fork that wins the rook, and a
// capture that must be refused because the gold takes the rook back. One thread and four
// must give the same moves and scores.
TEST_F(NodeRules, TacticsAtAFixedDepth) {
  modes.rootMateTests = false;
  const struct {
    const char* text;
    int depth;
    const char* move;  // "" when several moves reach the score, "!" before a refused one
    int minScore, maxScore;
  } cases[] = {
      {"sfen 7kl/9/6P2/9/9/9/9/9/K8 b GS 1", 4, "S*3b", MateIn(3), MateIn(3)},
      {"sfen 8k/9/9/9/9/9/9/9/K8 b R2G 1", 4, "", MateIn(5), MateIn(3)},
      {"sfen 3k1r3/9/9/9/9/9/9/9/4K4 b N 1", 4, "N*5c", 600, ScoreProven},
      {"sfen 4k4/9/9/5g3/4p4/9/9/4R4/4K4 b - 1", 4, "!5h5e", 0, ScoreProven},
  };
  int oneThread[std::size(cases)];
  for (const int threads : {1, 4}) {
    for (const auto& c : cases) {
      const int score = SearchTo(c.text, c.depth, threads);
      int& first = oneThread[&c - cases];
      if (threads == 1) first = score;
      EXPECT_EQ(score, first) << c.text << " threads " << threads;
      const std::string best = MoveToUsi(ProcessEngine().state.bestMove);
      if (c.move[0] == '!') {
        EXPECT_NE(best, c.move + 1) << c.text << " threads " << threads;
      } else if (*c.move) {
        EXPECT_EQ(best, c.move) << c.text << " threads " << threads;
      }
      EXPECT_GE(score, c.minScore) << c.text << " threads " << threads;
      EXPECT_LE(score, c.maxScore) << c.text << " threads " << threads;
      // The main line starts with the best move, whichever thread found it, and is legal.
      const PvRow& pv = ProcessEngine().pool.MainBlock().pv[RootPly];
      ASSERT_GE(pv.length, RootPly) << c.text;
      EXPECT_EQ(pv.moves[RootPly], ProcessEngine().state.bestMove.load()) << c.text << " threads " << threads;
      int side;
      auto p = test::MakePosition(c.text, &side);
      for (int ply = RootPly; ply <= pv.length; ++ply, side = -side) {
        ASSERT_TRUE(IsLegalMove(*p, pv.moves[ply], side)) << c.text << " ply " << ply;
        MakeMove(*p, pv.moves[ply]);
      }
      // The ponder move is the line's reply to the best move, taken from the table.
      if (pv.length > RootPly && score < ScoreProven) {
        MakeMove(ProcessEngine().state.root, ProcessEngine().state.bestMove);
        ProcessEngine().state.sideToMove = -ProcessEngine().state.sideToMove;
        SelectPonderMove(ProcessEngine());
        EXPECT_EQ(ProcessEngine().ponderMove, pv.moves[RootPly + 1]) << c.text << " threads " << threads;
      }
    }
  }
}

// What a search prints: the moves it tries and its lines; a search too short for the
// millisecond clock prints no speed rather than a nonsense one.
TEST_F(NodeRules, InfoLinesOfAVeryShortSearch) {
  modes.rootMateTests = modes.silent = false;
  std::string out;
  ProcessEngine().out = [&out](const std::string& line) { out += line + "\n"; };
  SearchTo("sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1", 2);
  ProcessEngine().out = nullptr;
  EXPECT_NE(out.find("info currmove "), std::string::npos) << out;
  EXPECT_NE(out.find(" score cp "), std::string::npos) << out;
  EXPECT_EQ(out.find(" nps -"), std::string::npos) << out;
}

// A node limit (like the clock, which is checked at the same places) ends the search
// wherever it falls, also in the root's ordering, which runs a quiescence search after
// every move and no full-width node: in this game, where the side to move is far behind
// and open to many captures, those searches alone once took 250,000 nodes and lost a
// game on time. The move played is then the first of the ordering, and legal.
TEST_F(NodeRules, NodeLimitEndsTheRootOrdering) {
  const std::string game =
      "startpos moves 1i1h 8b7b 5i6h 9c9d 4i5h 1a1b 7i7h 3c3d 6h7i 7c7d 5g5f 7d7e 5h5g 7a8b 2h5h "
      "7b7d 5f5e 1c1d 5g5f 8b7c 9g9f 7c6d 4g4f 4c4d 6g6f 8a7c 3i3h 5a6b 3h4g 3a3b 5h6h 4d4e 6f6e "
      "6d6e 5f6e 7c6e 6h6e 2b1c N*2e 1c2d 6e6f 4e4f 4g4f P*4e P*4b 4a4b S*3e 3d3e 4f4e S*2h 9f9e "
      "2h2i 6f8f 8c8d 7g7f 3e3f P*6h 3f3g+ 7f7e 7d6d 5e5d N*6g 7h6g 6d6g+";
  modes.rootMateTests = false;
  const int side = SetUp(game);
  NewGameReset(ProcessEngine());
  const uint64_t unlimited = SearchFixedDepth(ProcessEngine(), side, 1, modes);
  EXPECT_GT(unlimited, 3 * (uint64_t)TimeCheckInterval);
  modes.nodeLimit = 1;
  SetUp(game);
  const uint64_t limited = SearchFixedDepth(ProcessEngine(), side, 20, modes);
  EXPECT_LE(limited, (uint64_t)TimeCheckInterval + 1);
  int s;
  auto p = test::MakePosition(game, &s);
  EXPECT_TRUE(IsLegalMove(*p, ProcessEngine().state.bestMove, side)) << MoveToUsi(ProcessEngine().state.bestMove);
  // The tests that call the node search directly run under the last search's modes.
  ProcessEngine().modes.nodeLimit = 0;
}

// Off the principal variation, a node not in check whose evaluation clears beta by the
// static margin (one and a half pawns a ply above the first, and half a pawn), exactly
// the margin included, ends with its evaluation without searching below it; from seven
// plies on, and on the principal variation, it does not. Deeper, a node whose evaluation
// reaches beta tries the null move, which ends it without a move of its own, but not on
// the principal variation.
TEST_F(NodeRules, StaticCutoffAndNullMove) {
  SearchBlock& b = ProcessEngine().pool.MainBlock();
  // A gold up and nothing to capture or mate with.
  const std::string quiet = "sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1";
  for (const int plies : {1, 3, 6}) {
    const int margin = 3 * PawnValue / 2 * (plies - 1) + PawnValue / 2;
    for (const int over : {0, 1}) {
      NewGameReset(ProcessEngine());
      const int side = SetUp(quiet);
      const int eval = Evaluate(ProcessEngine().Weights(), b.pos, side);
      const int beta = eval - margin + over;
      b.nodes = 0;
      const int v = Search(b, beta - 1, beta, plies * OnePly, 2, side, true);
      if (over == 0) {
        EXPECT_EQ(v, eval) << plies;
        EXPECT_EQ(b.nodes, 1u) << plies;
      } else {
        EXPECT_GT(b.nodes, 1u) << plies;
      }
    }
  }
  for (const bool pv : {false, true}) {
    NewGameReset(ProcessEngine());
    const int side = SetUp(quiet);
    const int eval = Evaluate(ProcessEngine().Weights(), b.pos, side);
    b.nodes = 0;
    const int beta = eval - (pv ? 20 * PawnValue : PawnValue);
    const int v = Search(b, beta - (pv ? 10 : 1), beta, 7 * OnePly, 2, side, true);
    EXPECT_GE(v, beta) << pv;
    EXPECT_GT(b.nodes, 1u) << pv;
    EXPECT_EQ(b.ply[2].currentMove == 0, !pv) << pv;
  }
}

// The quiescence search stands pat at beta; it probes for a mate in one down to its
// sixth ply only.
TEST_F(NodeRules, QuiescenceStandPatEvasionsAndMateProbe) {
  SearchBlock& b = ProcessEngine().pool.MainBlock();
  // Rook takes rook is there, but the stand pat at beta ends the node first.
  int side = SetUp("sfen 4k4/9/9/9/4r4/9/9/4R4/4K4 b - 1");
  const int eval = Evaluate(ProcessEngine().Weights(), b.pos, side);
  EXPECT_EQ(Quiesce(b, eval - 1, eval, 2, side, 1), eval);
  EXPECT_EQ(Quiesce(b, eval - 2, eval + 1, 2, side, 1), eval + 1);  // below beta it is taken
  // G*5b mates: found by the probe at quiescence plies 1 to 6, not at 7.
  for (const int qdepth : {1, 6, 7}) {
    side = SetUp("sfen 4k4/9/4P4/9/9/9/9/9/4K4 b G 1");
    const int score = Quiesce(b, -ScoreInfinite, ScoreInfinite, 2, side, qdepth);
    if (qdepth <= 6) {
      EXPECT_EQ(score, MateIn(2)) << qdepth;
    } else {
      EXPECT_LT(score, ScoreProven) << qdepth;
    }
  }
}

// Late-move reductions: none for early moves, shallow nodes, moves that are not late
// or nodes in check; more for later moves and deeper nodes, less on the principal
// variation and for checks; always at least a ply of search left.
TEST_F(NodeRules, LateMoveReductions) {
  SearchBlock& b = ProcessEngine().pool.MainBlock();
  const int side = SetUp("startpos");
  ProcessEngine().history.Clear();
  const Move m = b.pos.board[56] == BPawn ? EncodeMove(FlagNone, Empty, BPawn, 47, 56) : 0;
  ASSERT_NE(m, 0u);
  PlyState& s = b.ply[2];
  s.lateMove = 1;
  s.inCheck = 0;
  s.givesCheck = 0;
  s.staticEval = b.ply[0].staticEval = ScoreNone;
  auto r = [&](int plies, int count, bool pv = false, int e = -OnePly) {
    return LateMoveReduction(b, 2, m, side, plies * OnePly, count, pv, e, s.givesCheck);
  };
  EXPECT_EQ(r(2, 30), 0);
  EXPECT_EQ(r(8, 1), 0);
  EXPECT_GT(r(3, 10), 0);
  EXPECT_GT(r(8, 30), r(8, 5));
  EXPECT_GT(r(16, 10), r(6, 10));
  EXPECT_LT(r(12, 20, true), r(12, 20));
  EXPECT_LE(r(4, 60), 2 * OnePly);  // four plies less the move's own leave at least one
  const int quiet = r(12, 20);
  s.givesCheck = 1;
  EXPECT_LT(r(12, 20), quiet);
  s.givesCheck = 0;
  s.inCheck = 1;
  EXPECT_EQ(r(12, 20), 0);
  s.inCheck = 0;
  s.lateMove = 0;
  EXPECT_EQ(r(12, 20), 0);
  // A move with a good history is reduced less, one with a bad history more.
  s.lateMove = 1;
  const int plain = r(12, 20);
  ProcessEngine().history.main[HistoryIndex(m, side)].store(HistoryLimit / 2);
  EXPECT_LT(r(12, 20), plain);
  ProcessEngine().history.main[HistoryIndex(m, side)].store(-HistoryLimit / 2);
  EXPECT_GT(r(12, 20), plain);
  ProcessEngine().history.Clear();
}

// Pruning before the move is made, as a decision table: quiet moves by their number, by
// futility and never when they check; losing checks by exchange near the leaves only;
// nothing at principal-variation nodes, in check or under a mate threat.
TEST_F(NodeRules, PruningBeforeTheMove) {
  SearchBlock& b = ProcessEngine().pool.MainBlock();
  // G*5b mates with the pawn's support; G*4b checks and is lost to the king; G*1e is quiet.
  const int side = SetUp("sfen 4k4/9/4P4/9/9/9/9/9/4K4 b G 1");
  ProcessEngine().history.Clear();
  auto drop = [&](const char* usi) {
    Move m = 0;
    std::string err;
    EXPECT_GT(ParseUsiMove(b.pos, usi, side, &m, &err), 0) << err;
    return m;
  };
  const Move quiet = drop("G*1e"), mate = drop("G*5b"), losing = drop("G*4b");
  const int alpha = 0;
  const struct {
    Move m;
    int plies, count, eval;
    bool pv, inCheck, threat, pruned;
  } cases[] = {
      {quiet, 1, 5, alpha, false, false, false, false},   // below the count, eval at alpha
      {quiet, 1, 6, alpha, false, false, false, true},    // 5 + 1 moves at one ply
      {quiet, 3, 13, alpha, false, false, false, false},
      {quiet, 3, 14, alpha, false, false, false, true},
      {quiet, 8, 60, alpha, false, false, false, false},  // no count rule from 8 plies on
      {quiet, 1, 2, alpha - 2 * PawnValue, false, false, false, true},       // futile
      {quiet, 1, 2, alpha - 2 * PawnValue + 1, false, false, false, false},  // one point short
      {quiet, 1, 1, alpha - 20 * PawnValue, false, false, false, false},     // the first move
      {mate, 1, 60, alpha, false, false, false, false},   // a check is never counted out
      {losing, 1, 2, alpha, false, false, false, true},   // a gold lost by exchange
      {losing, 7, 2, alpha, false, false, false, false},  // within the bound of seven plies
      {quiet, 1, 60, alpha, true, false, false, false},
      {quiet, 1, 60, alpha, false, true, false, false},
      {quiet, 1, 60, alpha, false, false, true, false},
  };
  for (const auto& c : cases) {
    PlyState& s = b.ply[2];
    s.lateMove = 1;
    s.inCheck = c.inCheck;
    s.mateThreat = c.threat;
    s.staticEval = c.eval;
    b.ply[0].staticEval = ScoreNone;  // improving: not known
    EXPECT_EQ(PrunedBeforeMaking(b, 2, c.m, side, MoveGivesCheck(b.pos, c.m, side), alpha, c.plies * OnePly, c.count,
                                 c.pv),
              c.pruned)
        << MoveToUsi(c.m) << " plies " << c.plies << " count " << c.count << " eval " << c.eval;
  }
  b.ply[2].mateThreat = 0;
}

// The root list's easy move: a clear best that recaptures the piece just taken (of the
// same kind) is one even when it wins material; a clear best that wins material without
// recapturing is not.
TEST_F(NodeRules, EasyMoveIsAClearRecaptureOrAClearSmallGain) {
  const struct {
    const char* text;
    const char* easy;  // "" for none
  } cases[] = {
      // The gold takes back the rook just taken, a gold up.
      {"sfen 4k4/4r4/9/9/4R4/4G4/9/9/4K4 w G 1 moves 5b5e", "5f5e"},
      // The same capture when nothing was just taken: too much gained to be easy.
      {"sfen 4k4/9/9/9/4r4/4G4/9/9/4K4 b RG 1", ""},
      // The rook was taken by a bishop: taking the bishop back is not of the same kind.
      {"sfen 4k4/9/2b6/9/4R4/4G4/9/9/4K4 w G 1 moves 7c5e", ""},
      // The trapped silver takes the pawn: a clear best, small below two pawns up only.
      {"sfen 4k2l1/9/9/8p/8S/9/9/9/4K4 b p 1", ""},
      {"sfen 4k2l1/9/9/8p/8S/9/9/9/4K4 b 2p 1", "1e1d"},
  };
  for (const auto& c : cases) {
    NewGameReset(ProcessEngine());
    const int side = SetUp(c.text);
    OrderRootMoves(ProcessEngine().pool.MainBlock(), side, false);
    EXPECT_EQ(ProcessEngine().state.easyMove ? MoveToUsi(ProcessEngine().state.easyMove) : std::string(), c.easy) << c.text;
  }
}

// The root's mate test: a short one before the search and, while each runs out of its
// moves, one twice as long after every iteration. A mate too long for a three-ply search
// and for the first tests is proved by a later one, reported as a mate line, and played.
TEST_F(NodeRules, RootMateTestsGrowBetweenIterations) {
  // A mate in 13 whose proof takes about 200,000 moves: the test after the third
  // iteration (2^18 moves) proves it, the three-ply search alone does not.
  const std::string text = "sfen 2g3Nk1/6l1s/9/3+R5/9/9/9/9/4K4 b GSNP 1";
  Engine& e = ProcessEngine();
  for (const bool tests : {false, true}) {
    const int side = SetUp(text);
    NewGameReset(e);
    e.mateSequenceActive = false;
    e.state.noTimeLimit = 1;
    // Tests bounded by moves, not by the clock's share for them, so that a slow build on
    // a loaded machine proves the same mate with the same tests.
    modes.fixedDepth = true;
    e.fixedDepthMateNodesLeft = 1u << 20;
    modes.depthLimit = 3;
    modes.rootMateTests = tests;
    modes.silent = false;
    std::string out;
    e.out = [&out](const std::string& line) { out += line + "\n"; };
    Think(e, side, modes);
    e.out = nullptr;
    const Move best = e.state.bestMove;
    EXPECT_EQ(e.mateSequenceActive, tests) << out;
    EXPECT_EQ(e.state.rootScore == ScoreMate, tests) << out;
    if (!tests) continue;
    // The proof took more moves than the tests before the last had.
    EXPECT_GT(e.mate.Nodes(), 1u << 17);
    const std::string length = std::to_string(e.mate.LineLength());
    EXPECT_NE(out.find(" score mate " + length + " pv " + MoveToUsi(best)), std::string::npos) << out;
  }
  modes = Silent();
  e.state.noTimeLimit = 0;
  e.mateSequenceActive = false;
}

}  // namespace
}  // namespace kestrel
