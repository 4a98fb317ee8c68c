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

TEST_F(TimeTest, Budgets) {
  Start(600000, 0);
  EXPECT_EQ(State->budget, 10000);
  EXPECT_EQ(State->maxTime, 40000);
  EXPECT_EQ(State->easyTime, 0);
  State->easyMove = 1234;
  SetEasyTime();
  EXPECT_EQ(State->easyTime, 3333);
  Start(10000, 30000);  // 10 s / 60 leaves 166 ms, plus the byoyomi
  EXPECT_EQ(State->budget, 30166);
  Start(3600000, 30000);  // 60 s is capped to 30 s and gets no byoyomi
  EXPECT_EQ(State->budget, 30000);
  EXPECT_EQ(State->maxTime, 120000);
  // A shortcut score shortens the horizon: 35 moves to go for a proved mate.
  shortcutScore = 29999;
  Start(700000, 0);
  EXPECT_EQ(State->budget, 20000);
  shortcutScore = -450;  // between 2 and 3 times P2: 50 moves
  Start(500000, 0);
  EXPECT_EQ(State->budget, 10000);
  // Easy time needs a budget of at least 10 s.
  shortcutScore = 0;
  Start(590000, 0);
  EXPECT_EQ(State->easyTime, 0);
}

TEST_F(TimeTest, ClockChargingAndRunningOut) {
  // Half a second on the clock is time left, not none.
  Start(500, 0);
  EXPECT_FALSE(After(1));
  EXPECT_EQ(State->resultCode, 0);
  EXPECT_EQ(State->blackRemaining, 499);
  // Once it is spent, without byoyomi, the game is lost on time.
  EXPECT_TRUE(After(600));
  EXPECT_EQ(State->resultCode, ResultFlagged);
  EXPECT_EQ(State->usedThisMove[0], 601);
  EXPECT_EQ(State->usedInGame[0], 601);
  // Only the root side is charged.
  EXPECT_EQ(State->whiteRemaining, 0);
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
}

TEST_F(TimeTest, NoLimitAndPondering) {
  Start(1000, 0);
  State->noTimeLimit = 1;
  EXPECT_FALSE(After(5000));
  EXPECT_EQ(State->blackRemaining, 1000);  // not even charged
  State->noTimeLimit = 0;
  State->pondering = 1;
  EXPECT_FALSE(After(5000));
  EXPECT_EQ(State->blackRemaining, -9000);  // charged since the last stamp, never stopped
  State->pondering = 0;
  EXPECT_TRUE(After(1));
}

TEST_F(TimeTest, EasyMoveStopsEarly) {
  Start(600000, 0);
  State->easyMove = State->bestMove = 4321;
  SetEasyTime();
  State->previousScore = 100;
  State->rootScore = -101;  // dropped by more than P2: keep thinking
  EXPECT_FALSE(After(3400));
  State->rootScore = -100;
  EXPECT_TRUE(After(1));
  // Not for another best move.
  Start(600000, 0);
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
