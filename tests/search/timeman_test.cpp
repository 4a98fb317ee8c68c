// Time management on a fake clock: the plan for each kind of clock, the clock
// accounting, and the stop decision as a function of the clock and the search's state.
#include <gtest/gtest.h>

#include "board/material.h"
#include "board/state.h"
#include "search/timeman.h"

namespace kestrel {
namespace {

int64_t FakeNow = 0;
int64_t FakeClock() { return FakeNow; }

struct TimeTest : ::testing::Test {
  void SetUp() override {
    AllocateEngineState();
    SetPawn(100);  // P2 = 200
    SearchState& st = *State;
    st.blackRemaining = st.whiteRemaining = st.byoyomi = 0;
    st.blackIncrement = st.whiteIncrement = 0;
    st.noTimeLimit = st.pondering = 0;
    st.bestMove = st.easyMove = 0;
    st.rootScore = st.previousScore = st.rootAlpha = 0;
    st.iterationDepth = 1;
    st.resultCode = 0;
    st.rootMoveCount = 0;
    st.usedInGame[0] = st.usedInGame[1] = 0;
    st.timeMarginMs = 1000;
    shortcutScore = 0;
    FakeNow = 1000000;
    SetTimeClock(FakeClock);
  }
  void TearDown() override { SetTimeClock(nullptr); }
  static void SetPawn(int value) {
    PieceValues[VKPawn] = value;
    DeriveMaterialTables();
  }
  // Starts a search for Black with the given clock (milliseconds).
  void Start(int64_t btime, int64_t byoyomi) {
    State->blackRemaining = btime;
    State->byoyomi = byoyomi;
    StartMoveClock(Black);
    ComputeBudget();
    SetEasyTime();
  }
  bool After(int64_t ms) {
    FakeNow += ms;
    return TimeUp();
  }
};

// Normal and maximal time for given clocks (margin 1 s, 60 moves to go).
TEST_F(TimeTest, PlansForEachKindOfClock) {
  struct Case {
    int64_t remaining, byoyomi, increment, budget, maxTime;
  } cases[] = {
      // Byoyomi: the share of the clock plus the byoyomi; a share above 30 s is capped
      // and gets no byoyomi. The maximum may pass the clock: the byoyomi rule stops it.
      {0, 10000, 0, 10000, 40000},
      {10000, 30000, 0, 30166, 120664},
      {3600000, 30000, 0, 30000, 120000},
      {3, 1000, 0, 1000, 4000},
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

// The engine's plan: moves to go from the last shortcut's score, the root side's own
// increment, and the easy-move time (a third of a budget of 10 s or more).
TEST_F(TimeTest, BudgetFromTheEngineState) {
  struct Case {
    int shortcut;
    int64_t btime, byoyomi, blackInc, whiteInc;
    int64_t budget, easyTime;
  } cases[] = {
      {0, 3600000, 30000, 0, 0, 30000, 10000},
      {29999, 700000, 1000, 0, 0, 21000, 7000},  // a proved mate: 35 moves to go
      {-450, 500000, 1000, 0, 0, 11000, 3666},   // between 2 and 3 times P2: 50 moves
      {399, 440000, 1000, 0, 0, 9000, 0},        // below 2 P2: 55 moves; too short for easy
      {0, 0, 9999, 0, 0, 9999, 0},
      {0, 20000, 0, 0, 2000, 266, 0},  // Black plays sudden death: 16 s / 60
      {0, 20000, 0, 2000, 0, 2333, 0},
  };
  for (const auto& c : cases) {
    shortcutScore = c.shortcut;
    State->blackIncrement = c.blackInc;
    State->whiteIncrement = c.whiteInc;
    State->easyMove = 1234;
    Start(c.btime, c.byoyomi);
    EXPECT_EQ(State->budget, c.budget) << c.shortcut << " " << c.btime;
    EXPECT_EQ(State->easyTime, c.easyTime) << c.shortcut << " " << c.btime;
  }
  State->easyMove = 0;
  Start(3600000, 30000);
  EXPECT_EQ(State->easyTime, 0);
}

// Whether the search must stop, for one state of the clock and of the search, checked
// `ms` after the search started.
TEST_F(TimeTest, StopDecisions) {
  enum : int { Ponder = 1, NoLimit = 2, BigPawn = 4 };
  struct Case {
    const char* what;
    int64_t btime, byoyomi, ms;
    int mode, depth;
    Move best, easy;
    uint8_t flags0, flags1;
    int score, previous, alpha;
    bool stop;
    int resultCode;
  } cases[] = {
      // 600 s sudden death: T = 9933, maximum 39732; three root moves.
      {"within the budget", 600000, 0, 9932, 0, 6, 1, 0, 0, 0, 0, 0, -99, false, 0},
      {"budget, no move yet", 600000, 0, 9933, 0, 6, 0, 0, 0, 0, 0, 0, -99, false, 0},
      {"budget, iteration 3", 600000, 0, 9933, 0, 3, 1, 0, 0, 0, 0, 0, -99, false, 0},
      {"budget, score held", 600000, 0, 9933, 0, 4, 1, 0, 0, 0, 0, 0, -99, true, 0},
      {"fail low, not mated", 600000, 0, 9933, 0, 4, 1, 0, 0x01, 0, -700, 0, -99, true, 0},
      {"fail low, being mated", 600000, 0, 9933, 0, 4, 1, 0, 0x04, 0, -29960, 0, -99, false, 0},
      {"being mated, lost before", 600000, 0, 9933, 0, 4, 1, 0, 0x01, 0, -29960, -2000, -99, true, 0},
      {"fail low, window reopened", 600000, 0, 9933, 0, 4, 1, 0, 0x02, 0, -30000, 0, -99, true, 0},
      {"maximum spent", 600000, 0, 39732, 0, 4, 1, 0, 0x01, 0, -29960, 0, -99, true, 0},
      {"maximum not yet", 600000, 0, 39731, 0, 4, 1, 0, 0x01, 0, -29960, 0, -99, false, 0},
      // The iteration's first move alone, still on its window: the last choice stands.
      {"first move on the window", 600000, 0, 9933, 0, 4, 1, 0, 0x40, 0, -29960, 0, -29960, true, 0},
      {"two moves on the window", 600000, 0, 9933, 0, 4, 1, 0, 0x40, 0x40, -29960, 0, -29960, false, 0},
      // With a pawn of 2000 (P2 4000) the settled-score rules decide: a score within
      // three P2 of the last iteration's stops even while being mated.
      {"big pawn, within 3 P2", 600000, 0, 9933, BigPawn, 4, 1, 0, 0, 0, -29960, -20000, -99, true, 0},
      {"big pawn, beyond 3 P2", 600000, 0, 9933, BigPawn, 4, 1, 0, 0, 0, -29960, -17900, -99, false, 0},
      {"big pawn, fail low", 600000, 0, 9933, BigPawn, 4, 1, 0, 0x01, 0, -29960, -20000, -99, false, 0},
      // The easy move (byoyomi 10 s: T 10000, easy time 3333) stops once its time is
      // used, unless the score fell by more than P2.
      {"easy move", 0, 10000, 3333, 0, 1, 7, 7, 0, 0, -100, 100, -99, true, 0},
      {"easy move, early", 0, 10000, 3332, 0, 1, 7, 7, 0, 0, -100, 100, -99, false, 0},
      {"easy move, score fell", 0, 10000, 3333, 0, 1, 7, 7, 0, 0, -101, 100, -99, false, 0},
      {"another best move", 0, 10000, 3333, 0, 1, 8, 7, 0, 0, 0, 0, -99, false, 0},
      // Byoyomi only: more than byoyomi - margin used; a short one keeps a fifth.
      {"byoyomi margin", 0, 10000, 9000, 0, 1, 1, 0, 0, 0, 0, 0, -99, false, 0},
      {"byoyomi spent", 0, 10000, 9001, 0, 1, 1, 0, 0, 0, 0, 0, -99, true, 0},
      {"short byoyomi", 0, 1000, 800, 0, 1, 1, 0, 0, 0, 0, 0, -99, false, 0},
      {"short byoyomi spent", 0, 1000, 801, 0, 1, 1, 0, 0, 0, 0, 0, -99, true, 0},
      // Without byoyomi the margin is never spent, move or no move; an empty clock loses.
      {"margin kept", 1500, 0, 499, 0, 1, 0, 0, 0, 0, 0, 0, -99, false, 0},
      {"margin reached", 1500, 0, 500, 0, 1, 0, 0, 0, 0, 0, 0, -99, true, 0},
      {"half a second left", 500, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, -99, true, 0},
      {"flagged", 500, 0, 600, 0, 1, 0, 0, 0, 0, 0, 0, -99, true, ResultFlagged},
      {"pondering", 1000, 0, 5000, Ponder, 6, 1, 0, 0, 0, 0, 0, -99, false, 0},
      {"infinite", 1000, 0, 5000, NoLimit, 6, 1, 0, 0, 0, 0, 0, -99, false, 0},
  };
  for (const auto& c : cases) {
    SetPawn(c.mode & BigPawn ? 2000 : 100);
    State->resultCode = 0;
    State->pondering = (c.mode & Ponder) != 0;
    State->noTimeLimit = (c.mode & NoLimit) != 0;
    State->easyMove = c.easy;
    Start(c.btime, c.byoyomi);
    State->bestMove = c.best;
    State->iterationDepth = c.depth;
    State->rootMoveCount = 3;
    State->rootMoves[0].flags = c.flags0;
    State->rootMoves[1].flags = c.flags1;
    State->rootMoves[2].flags = 0;
    State->rootScore = c.score;
    State->previousScore = c.previous;
    State->rootAlpha = c.alpha;
    EXPECT_EQ(After(c.ms), c.stop) << c.what;
    EXPECT_EQ(State->resultCode, c.resultCode) << c.what;
  }
}

// Time is charged to the root side's clock, its game and its move; the byoyomi used is
// what the clock went below zero; pondering charges this move only.
TEST_F(TimeTest, ClockAccounting) {
  Start(500, 0);
  After(601);
  EXPECT_EQ(State->blackRemaining, -101);
  EXPECT_EQ(State->usedThisMove[0], 601);
  EXPECT_EQ(State->usedInGame[0], 601);
  EXPECT_EQ(State->whiteRemaining, 0);
  Start(1000, 10000);
  After(3500);
  EXPECT_EQ(State->byoyomiUsed[0], 2500);
  // At the next search the negative clock is raised to 0 and the byoyomi used cleared.
  Start(State->blackRemaining, 10000);
  EXPECT_EQ(State->blackRemaining, 0);
  EXPECT_EQ(State->byoyomiUsed[0], 0);
  // Pondering runs on the opponent's time.
  State->pondering = 1;
  Start(1000, 0);
  After(5000);
  EXPECT_EQ(State->blackRemaining, 1000);
  EXPECT_EQ(State->usedInGame[0], 3500 + 601);
  EXPECT_EQ(State->usedThisMove[0], 5000);
}

TEST_F(TimeTest, PonderhitGivesThePlanOfAGoWithTheSameClock) {
  State->blackIncrement = State->whiteIncrement = 2000;
  Start(20000, 0);
  const int64_t budget = State->budget, maxTime = State->maxTime;
  State->pondering = 1;
  Start(20000, 0);
  State->bestMove = 1;
  EXPECT_FALSE(After(30000));
  EXPECT_EQ(State->blackRemaining, 20000);
  // The ponderhit arrived 300 ms before the search saw it: those count.
  StartTimedAfterPonderhit(FakeNow - 300);
  EXPECT_EQ(State->pondering, 0);
  EXPECT_EQ(State->budget, budget);
  EXPECT_EQ(State->maxTime, maxTime);
  EXPECT_FALSE(After(budget - 301));
  EXPECT_EQ(State->usedThisMove[0], budget - 1);
  EXPECT_EQ(State->blackRemaining, 20000 - budget + 1);
  State->iterationDepth = 4;
  EXPECT_TRUE(After(1));
}

// The mate tests before the search share a third of the plan (T = 2333: 777 ms).
TEST_F(TimeTest, MateTestsBeforeTheSearchStayInsideThePlan) {
  State->blackIncrement = 2000;
  Start(20000, 0);
  EXPECT_EQ(PreSearchMateTimeMs(1000), 777);
  FakeNow += 500;
  EXPECT_EQ(PreSearchMateTimeMs(1000), 277);
  FakeNow += 260;
  EXPECT_EQ(PreSearchMateTimeMs(1000), 0);  // 17 ms is too short to start one
  EXPECT_EQ(State->blackRemaining, 19240);  // their time is charged to the clock
  Start(5, 0);
  EXPECT_EQ(PreSearchMateTimeMs(1000), 0);
  // While pondering the share is that of the plan after a ponderhit.
  State->pondering = 1;
  Start(20000, 0);
  FakeNow += 700;
  EXPECT_EQ(PreSearchMateTimeMs(1000), 77);
  State->pondering = 0;
  // Without a time limit: a second each, three in all.
  State->noTimeLimit = 1;
  Start(0, 0);
  EXPECT_EQ(PreSearchMateTimeMs(1000), 1000);
  FakeNow += 2500;
  EXPECT_EQ(PreSearchMateTimeMs(1000), 500);
}

}  // namespace
}  // namespace kestrel
