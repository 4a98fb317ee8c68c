// Mate solver and "go mate": answers on composed problems, every printed line replayed
// with the legality filter, the limits, the stop flag and the depth cut-off.
#include "board/large_pages.h"
#include "book/shortcuts.h"
#include "mate/go_mate.h"
#include "mate/mate_table.h"
#include "mate/problems_from_play.h"
#include "mate/solver.h"
#include "movegen/checks.h"
#include "test_util.h"

namespace kestrel {
namespace {

using namespace test;

// Each test has its own solver (and table), stopped by its own flag.
struct MateFixture : ::testing::Test {
  std::unique_ptr<Position> p;
  int side = Black;
  std::atomic<bool> stop{false};
  std::unique_ptr<MateSolver> solver = std::make_unique<MateSolver>(&stop);
  MateTable& table = solver->Table();
  void SetUp() override {
    InitTables();
    p = NewPosition();
  }
  std::string Go(const std::string& sfen, const std::string& line = "go mate infinite") {
    side = SetSfen(*p, sfen);
    EXPECT_NE(side, 0) << sfen;
    return AnswerGoMate(line, *p, side, *solver);
  }
  // Solves a problem within `nodes` nodes, by default never giving up on a large tree.
  int Solve(const std::string& sfen, uint32_t nodes, bool giveUp = false, int plyLimit = MatePlyLimit) {
    side = SetSfen(*p, sfen);
    MateLimits limits;
    limits.nodes = nodes;
    limits.giveUpLargeTrees = giveUp;
    limits.plyLimit = plyLimit;
    return solver->Solve(*p, side, limits);
  }
};

// Replays "checkmate m1 m2 ... \n" on a copy of the root: the attacker's moves are legal
// checks, the defender's legal evasions, and the last position leaves the defender no
// legal move. Returns the number of moves, or -1 after recording the failure.
int ReplayMatingLine(const Position& root, int attacker, const std::string& answer) {
  EXPECT_EQ(answer.compare(0, 10, "checkmate "), 0) << answer;
  EXPECT_EQ(answer.substr(answer.size() - 2), " \n") << "each move is followed by a blank";
  auto p = std::make_unique<Position>(root);
  std::istringstream in(answer.substr(10));
  int s = attacker, n = 0;
  for (std::string text; in >> text; ++n, s = -s) {
    const Move m = FindLegal(*p, s, text);
    if (m == NoMove) {
      ADD_FAILURE() << "move " << n + 1 << " " << text << " is not legal in " << answer;
      return -1;
    }
    if (s == attacker) EXPECT_TRUE(GivesCheck(*p, m, s)) << text << " is no check in " << answer;
    else EXPECT_TRUE(InCheck(*p, s)) << "defender not in check before " << text;
    PlayMove(*p, m);
  }
  EXPECT_EQ(s, -attacker) << "the line ends with a defender move: " << answer;
  EXPECT_TRUE(InCheck(*p, s)) << "final position is not check: " << answer;
  EXPECT_TRUE(LegalMoves(*p, s).empty()) << "defender still has a move: " << answer;
  return n;
}

// "go mate" before any table allocation makes the default table; sizes follow a quarter
// of the bytes, and a size the machine cannot give is refused, keeping the table in place.
TEST_F(MateFixture, TableSizesAndLentMemory) {
  ASSERT_FALSE(table.Ready());
  EXPECT_EQ(Go("4k4/9/4P4/9/9/9/9/9/4K4 b G 1"), "checkmate G*5b \n");
  EXPECT_EQ(table.Entries(), 262144u);
  const std::pair<uint64_t, uint64_t> sizes[] = {{100, 1}, {1000, 8}, {64000000, 524288}, {DefaultMateHashBytes, 262144}};
  for (const auto& [bytes, entries] : sizes) {
    ASSERT_TRUE(table.Allocate(bytes));
    EXPECT_EQ(table.Entries(), entries);
  }
  EXPECT_FALSE(table.Allocate(1ull << 50));
  const uint64_t own = table.Entries();
  EXPECT_EQ(own, 262144u);
  // Memory lent for one solve: the table grows into it, a mate is found there, and the
  // table goes back to its own memory, emptied, as often as it is lent.
  std::vector<char> lent(own * sizeof(MateEntry) * 4);
  EXPECT_FALSE(table.Borrow(lent.data(), own * sizeof(MateEntry)));  // no larger
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(table.Borrow(lent.data(), lent.size()));
    EXPECT_EQ(table.Entries(), own * 4);
    EXPECT_FALSE(table.Borrow(lent.data(), lent.size()));  // not twice
    EXPECT_EQ(Go("4k4/9/4G4/9/9/9/9/9/4K4 b G 1", "go mate 1000"), "checkmate G*5b \n");
    table.ReturnMemory();
    EXPECT_EQ(table.Entries(), own);
    uint32_t phi, delta, length;
    EXPECT_FALSE(table.Probe(*p, side, &phi, &delta, &length));  // emptied
  }
  EXPECT_EQ(Go("4k4/9/4G4/9/9/9/9/9/4K4 b G 1", "go mate 1000"), "checkmate G*5b \n");
}

// Short answers and the rules behind them: a pawn-drop mate is no mate, a check that
// exposes the attacker's king is refuted (but not in a problem without that king), a
// problem without the defender's king has no mate, and a perpetual check ends by itself
// as no mate.
TEST_F(MateFixture, ShortAnswers) {
  const std::pair<const char*, const char*> cases[] = {
      {"4k4/9/4P4/9/9/9/9/9/4K4 b G 1", "checkmate G*5b \n"},
      {"lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1", "checkmate nomate\n"},
      {"7nk/7p1/9/7N1/9/9/9/9/K8 b P 1", "checkmate nomate\n"},
      {"7nk/7p1/9/7N1/9/9/9/9/K8 b G 1", "checkmate G*1b \n"},
      {"4l2lk/7p1/9/9/4R4/9/9/9/4K4 b - 1", "checkmate nomate\n"},
      {"4l2lk/7p1/9/9/4R4/9/9/9/9 b - 1", "checkmate 5e1e \n"},
      {"9/9/9/9/9/9/9/9/K7R b G 1", "checkmate nomate\n"},  // no king to mate
      {"8k/9/9/9/9/9/9/9/K7R b - 1", "checkmate nomate\n"},
  };
  for (const auto& [sfen, answer] : cases) {
    const std::string a = Go(sfen);
    EXPECT_EQ(a, answer) << sfen;
    if (a != "checkmate nomate\n") EXPECT_TRUE(ReplayMatingLine(*p, side, a) == 1 && solver->LineLength() == 1) << a;
    else EXPECT_EQ(solver->Outcome(), MateNotProved) << sfen;
  }
  EXPECT_GT(solver->Nodes(), 100u);  // the perpetual check was searched, not cut short
  // The pawn drop that would mate is no move, so the position it would reach is not kept
  // as a refutation: a pawn push from 1c reaches the same position, and mates there.
  Go("7nk/7p1/9/7N1/9/9/9/9/K8 b P 1");
  uint32_t phi, delta, length;
  SetSfen(*p, "7nk/7pP/9/7N1/9/9/9/9/K8 w - 1");
  EXPECT_TRUE(LegalMoves(*p, White).empty());
  EXPECT_FALSE(table.Probe(*p, White, &phi, &delta, &length) && phi == 0);
  // The table keeps the last proof for the root shortcuts: the line's first move, and
  // the position after it can be forgotten.
  Go("4k4/9/4P4/9/9/9/9/9/4K4 b G 1");
  std::string line;
  Move first = NoMove;
  ASSERT_TRUE(solver->AppendLine(*p, Black, line, &first));
  EXPECT_EQ(line, "G*5b ");
  EXPECT_EQ(MoveToUsi(first), "G*5b");
  const MoveUndo undo = PlayMove(*p, first);
  EXPECT_TRUE(table.Probe(*p, White, &phi, &delta, &length) && phi == MateInfinity);
  TakeBackMove(*p, first, undo);
  solver->ForgetChild(Black, *p, first);
  const MoveUndo again = PlayMove(*p, first);
  EXPECT_FALSE(table.Probe(*p, White, &phi, &delta, &length) && phi == MateInfinity);
  TakeBackMove(*p, first, again);
}

// One board, several Black hands: the table keeps them side by side and lets a settled
// result decide the hands it covers (a mate for an attacker at least as rich, a
// refutation for one at most as rich, never a refutation that rests on the path), for
// either attacker and either side to move; an open entry of the position itself gives
// way to such a result. A bucket keeps the entries with the most work.
TEST_F(MateFixture, TableCarriesResultsAcrossHands) {
  ASSERT_TRUE(table.Allocate(DefaultMateHashBytes));
  auto at = [&](const char* hand) {
    SetSfen(*p, std::string("4k4/9/9/9/9/9/9/9/4K4 b ") + hand + " 1");
    return std::ref(*p);
  };
  uint32_t phi, delta, length;
  auto probe = [&](const char* hand, int side) {
    return table.Probe(at(hand), side, &phi, &delta, &length) ? std::make_pair(phi, delta) : std::make_pair(9u, 9u);
  };
  const auto miss = std::make_pair(9u, 9u);
  for (const int attacker : {Black, White}) {
    table.attacker = attacker;
    // Black hands ordered by what the attacker holds: poor < mid < rich.
    const char* poor = attacker == Black ? "G" : "GSN";
    const char* mid = attacker == Black ? "GS" : "GS";
    const char* rich = attacker == Black ? "GSN" : "G";
    const char* other = attacker == Black ? "SN" : "GN";  // neither more nor less than mid
    for (const int side : {attacker, -attacker}) {
      // Phi and delta of a win for the attacker and for the defender, from `side`'s view.
      const uint32_t w0 = side == attacker ? 0 : MateInfinity, w1 = MateInfinity - w0;
      table.Clear();
      table.Store(at(mid), side, w0, w1, 7);
      EXPECT_EQ(probe(rich, side), std::make_pair(w0, w1)) << attacker << side;
      EXPECT_EQ(length, 7u);
      EXPECT_EQ(probe(poor, side), miss) << attacker << side;
      EXPECT_EQ(probe(other, side), miss) << attacker << side;
      EXPECT_EQ(probe(mid, -side), miss) << "the other side to move";
      table.Clear();
      table.Store(at(mid), side, w1, w0, MateInfinity);
      EXPECT_EQ(probe(poor, side), std::make_pair(w1, w0)) << attacker << side;
      EXPECT_EQ(probe(rich, side), miss) << attacker << side;
      EXPECT_EQ(probe(other, side), miss) << attacker << side;
      // A refutation that rests on the path holds for its own hand only.
      table.Store(at(mid), side, w1, w0, MatePathTag | MateSingleTag | 5);
      EXPECT_EQ(probe(poor, side), miss) << attacker << side;
      EXPECT_EQ(probe(mid, side), std::make_pair(w1, w0));
      // The position's own open entry gives way to a settled result of another hand.
      table.Clear();
      table.Store(at(rich), side, 3, 4, MateInfinity, 50);
      EXPECT_EQ(probe(rich, side), std::make_pair(3u, 4u));
      table.Store(at(mid), side, w0, w1, 9);
      EXPECT_EQ(probe(rich, side), std::make_pair(w0, w1)) << attacker << side;
    }
  }
  // Four hands share the bucket; a fifth replaces the one with the least work, and a
  // position stored again keeps its own entry.
  table.attacker = Black;
  table.Clear();
  const char* hands[] = {"P", "2P", "3P", "4P", "5P"};
  const uint32_t work[] = {5, 1, 7, 3, 4};
  for (int i = 0; i < 4; ++i) table.Store(at(hands[i]), Black, 10 + i, 20, MateInfinity, work[i]);
  table.Store(at(hands[0]), Black, 30, 20, MateInfinity, 6);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(probe(hands[i], Black).first, i == 0 ? 30u : 10u + i) << hands[i];
  table.Store(at(hands[4]), Black, 14, 20, MateInfinity, work[4]);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(probe(hands[i], Black) == miss, i == 1) << hands[i];
}

// Long problems for either attacker, answered in full (the last long enough that the
// table loses part of the proof before the line is read out), and under a time limit.
TEST_F(MateFixture, LongProblemsForBothSides) {
  const std::pair<const char*, int> problems[] = {
      {"+R4r3/G5k2/9/2n6/9/9/9/9/4K4 b B2G 1", 13},
      {"1g4k2/1+P2+S2b1/8n/9/9/9/9/9/4K4 b RGS 1", 13},
      {"l2g1g1nl/1rs2ks2/1p2pp1pp/2pp1+bp2/p4b3/2P5P/P+r1PKPPP1/9/LNSG1GSNL w N2p 1", 1},
      {"2g3Nk1/6l1s/9/3+R5/9/9/9/9/4K4 b GSNP 1", 13},
  };
  for (const auto& [sfen, least] : problems) {
    const std::string a = Go(sfen);
    const int n = ReplayMatingLine(*p, side, a);
    EXPECT_GE(n, least) << sfen << ": " << a;
    EXPECT_EQ((uint32_t)n, (uint32_t)solver->LineLength());
  }
  // A long earlier search left a huge count on the clock of the side now to move: the
  // limit still applies to this solve alone, and the game clock is not touched.
  ProcessEngine().state.rootSide = White;
  ProcessEngine().state.usedThisMove[0] = 1000000000;
  ProcessEngine().state.blackRemaining = 5000;
  const std::string a = Go("2l4k1/9/9/3r3b1/5+R3/9/9/9/4K4 b BGS 1", "go mate 60000");
  EXPECT_EQ(ProcessEngine().state.usedThisMove[0], 1000000000);
  EXPECT_EQ(ProcessEngine().state.blackRemaining, 5000);
  EXPECT_GE(ReplayMatingLine(*p, side, a), 15);
}

// A table far too small for the tree still lets the solver prove short mates: a node
// remembers what its searched children gave, so two children that push each other out
// of one bucket are not searched in turn for ever.
TEST_F(MateFixture, TinyTableAndLimits) {
  ASSERT_TRUE(table.Allocate(4000));  // 32 entries
  const char* problems[] = {
      "2+Rnk4/1G4lSs/4Gn3/9/9/9/9/9/4K4 b P 1",
      "ln+B2gsnl/1R2gk1b1/ppp2pppp/3p+R4/9/P1P5P/1P1PP1PP1/9/LNSGKGSNL b S2P 1",
      "ln+B2gsnl/4gk1b1/ppp3ppp/3p+R4/9/P1P5P/1P1PP1PP1/9/LNSGKGSNL b RS2Pp 1",
      "l2g1g1nl/1rs2ks2/1p2pp1pp/2pp1+bp2/p4b3/2P5P/P+r1PKPPP1/9/LNSG1GSNL w N2p 1",
  };
  for (const char* sfen : problems) EXPECT_EQ(Solve(sfen, 100000), 1) << sfen << ": " << solver->Nodes() << " moves";
  ASSERT_TRUE(table.Allocate(DefaultMateHashBytes));
  // Node, time and depth limits and the stop flag end a solve unproved: "timeout", never
  // "nomate"; a mate within the depth limit is still found.
  const std::string hard = "2g3Nk1/6l1s/9/3+R5/9/9/9/9/4K4 b GSNP 1";
  EXPECT_EQ(Solve(hard, 1000, true), 0);
  EXPECT_EQ(solver->Outcome(), MateLimitHit);
  EXPECT_LE(solver->Nodes(), 1001u);
  EXPECT_EQ(Go(hard, "go mate 0"), "checkmate timeout\n");
  EXPECT_EQ(Go(hard, "go mate -5000"), "checkmate timeout\n");  // not a limit-free solve
  stop = true;
  EXPECT_EQ(Go(hard, "go mate infinite"), "checkmate timeout\n");
  stop = false;
  const std::string mateIn3 = "2+Rnk4/1G4lSs/4Gn3/9/9/9/9/9/4K4 b P 1";
  EXPECT_NE(Go(mateIn3), "checkmate nomate\n");
  // Mate in three plies: its last position, the defender's without a move, is searched at
  // ply 4, so a cut-off at ply 5 still finds it and one at ply 4 does not.
  EXPECT_EQ(Solve(mateIn3, MateNodesUnlimited, false, 5), 1);
  EXPECT_EQ(Solve(mateIn3, MateNodesUnlimited, false, 4), 0);
  EXPECT_EQ(solver->Outcome(), MateLimitHit);
  EXPECT_EQ(Go("4k4/9/4P4/9/9/9/9/9/4K4 b G 1"), "checkmate G*5b \n");
}

// Positions from engine games: mates of 9 to 31 plies confirmed by an outside solver,
// and positions without one, then mates collected from the engine's own games. A mate
// is never denied, none is claimed where there is none, and every line printed replays
// as a mate (a solve that runs out of its budget fails nothing). The solves run under a
// node limit, smaller and on every fourth position only under the sanitizers;
// KESTREL_MATE_FULL=1 answers "go mate 3000" instead and prints the figures.
TEST_F(MateFixture, ProblemsFromPlay) {
  const bool full = std::getenv("KESTREL_MATE_FULL") != nullptr;
  const bool sanitized = std::getenv("KESTREL_SANITIZED") != nullptr;
  const uint32_t nodeLimit = sanitized ? 20000 : 100000;
  if (!table.Ready()) table.Allocate(DefaultMateHashBytes);
  // "go mate" in a session also has the search's idle table (three quarters of the
  // default hash); the full run solves with the same memory.
  const uint64_t lentBytes = DefaultMateHashBytes / 4 * 3;
  std::unique_ptr<void, decltype(&std::free)> lent(full ? AllocateLargeTable(lentBytes) : nullptr, &std::free);
  if (full) { ASSERT_TRUE(table.Borrow(lent.get(), lentBytes)); }
  for (const char* collection : {ProblemsFromPlay, MatesFromGames}) {
    const bool fromPlay = collection == ProblemsFromPlay;
    std::istringstream in(collection);
    std::string board, turn, hands, number;
    int plies = 0, index = 0, mates = 0, solved = 0, quiet = 0, disproved = 0;
    const int64_t start = NowMs();
    while (in >> board >> turn >> hands >> number >> plies) {
      if (sanitized && !full && !fromPlay && index++ % 4 != 0) continue;
      const std::string sfen = board + " " + turn + " " + hands + " " + number;
      std::string a, line;
      if (full) {
        a = Go(sfen, "go mate 3000");
      } else {
        const bool proved = Solve(sfen, nodeLimit) && solver->AppendLine(*p, side, line);
        a = proved                          ? "checkmate " + line + "\n"
            : solver->Outcome() == MateNotProved ? "checkmate nomate\n"
                                           : "checkmate timeout\n";
      }
      const bool found = a != "checkmate nomate\n" && a != "checkmate timeout\n";
      if (plies > 0) {
        ++mates;
        EXPECT_NE(a, "checkmate nomate\n") << sfen << " mates in " << plies;
        if (found) {
          ++solved;
          const int n = ReplayMatingLine(*p, side, a);
          EXPECT_GE(n, 1) << sfen;
          EXPECT_EQ((uint32_t)n, (uint32_t)solver->LineLength()) << sfen;
        }
      } else {
        ++quiet;
        EXPECT_FALSE(found) << sfen << ": " << a;
        disproved += a == "checkmate nomate\n";
      }
    }
    if (fromPlay) {
      EXPECT_GE(mates, 12);
      EXPECT_GE(quiet, 6);
      // Even under the node limit most are solved; a solver that loses its way shows here.
      EXPECT_GE(solved * 10, mates * 8) << solved << " of " << mates;
    } else if (!sanitized || full) {
      EXPECT_GE(mates, 100);
      EXPECT_GE(solved * 10, mates * 7) << solved << " of " << mates;
    }
    std::printf("%s: mates solved %d of %d, no-mate positions disproved %d of %d, %lld ms\n",
                fromPlay ? "problems from play" : "mates from games", solved, mates, disproved, quiet,
                (long long)(NowMs() - start));
  }
  table.ReturnMemory();
}

// The root shortcut plays a proved mate out over several turns: each move it plays is a
// check from a line that mates, whatever evasion the defender picks, until the mate.
TEST_F(MateFixture, ShortcutPlaysTheMateOut) {
  const std::string example = "1r5nl/l3s1+Sp1/1pk5p/p2Np1Sb1/1P3R3/9/P3PpPKP/5gp2/+n6NL b B2G2Pgsl4p 1";
  if (!table.Ready()) table.Allocate(DefaultMateHashBytes);
  Book book;  // no table: nothing to play from it
  for (int pick : {0, -1}) {  // the defender takes its first or its last legal move
    ASSERT_EQ(Solve(example, 2000000), 1) << solver->Outcome() << " " << solver->Nodes();
    bool sequence = true;
    int s = side;
    bool mated = false;
    for (int turn = 0; turn < 40 && !mated; ++turn) {
      std::vector<std::string> lines;
      const RootShortcutResult r =
          RootShortcuts(*p, s, false, sequence, *solver, book, [&](const std::string& l) { lines.push_back(l); });
      ASSERT_EQ(r.kind, ShortcutMate) << "turn " << turn;
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].find("info time 0 depth " + std::to_string(solver->LineLength())), 0u) << lines[0];
      ASSERT_TRUE(GivesCheck(*p, r.move, s)) << MoveToUsi(r.move);
      PlayMove(*p, r.move);
      const std::vector<Move> replies = LegalMoves(*p, -s);
      mated = replies.empty();
      if (!mated) PlayMove(*p, pick == 0 ? replies.front() : replies.back());
    }
    EXPECT_TRUE(mated);
    EXPECT_TRUE(sequence);
  }
}

}  // namespace
}  // namespace kestrel
