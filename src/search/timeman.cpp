// Budget and stop rules over the clock fields of the engine record.
#include "search/timeman.h"

#include "board/material.h"
#include "board/state.h"

namespace kestrel {

namespace {

constexpr int64_t Second = 1000;
TimeClockFn Clock = nullptr;

inline int64_t& RemainingOf(int side) {
  return side == Black ? State->blackRemaining : State->whiteRemaining;
}

// The unit of the score thresholds: twice the pawn value.
inline int P2() { return CaptureGain[BPawn]; }

// Fail lows of the current iteration, kept in the first root entry's flags.
inline bool FailedLow() { return State->rootMoveCount > 0 && (State->rootMoves[0].flags & 0x07); }

// Root moves already searched in the current iteration.
int SearchedRootMoves() {
  int n = 0;
  for (int i = 0; i < State->rootMoveCount; ++i) n += (State->rootMoves[i].flags & 0x40) != 0;
  return n;
}

}  // namespace

void SetTimeClock(TimeClockFn fn) { Clock = fn; }
int64_t TimeNow() { return Clock ? Clock() : NowMs(); }

void ComputeBudget() {
  // 1-2. Moves to go shrink as the last shortcut's score grows.
  const int s = shortcutScore < 0 ? -shortcutScore : shortcutScore;
  const int p2 = P2();
  int movesToGo = 35;
  if (s < p2) movesToGo = 60;
  else if (s < 2 * p2) movesToGo = 55;
  else if (s < 3 * p2) movesToGo = 50;
  else if (s < 4 * p2) movesToGo = 45;
  else if (s < 5 * p2) movesToGo = 40;
  // 3. A share of the clock, capped at 30 s; the byoyomi comes on top otherwise.
  int64_t remaining = RemainingOf(State->rootSide);
  if (remaining < 0) remaining = 0;
  int64_t t = remaining / movesToGo;
  if (t > 30 * Second) t = 30 * Second;
  else if (State->byoyomi > 0) t += State->byoyomi;
  State->budget = t;
  State->maxTime = 4 * t;
}

void StartMoveClock(int rootSide) {
  const int si = SideIndex(rootSide);
  State->rootSide = rootSide;
  State->usedThisMove[si] = 0;
  State->byoyomiUsed[si] = 0;
  if (State->byoyomi > 0) {
    if (State->blackRemaining < 0) State->blackRemaining = 0;
    if (State->whiteRemaining < 0) State->whiteRemaining = 0;
  }
  State->lastStamp = TimeNow();
}

void SetEasyTime() {
  State->easyTime = (State->easyMove != 0 && State->budget >= 10 * Second) ? State->budget / 3 : 0;
}

bool TimeUp() {
  SearchState& st = *State;
  // 1. "infinite" never stops on time.
  if (st.noTimeLimit) return false;
  const int si = SideIndex(st.rootSide);
  int64_t& remaining = RemainingOf(st.rootSide);
  const int p2 = P2();
  // 2. Charge the elapsed time; an easy move may stop early.
  const int64_t now = TimeNow();
  const int64_t d = now - st.lastStamp;
  if (d > 0) {
    st.usedThisMove[si] += d;
    st.usedInGame[si] += d;
    remaining -= d;
    if (st.byoyomi > 0 && remaining < 0) st.byoyomiUsed[si] = -remaining;
    st.lastStamp = now;
    if (st.bestMove != 0 && st.bestMove == st.easyMove && st.easyTime > 0 &&
        st.usedThisMove[si] >= st.easyTime && st.rootScore >= st.previousScore - p2)
      return true;
  }
  // 3. Pondering is charged but never stopped.
  if (st.pondering) return false;
  // 4-5. The clock is used up: byoyomi until its margin, else the game is lost on time.
  if (remaining <= 0) {
    if (st.byoyomi > 0) return st.byoyomiUsed[si] > st.byoyomi - st.timeMarginMs;
    st.resultCode = ResultFlagged;
    return true;
  }
  // 6. Within the budget, or nothing to play yet.
  const int64_t used = st.usedThisMove[si];
  if (used < st.budget || st.bestMove == 0) return false;
  // 7. Between the budget and the maximum, stop when the score is settled.
  if (used < st.maxTime) {
    if (st.iterationDepth < 4) return false;
    const bool failLow = FailedLow();
    const int score = st.rootScore, prev = st.previousScore;
    if (score == st.rootAlpha && !failLow && SearchedRootMoves() == 1) return true;
    if (!failLow && score >= prev - p2) return true;
    if (score >= 3 * p2 && score >= prev - 3 * p2) return true;
    if (!failLow && score >= prev - 3 * p2) return true;
    if (score >= 5 * p2) return true;
    if (score >= -29949 || score == -30000 || prev <= -10 * p2) return true;
    return false;
  }
  // 8. The maximum is spent.
  return true;
}

}  // namespace kestrel
