// Time management on a fake clock: the plan for each kind of clock, the clock
// accounting, and the stop decision as a function of the clock and the search's state.
#include "search/search_modes.h"
#include "search/timeman.h"
#include "test_util.h"

namespace kestrel {
namespace {

int64_t FakeNow = 0;
int64_t FakeClock() { return FakeNow; }

struct TimeTest : ::testing::Test {
  SearchModes modes;
  std::unique_ptr<TimeManager> owned;
  TimeManager* tm = nullptr;
  void SetUp() override {
    std::memset(static_cast<void*>(&ProcessEngine().state), 0, sizeof(SearchState));  // a fresh state
    ProcessEngine().state.iterationDepth = 1;
    ProcessEngine().state.timeMarginMs = 1000;
    PieceValues[VKPawn] = 100;  // P2 = 200
    DeriveMaterialTables();
    FakeNow = 1000000;
    owned = std::make_unique<TimeManager>(ProcessEngine().state, modes);
    tm = owned.get();
    tm->SetClock(FakeClock);
    tm->movesToGo = 60;  // the stop tables below are written for a horizon of 60 moves
  }
  // Starts a search for Black with the given clock (milliseconds).
  void Start(int64_t btime, int64_t byoyomi) {
    ProcessEngine().state.blackRemaining = btime;
    ProcessEngine().state.byoyomi = byoyomi;
    tm->StartMoveClock(Black);
    tm->ComputeBudget();
    tm->SetEasyTime();
  }
  bool After(int64_t ms) {
    FakeNow += ms;
    return tm->TimeUp();
  }
  // Finishes iterations 1, 2, ... with the best moves `bests` (a letter each), all
  // scored 0 at no cost in time but the last, which ends `ms` later with `lastScore`,
  // and the one two before it, scored `twoBack`. Returns whether the last one stops.
  bool Iterate(const char* bests, int lastScore, int64_t ms, int twoBack = 0) {
    const int n = (int)std::strlen(bests);
    for (int d = 1; d < n; ++d)
      EXPECT_FALSE(tm->StopAfterIteration(d, d == n - 2 ? twoBack : 0, (Move)bests[d - 1])) << bests;
    FakeNow += ms;
    return tm->StopAfterIteration(n, lastScore, (Move)bests[n - 1]);
  }
};

// Normal and maximal time for given clocks (margin 1 s, 60 moves to go).
TEST_F(TimeTest, PlansForEachKindOfClock) {
  struct Case {
    int64_t remaining, byoyomi, increment, budget, maxTime;
  } cases[] = {
      // Byoyomi: the share of the clock plus the byoyomi; a share above 30 s is capped
      // and gets no byoyomi. The maximum stops at clock + byoyomi - margin.
      {0, 10000, 0, 10000, 9000},
      {10000, 30000, 0, 30166, 39000},
      {3600000, 30000, 0, 30000, 120000},
      {3, 1000, 0, 1000, 3},  // (a margin of 1 s given here: more than the byoyomi)
      // Increment: the share of the clock plus the increment the move earns.
      {20000, 0, 2000, 2333, 9332},
      {3600000, 0, 10000, 40000, 160000},  // the share is capped at 30 s
      {5000, 0, 2000, 2083, 4000},         // the maximum stops short of the margin
      // A clock below the increment: never more than the clock holds now.
      {1500, 0, 2000, 500, 500},
      {500, 0, 2000, 0, 0},
      // Sudden death: 4 s are kept back from the share.
      {60000, 0, 0, 933, 3732},
      {4500, 0, 0, 8, 32},
      {3999, 0, 0, 0, 0},
      {3600000, 0, 0, 30000, 120000},
      // Byoyomi and increment together: both are counted, within clock + byoyomi - margin.
      {60000, 10000, 5000, 16000, 64000},
      {0, 10000, 5000, 9000, 9000},
  };
  for (const Case& c : cases) {
    const TimePlan plan = PlanMove(c.remaining, c.byoyomi, c.increment, 1000, 60);
    EXPECT_EQ(plan.budget, c.budget) << c.remaining << " " << c.byoyomi << " " << c.increment;
    EXPECT_EQ(plan.maxTime, c.maxTime) << c.remaining << " " << c.byoyomi << " " << c.increment;
    EXPECT_LE(plan.preSearch, plan.budget / 3);
  }
}

// The engine's plan: the main time spread over 35 moves whatever earlier moves did, the
// root side's own increment, and the easy-move time (a third of a budget of 10 s or more).
TEST_F(TimeTest, BudgetFromTheEngineState) {
  struct Case {
    int64_t btime, byoyomi, blackInc, whiteInc;
    int64_t budget, easyTime;
  } cases[] = {
      {3600000, 30000, 0, 0, 30000, 10000},  // a share above 30 s is capped
      {700000, 1000, 0, 0, 21000, 7000},
      {330000, 1000, 0, 0, 10428, 3476},
      {300000, 1000, 0, 0, 9571, 0},  // too short for an easy move
      {0, 9999, 0, 0, 9999, 0},
      {20000, 0, 0, 2000, 457, 0},  // Black plays sudden death: 16 s / 35
      {20000, 0, 2000, 0, 2571, 0},
  };
  tm->movesToGo = TimeManager(ProcessEngine().state, modes).movesToGo;
  for (const auto& c : cases) {
    ProcessEngine().state.blackIncrement = c.blackInc;
    ProcessEngine().state.whiteIncrement = c.whiteInc;
    ProcessEngine().state.easyMove = 1234;
    Start(c.btime, c.byoyomi);
    EXPECT_EQ(ProcessEngine().state.budget, c.budget) << c.btime;
    EXPECT_EQ(ProcessEngine().state.easyTime, c.easyTime) << c.btime;
  }
  ProcessEngine().state.easyMove = 0;
  Start(3600000, 30000);
  EXPECT_EQ(ProcessEngine().state.easyTime, 0);
}

// Whether the search must stop inside an iteration, for one state of the clock and of
// the search, checked `ms` after the search started, the iterations `record` finished.
TEST_F(TimeTest, StopDecisions) {
  enum : int { Ponder = 1, NoLimit = 2 };
  constexpr Move A = 'A', B = 'B';
  constexpr int Inf = ScoreInfinite;
  constexpr int64_t M = DefaultByoyomiMarginMs;  // the byoyomi's answering margin
  struct Case {
    const char* what;
    int64_t btime, byoyomi;
    const char* record;
    int64_t ms;
    int mode, depth;
    Move best, easy;
    uint8_t flags0, flags1;
    int score, previous, alpha;
    bool stop;
  } cases[] = {
      // 600 s sudden death: T = 9933, maximum 39732. Four iterations on one move leave
      // the budget as it is, nine halve it, a move changing at each raise it to 220 %.
      {"within the budget", 600000, 0, "AAAA", 9932, 0, 5, A, 0, 0, 0, 0, 0, -400, false},
      {"no move yet", 600000, 0, "AAAA", 39732, 0, 5, 0, 0, 0, 0, 0, 0, -400, false},
      {"first move on its window", 600000, 0, "AAAA", 9933, 0, 5, A, 0, 0x40, 0, -400, 0, -400, true},
      {"score within P2", 600000, 0, "AAAA", 9933, 0, 5, A, 0, 0x40, 0x40, -200, 0, -400, true},
      {"score fell more than P2", 600000, 0, "AAAA", 9933, 0, 5, A, 0, 0x40, 0x40, -201, 0, -400, false},
      {"failed below the window", 600000, 0, "AAAA", 9933, 0, 5, A, 0, 0x40, 0x40, -400, 0, -400, false},
      {"fail low", 600000, 0, "AAAA", 9933, 0, 5, A, 0, 0x41, 0, -Inf, 0, -Inf, false},
      {"fail low, maximum not yet", 600000, 0, "AAAA", 39731, 0, 5, A, 0, 0x41, 0, -Inf, 0, -Inf, false},
      {"fail low, maximum spent", 600000, 0, "AAAA", 39732, 0, 5, A, 0, 0x41, 0, -Inf, 0, -Inf, true},
      {"new best move", 600000, 0, "AAAA", 9933, 0, 5, B, 0, 0x40, 0x40, 100, 0, -400, false},
      {"iteration 3 runs on", 600000, 0, "AA", 39731, 0, 3, A, 0, 0x40, 0, -400, 0, -400, false},
      {"iteration 3, maximum spent", 600000, 0, "AA", 39732, 0, 3, A, 0, 0x40, 0, -400, 0, -400, true},
      {"stable move, early", 600000, 0, "AAAAAAAAA", 4965, 0, 10, A, 0, 0x40, 0, 0, 0, -400, false},
      {"stable move at half", 600000, 0, "AAAAAAAAA", 4966, 0, 10, A, 0, 0x40, 0, 0, 0, -400, true},
      {"unstable move, below", 600000, 0, "ABAB", 21851, 0, 5, B, 0, 0x40, 0, 0, 0, -400, false},
      {"unstable move at 220 %", 600000, 0, "ABAB", 21852, 0, 5, B, 0, 0x40, 0, 0, 0, -400, true},
      // The easy move (byoyomi 10 s: T 10000, easy time 3333) stops once its time is
      // used, unless the score fell by more than P2.
      {"easy move", 0, 10000, "", 3333, 0, 1, 7, 7, 0, 0, -100, 100, -99, true},
      {"easy move, early", 0, 10000, "", 3332, 0, 1, 7, 7, 0, 0, -100, 100, -99, false},
      {"easy move, score fell", 0, 10000, "", 3333, 0, 1, 7, 7, 0, 0, -101, 100, -99, false},
      {"another best move", 0, 10000, "", 3333, 0, 1, 8, 7, 0, 0, 0, 0, -99, false},
      // Byoyomi only: more than byoyomi - its default margin (M) used.
      {"byoyomi margin", 0, 10000, "AAAAAAAAA", 10000 - M, 0, 10, A, 0, 0, 0, 0, 0, -99, false},
      {"byoyomi spent", 0, 10000, "", 10001 - M, 0, 1, 1, 0, 0, 0, 0, 0, -99, true},
      {"short byoyomi", 0, 1000, "", 1000 - M, 0, 1, 1, 0, 0, 0, 0, 0, -99, false},
      {"short byoyomi spent", 0, 1000, "", 1001 - M, 0, 1, 1, 0, 0, 0, 0, 0, -99, true},
      // Without byoyomi the margin is never spent, move or no move; an empty clock loses.
      {"margin kept", 1500, 0, "", 499, 0, 1, 0, 0, 0, 0, 0, 0, -99, false},
      {"margin reached", 1500, 0, "", 500, 0, 1, 0, 0, 0, 0, 0, 0, -99, true},
      {"half a second left", 500, 0, "", 1, 0, 1, 0, 0, 0, 0, 0, 0, -99, true},
      {"flagged", 500, 0, "", 600, 0, 1, 0, 0, 0, 0, 0, 0, -99, true},
      {"pondering", 1000, 0, "", 5000, Ponder, 6, 1, 0, 0, 0, 0, 0, -99, false},
      {"infinite", 1000, 0, "", 5000, NoLimit, 6, 1, 0, 0, 0, 0, 0, -99, false},
  };
  for (const auto& c : cases) {
    ProcessEngine().state.resultCode = 0;
    ProcessEngine().state.pondering = (c.mode & Ponder) != 0;
    ProcessEngine().state.noTimeLimit = (c.mode & NoLimit) != 0;
    ProcessEngine().state.easyMove = c.easy;
    Start(c.btime, c.byoyomi);
    for (int d = 1; c.record[d - 1] != 0; ++d) tm->StopAfterIteration(d, 0, (Move)c.record[d - 1]);
    ProcessEngine().state.bestMove = c.best;
    ProcessEngine().state.iterationDepth = c.depth;
    ProcessEngine().state.rootMoveCount = 3;
    ProcessEngine().state.rootMoves[0].flags = c.flags0;
    ProcessEngine().state.rootMoves[1].flags = c.flags1;
    ProcessEngine().state.rootMoves[2].flags = 0;
    ProcessEngine().state.rootScore = c.score;
    ProcessEngine().state.previousScore = c.previous;
    ProcessEngine().state.rootAlpha = c.alpha;
    EXPECT_EQ(After(c.ms), c.stop) << c.what;
    EXPECT_EQ(ProcessEngine().state.resultCode, std::string(c.what) == "flagged" ? ResultFlagged : 0) << c.what;
  }
}

// With main time, the first time at which a finished iteration ends the search: when
// 60 % of the budget scaled by the iterations is used (the next one, costing about as
// much as all before, could not end within it). The best moves of the iterations and
// the scores of the last one and of the one two before it (the others 0) decide the
// factor; a fall counts from the better of the two iterations before the last.
TEST_F(TimeTest, StopBetweenIterations) {
  struct Case {
    const char* what;
    int64_t btime, increment;
    const char* bests;
    int lastScore, twoBack;
    int64_t firstStop;
  } cases[] = {
      // 600 s sudden death: T = 9933, maximum 39732; P2 = 200.
      {"first iterations: the budget", 600000, 0, "AAA", 0, 0, 9933},
      {"settled move: 60 % of T", 600000, 0, "AAAA", 0, 0, 5960},
      {"held 6 iterations: 80 %", 600000, 0, "AAAAAA", 0, 0, 4768},
      {"held 9 or more: half", 600000, 0, "AAAAAAAAAAAA", 0, 0, 2980},
      {"change 4 iterations ago forgotten", 600000, 0, "AAABBBB", 0, 0, 5960},
      {"new best move: 140 %", 600000, 0, "AAAB", 0, 0, 8344},
      {"a change at each: 220 %", 600000, 0, "ABAB", 0, 0, 13112},
      {"fell P2: 150 %", 600000, 0, "AAAA", -200, 0, 8940},
      {"fell P2 from two back", 600000, 0, "AAAA", 0, 200, 8940},
      {"failed low: 200 %", 600000, 0, "AAAA", -500, 0, 11920},
      {"held long, failed low: 150 %", 600000, 0, "AAAAAAAAA", -500, 0, 8940},
      {"unstable, failed low: 250 %", 600000, 0, "ABAB", -500, 0, 14900},
      // 5 s + 2 s a move: T = 2083, but 250 % is cut to the maximum of 4000.
      {"within the maximum", 5000, 2000, "ABAB", -500, 0, 2400},
  };
  for (const Case& c : cases) {
    for (const int64_t ms : {c.firstStop - 1, c.firstStop}) {
      ProcessEngine().state.blackIncrement = c.increment;
      Start(c.btime, 0);
      EXPECT_EQ(Iterate(c.bests, c.lastScore, ms, c.twoBack), ms == c.firstStop) << c.what << " at " << ms;
    }
  }
}

// In the byoyomi the time not used is lost: no iteration ends the search early (the
// time check stops it at byoyomi - margin), nor while pondering or without a limit.
TEST_F(TimeTest, NeverStoppedBetweenIterations) {
  Start(0, 10000);
  EXPECT_FALSE(Iterate("AAAAAAAAA", 0, 9000));
  // 10 s of main time and 30 s byoyomi: T = 30166. A held move would stop at 9050 ms
  // while main time is left, but not once it has run out.
  Start(10000, 30000);
  EXPECT_TRUE(Iterate("AAAAAAAAA", 0, 9050));
  Start(10000, 30000);
  EXPECT_FALSE(Iterate("AAAAAAAAA", 0, 10000));
  for (int* mode : {&ProcessEngine().state.pondering, &ProcessEngine().state.noTimeLimit}) {
    *mode = 1;
    Start(600000, 0);
    EXPECT_FALSE(Iterate("AAAAAAAAA", 0, 100000));
    *mode = 0;
  }
}

// The answering margin of a byoyomi and of a move time: the option's value, but never
// more than half of either. Each row: the margin, the byoyomi (or move time), and the
// last millisecond at which the search still runs.
TEST_F(TimeTest, ByoyomiMarginIsKeptBackUpToHalf) {
  struct Case {
    int64_t margin, byoyomi, moveTime, lastRunning;
  } cases[] = {
      {100, 1000, 0, 900}, {0, 1000, 0, 1000}, {400, 2000, 0, 1600}, {800, 1000, 0, 500},
      {100, 150, 0, 75},   {100, 0, 1000, 899}, {800, 0, 1000, 499},
  };
  for (const Case& c : cases) {
    tm->byoyomiMarginMs = c.margin;
    modes.moveTimeMs = c.moveTime;
    ProcessEngine().state.noTimeLimit = c.moveTime > 0;
    Start(0, c.byoyomi);
    ProcessEngine().state.bestMove = 1;
    EXPECT_FALSE(After(c.lastRunning)) << c.margin << " " << c.byoyomi << " " << c.moveTime;
    EXPECT_TRUE(After(1)) << c.margin << " " << c.byoyomi << " " << c.moveTime;
  }
  // Main time and byoyomi: the maximum reaches into the byoyomi up to its margin.
  tm->byoyomiMarginMs = 100;
  modes.moveTimeMs = 0;
  ProcessEngine().state.noTimeLimit = 0;
  Start(3, 1000);
  EXPECT_EQ(ProcessEngine().state.maxTime, 903);
}

// Time is charged to the root side's clock, its game and its move; the byoyomi used is
// what the clock went below zero; pondering charges this move only.
TEST_F(TimeTest, ClockAccounting) {
  Start(500, 0);
  After(601);
  EXPECT_EQ(ProcessEngine().state.blackRemaining, -101);
  EXPECT_EQ(ProcessEngine().state.usedThisMove[0], 601);
  EXPECT_EQ(ProcessEngine().state.usedInGame[0], 601);
  EXPECT_EQ(ProcessEngine().state.whiteRemaining, 0);
  Start(1000, 10000);
  After(3500);
  EXPECT_EQ(ProcessEngine().state.byoyomiUsed[0], 2500);
  // At the next search the negative clock is raised to 0 and the byoyomi used cleared.
  Start(ProcessEngine().state.blackRemaining, 10000);
  EXPECT_EQ(ProcessEngine().state.blackRemaining, 0);
  EXPECT_EQ(ProcessEngine().state.byoyomiUsed[0], 0);
  // Pondering runs on the opponent's time.
  ProcessEngine().state.pondering = 1;
  Start(1000, 0);
  After(5000);
  EXPECT_EQ(ProcessEngine().state.blackRemaining, 1000);
  EXPECT_EQ(ProcessEngine().state.usedInGame[0], 3500 + 601);
  EXPECT_EQ(ProcessEngine().state.usedThisMove[0], 5000);
}

TEST_F(TimeTest, PonderhitGivesThePlanOfAGoWithTheSameClock) {
  ProcessEngine().state.blackIncrement = ProcessEngine().state.whiteIncrement = 2000;
  Start(20000, 0);
  const int64_t budget = ProcessEngine().state.budget, maxTime = ProcessEngine().state.maxTime;
  ProcessEngine().state.pondering = 1;
  Start(20000, 0);
  ProcessEngine().state.bestMove = 1;
  EXPECT_FALSE(After(30000));
  EXPECT_EQ(ProcessEngine().state.blackRemaining, 20000);
  // The ponderhit arrived 300 ms before the search saw it: those count.
  tm->StartTimedAfterPonderhit(FakeNow - 300);
  EXPECT_EQ(ProcessEngine().state.pondering, 0);
  EXPECT_EQ(ProcessEngine().state.budget, budget);
  EXPECT_EQ(ProcessEngine().state.maxTime, maxTime);
  EXPECT_FALSE(After(budget - 301));
  EXPECT_EQ(ProcessEngine().state.usedThisMove[0], budget - 1);
  EXPECT_EQ(ProcessEngine().state.blackRemaining, 20000 - budget + 1);
  ProcessEngine().state.iterationDepth = 4;
  EXPECT_TRUE(After(1));
}

// The mate tests before the search share a third of the plan (T = 2333: 777 ms).
TEST_F(TimeTest, MateTestsBeforeTheSearchStayInsideThePlan) {
  ProcessEngine().state.blackIncrement = 2000;
  Start(20000, 0);
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 777);
  FakeNow += 500;
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 277);
  FakeNow += 260;
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 0);  // 17 ms is too short to start one
  EXPECT_EQ(ProcessEngine().state.blackRemaining, 19240);  // their time is charged to the clock
  Start(5, 0);
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 0);
  // While pondering the share is that of the plan after a ponderhit.
  ProcessEngine().state.pondering = 1;
  Start(20000, 0);
  FakeNow += 700;
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 77);
  ProcessEngine().state.pondering = 0;
  // Without a time limit: a second each, three in all.
  ProcessEngine().state.noTimeLimit = 1;
  Start(0, 0);
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 1000);
  FakeNow += 2500;
  EXPECT_EQ(tm->PreSearchMateTimeMs(1000), 500);
}

// The root's mate tests between iterations share the same third of the plan, less what
// they took so far, and never run past the move's maximum or its move time.
TEST_F(TimeTest, MateTestsBetweenIterationsStayInsideTheShareAndTheMove) {
  tm->byoyomiMarginMs = 100;
  Start(0, 1000);  // byoyomi 1 s: the move may take 900 ms, the tests 300 of them
  EXPECT_EQ(tm->RootMateTestTimeMs(0), 300);
  EXPECT_EQ(tm->RootMateTestTimeMs(120), 180);
  FakeNow += 700;
  EXPECT_EQ(tm->RootMateTestTimeMs(50), 200);  // only 200 ms of the move are left
  FakeNow += 185;
  EXPECT_EQ(tm->RootMateTestTimeMs(50), 0);  // 15 ms: too short to start one
  EXPECT_EQ(tm->RootMateTestTimeMs(290), 0);
  // A move time under a longer clock ends the move before its maximum does.
  modes.moveTimeMs = 500;
  Start(0, 60000);
  FakeNow += 300;
  EXPECT_EQ(tm->RootMateTestTimeMs(0), 100);  // 500 less the 100 ms margin, less 300 used
  modes.moveTimeMs = 0;
  // While pondering only the share counts.
  ProcessEngine().state.pondering = 1;
  Start(0, 1000);
  FakeNow += 5000;
  EXPECT_EQ(tm->RootMateTestTimeMs(100), 200);
  ProcessEngine().state.pondering = 0;
}

}  // namespace
}  // namespace kestrel
