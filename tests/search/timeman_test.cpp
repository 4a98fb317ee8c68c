// Time management on a fake clock: budgets from the clock fields, the byoyomi
// margin, running out of time, the easy move, pondering and the settled-score
// rules between the budget and the maximum.
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
    PieceValues[VKPawn] = 100;  // P2 = 200
    DeriveMaterialTables();
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

TEST_F(TimeTest, ByoyomiBudgets) {
  Start(0, 10000);
  EXPECT_EQ(State->budget, 10000);
  EXPECT_EQ(State->maxTime, 40000);
  Start(10000, 30000);  // 10 s / 60 leaves 166 ms, plus the byoyomi
  EXPECT_EQ(State->budget, 30166);
  Start(3600000, 30000);  // 60 s is capped to 30 s and gets no byoyomi
  EXPECT_EQ(State->budget, 30000);
  EXPECT_EQ(State->maxTime, 120000);
  EXPECT_EQ(State->easyTime, 0);
  State->easyMove = 1234;
  SetEasyTime();
  EXPECT_EQ(State->easyTime, 10000);
  // A shortcut score shortens the horizon: 35 moves to go for a proved mate.
  shortcutScore = 29999;
  Start(700000, 1000);
  EXPECT_EQ(State->budget, 21000);
  shortcutScore = -450;  // between 2 and 3 times P2: 50 moves
  Start(500000, 1000);
  EXPECT_EQ(State->budget, 11000);
  // Easy time needs a budget of at least 10 s.
  shortcutScore = 0;
  Start(0, 9999);
  State->easyMove = 1234;
  SetEasyTime();
  EXPECT_EQ(State->easyTime, 0);
}

// Planned and maximal time for given clocks (margin 1 s, 60 moves to go).
TEST_F(TimeTest, PlansForEachKindOfClock) {
  struct Case {
    int64_t remaining, byoyomi, increment, budget, maxTime;
  } cases[] = {
      // Increment: the share of the clock plus the increment the move earns.
      {20000, 0, 2000, 2333, 9332},
      {3600000, 0, 10000, 40000, 160000},  // the share is capped at 30 s
      {5000, 0, 2000, 2083, 4000},         // the maximum stops short of the margin
      // A clock below the increment: never more than the clock holds now.
      {1500, 0, 2000, 500, 500},
      {500, 0, 2000, 0, 0},
      {3, 0, 1000, 0, 0},
      // Sudden death: 4 s are kept back from the share.
      {60000, 0, 0, 933, 3732},
      {4500, 0, 0, 8, 32},
      {3999, 0, 0, 0, 0},
      {3, 0, 0, 0, 0},
      {3600000, 0, 0, 30000, 120000},
      // Byoyomi and increment together: both are counted, within clock + byoyomi - margin.
      {60000, 10000, 5000, 16000, 64000},
      {0, 10000, 5000, 9000, 9000},
      // Byoyomi alone is unchanged: the maximum may pass the clock, the byoyomi rule stops it.
      {3, 1000, 0, 1000, 4000},
  };
  for (const Case& c : cases) {
    const TimePlan plan = PlanMove(c.remaining, c.byoyomi, c.increment, 1000, 60);
    EXPECT_EQ(plan.budget, c.budget) << c.remaining << " " << c.byoyomi << " " << c.increment;
    EXPECT_EQ(plan.maxTime, c.maxTime) << c.remaining << " " << c.byoyomi << " " << c.increment;
    EXPECT_LE(plan.preSearch, plan.budget / 3);
  }
  // The side to move's own increment is the one counted.
  State->whiteIncrement = 2000;
  Start(20000, 0);
  EXPECT_EQ(State->budget, 266);  // Black plays sudden death: 16 s / 60
  State->blackIncrement = 2000;
  Start(20000, 0);
  EXPECT_EQ(State->budget, 2333);
}

TEST_F(TimeTest, ClockChargingAndRunningOut) {
  // Half a second on the clock is time left, not none: the move comes at once.
  Start(500, 0);
  EXPECT_TRUE(After(1));
  EXPECT_EQ(State->resultCode, 0);
  EXPECT_EQ(State->blackRemaining, 499);
  // Once it is spent, without byoyomi, the game is lost on time.
  EXPECT_TRUE(After(600));
  EXPECT_EQ(State->resultCode, ResultFlagged);
  EXPECT_EQ(State->usedThisMove[0], 601);
  EXPECT_EQ(State->usedInGame[0], 601);
  // Only the root side is charged.
  EXPECT_EQ(State->whiteRemaining, 0);
  // Without byoyomi the margin stops the search even before it has a move.
  State->resultCode = 0;
  Start(1500, 0);
  EXPECT_FALSE(After(499));
  EXPECT_TRUE(After(1));
  EXPECT_EQ(State->resultCode, 0);
}

TEST_F(TimeTest, ByoyomiMargin) {
  Start(0, 10000);
  State->bestMove = 1;
  EXPECT_FALSE(After(9000));
  EXPECT_EQ(State->byoyomiUsed[0], 9000);
  EXPECT_TRUE(After(1));  // more than 9 s of a 10 s byoyomi
  EXPECT_EQ(State->resultCode, 0);
  // At the next search the negative clock is raised to 0 again.
  Start(State->blackRemaining, 10000);
  EXPECT_EQ(State->blackRemaining, 0);
  EXPECT_EQ(State->byoyomiUsed[0], 0);
  // A byoyomi shorter than five margins keeps a fifth of itself: 1 s thinks 800 ms.
  Start(0, 1000);
  State->bestMove = 1;
  EXPECT_FALSE(After(800));
  EXPECT_TRUE(After(1));
  Start(0, 2000);
  EXPECT_FALSE(After(1600));
  EXPECT_TRUE(After(1));
}

TEST_F(TimeTest, NoLimitAndPondering) {
  Start(1000, 0);
  State->noTimeLimit = 1;
  EXPECT_FALSE(After(5000));
  EXPECT_EQ(State->blackRemaining, 1000);  // not even charged
  State->noTimeLimit = 0;
  // Pondering runs on the opponent's time: never stopped, and the clock is not charged.
  State->pondering = 1;
  EXPECT_FALSE(After(5000));
  EXPECT_EQ(State->blackRemaining, 1000);
  EXPECT_EQ(State->usedInGame[0], 0);
  State->pondering = 0;
  EXPECT_TRUE(After(1));
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

TEST_F(TimeTest, MateTestsBeforeTheSearchStayInsideThePlan) {
  State->blackIncrement = 2000;
  Start(20000, 0);  // T = 2333: the tests share 777 ms
  EXPECT_EQ(PreSearchMateTimeMs(1000), 777);
  FakeNow += 500;
  EXPECT_EQ(PreSearchMateTimeMs(1000), 277);
  FakeNow += 260;
  EXPECT_EQ(PreSearchMateTimeMs(1000), 0);  // 17 ms is too short to start one
  EXPECT_EQ(State->blackRemaining, 19240);  // their time is charged to the clock
  // A clock of a few milliseconds leaves no time for them at all.
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

// Whole games on the fake clock, kept as a GUI keeps it: each move searches until the
// time check stops it (checked every 5 ms), `overheadMs` more pass before the answer
// arrives, then the increment is added. With `settled` the score holds (the search
// stops at its budget); otherwise it keeps falling (the search runs to its maximum).
struct GameRun {
  int moves;            // moves played before the clock ran out (all: it never did)
  int64_t lowestClock;  // lowest clock at the start of a move
  int64_t meanUsed;     // mean time per move
};
GameRun PlayClockGame(int64_t clock, int64_t increment, int moves, int64_t overheadMs, bool settled) {
  GameRun run{0, clock, 0};
  int64_t total = 0;
  State->blackIncrement = increment;
  for (; run.moves < moves; ++run.moves) {
    State->blackRemaining = clock;
    State->bestMove = 0;
    StartMoveClock(Black);
    ComputeBudget();
    const int64_t start = FakeNow;
    for (int step = 0;; ++step) {
      if (step == 1) {
        State->bestMove = 1;
        State->iterationDepth = 5;
        State->previousScore = 0;
      }
      State->rootScore = settled ? 0 : -29960;  // being mated: no settled-score stop
      FakeNow += 5;
      if (TimeUp()) break;
    }
    FakeNow += overheadMs;
    const int64_t used = FakeNow - start;
    total += used;
    if (used >= clock) return run;
    clock = clock - used + increment;
    if (clock < run.lowestClock) run.lowestClock = clock;
  }
  run.meanUsed = total / moves;
  return run;
}

TEST_F(TimeTest, LongGamesAreNotLostOnTime) {
  // Sudden death, 60 s: 300 moves of settled scores (a game of 600 plies), or 150 moves
  // that each run to their maximum, with 30 ms to answer every one.
  GameRun r = PlayClockGame(60000, 0, 300, 30, true);
  EXPECT_EQ(r.moves, 300);
  r = PlayClockGame(60000, 0, 150, 30, false);
  EXPECT_EQ(r.moves, 150);
  // 20 s + 2 s: the increment is used, not saved up, and never overdrawn.
  r = PlayClockGame(20000, 2000, 200, 30, true);
  EXPECT_EQ(r.moves, 200);
  EXPECT_GT(r.meanUsed, 1900);
  EXPECT_GT(r.lowestClock, 2000);
  // 10 s + 1 s, every move at its maximum and slow to answer: still never out of time.
  r = PlayClockGame(10000, 1000, 300, 200, false);
  EXPECT_EQ(r.moves, 300);
  EXPECT_GT(r.lowestClock, 1000);
}

TEST_F(TimeTest, EasyMoveStopsEarly) {
  Start(0, 10000);
  State->easyMove = State->bestMove = 4321;
  SetEasyTime();
  State->previousScore = 100;
  State->rootScore = -101;  // dropped by more than P2: keep thinking
  EXPECT_FALSE(After(3400));
  State->rootScore = -100;
  EXPECT_TRUE(After(1));
  // Not for another best move.
  Start(0, 10000);
  State->easyMove = 4321;
  State->bestMove = 1111;
  SetEasyTime();
  EXPECT_FALSE(After(3400));
}

TEST_F(TimeTest, BetweenBudgetAndMaximum) {
  Start(600000, 0);  // T = 10 s, max 40 s
  EXPECT_FALSE(After(10000));  // no best move yet
  State->bestMove = 1;
  State->rootMoveCount = 3;
  State->iterationDepth = 3;
  State->rootScore = 0;
  State->previousScore = 0;
  EXPECT_FALSE(After(1));  // before iteration 4 no budget stop
  State->iterationDepth = 4;
  EXPECT_TRUE(After(1));  // no fail low, score held
  // A fail low keeps the search going while the score is poor.
  State->rootMoves[0].flags = 0x01;
  State->rootScore = -700;
  State->previousScore = 0;
  EXPECT_TRUE(After(1));  // -700 is above -29949: the budget rule still stops
  State->rootScore = -29960;  // being mated, and not lost before
  EXPECT_FALSE(After(1));
  State->previousScore = -2000;  // was already lost
  EXPECT_TRUE(After(1));
  State->previousScore = 0;
  State->rootScore = -30000;
  EXPECT_TRUE(After(1));
  // The first move of the iteration alone, at the window's floor and no fail low.
  State->rootMoves[0].flags = 0x40;
  State->rootScore = State->rootAlpha = -29960;
  EXPECT_TRUE(After(1));
  State->rootMoves[1].flags = 0x40;
  EXPECT_FALSE(After(1));
  // Past the maximum everything stops.
  EXPECT_TRUE(After(40000));
}

TEST_F(TimeTest, ScoreRulesWithFailLow) {
  Start(600000, 0);
  State->bestMove = 1;
  State->rootMoveCount = 2;
  State->iterationDepth = 6;
  State->rootMoves[0].flags = 0x02;
  State->previousScore = 2000;
  State->rootScore = 1500;  // >= 3 P2 and within 3 P2 of before
  EXPECT_TRUE(After(10000));
  State->rootScore = 1000;  // >= 5 P2
  EXPECT_TRUE(After(1));
  State->rootScore = 900;
  EXPECT_TRUE(After(1));  // still above -29949
}

}  // namespace
}  // namespace kestrel
