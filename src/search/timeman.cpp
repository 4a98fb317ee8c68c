// Plan, accounting and stop rules over the clock fields of the engine record.
#include "search/timeman.h"

#include "board/material.h"
#include "engine/engine_state.h"
#include "search/search_modes.h"

namespace kestrel {

namespace {

constexpr int64_t Second = 1000;
// The most a move takes from the main time before its byoyomi or increment is added.
constexpr int64_t MainTimeShareCap = 30 * Second;
// The mate tests before the search take at most this much of a move in all, and are
// not started with less than the minimum (the solver reads its clock only every so
// many nodes, so a shorter test would overrun its time many times over).
constexpr int64_t PreSearchCap = 3 * Second;
constexpr int64_t MinMateTest = 20;
// Without byoyomi or increment the clock never grows again: beyond the answering
// margin this much is kept back from the plan, enough for a hundred or more moves
// answered at once (each costs a few to a few tens of milliseconds, more on a loaded
// machine), so that a game that goes on and on is not lost on time.
constexpr int64_t SuddenDeathReserve = 3 * Second;
// The mate tests before the search may take this fraction (1/n) of the budget in all.
constexpr int64_t PreSearchShareDivisor = 3;

// Stopping between iterations. The budget is scaled by a factor in percent: below 100
// once the best move has held for more than StableFrom iterations, above it when the
// best move changed in the last three iterations or the score fell. A fail low shows
// as the fall it ends with (inside an iteration the fail-low flag itself keeps the
// search going up to the maximum).
constexpr int JudgedDepth = 4;  // the iterations before this one say too little
constexpr int StableFrom = 4;
constexpr int ScalePerStableIteration = 10;
constexpr int ScalePerChange = 40;
constexpr int ScaleFallPerP2 = 50;
constexpr int ScaleFallMax = 100;
constexpr int ScaleMin = 50, ScaleMax = 250;
// The next iteration costs about as much as all before it: none is started once this
// share (percent) of the scaled budget is used, as it could not be finished within it.
constexpr int StartLimitPercent = 60;

TimeClockFn Clock = nullptr;
// The pre-search share of the current plan.
int64_t preSearchShare = PreSearchCap;

// What the finished iterations of the running search said, for the stop between them.
struct IterationRecord {
  int count;         // iterations finished
  Move lastBest;     // the last one's best move
  int stable;        // iterations in a row, the last included, that ended on lastBest
  unsigned changes;  // one bit for each of the last three: its best move was new
  int scores[2];     // the scores of the last two, the last first
  int scalePercent;  // the factor of the budget they give
};
IterationRecord iterations = {0, 0, 0, 0, {0, 0}, 100};

inline int64_t& RemainingOf(int side) {
  return side == Black ? State->blackRemaining : State->whiteRemaining;
}

inline int64_t IncrementOf(int side) {
  return side == Black ? State->blackIncrement : State->whiteIncrement;
}

// The unit of the score thresholds: twice the pawn value.
inline int P2() { return CaptureGain[BPawn]; }

// Fail lows of the current iteration, kept in the first root entry's flags.
inline bool FailedLow() { return State->rootMoveCount > 0 && (State->rootMoves[0].flags & FailLowBits); }

// Root moves already searched in the current iteration.
int SearchedRootMoves() {
  int n = 0;
  for (int i = 0; i < State->rootMoveCount; ++i) n += (State->rootMoves[i].flags & RootSearched) != 0;
  return n;
}

// Moves the main time is spread over: fewer as the last shortcut's score grows.
int MovesToGo() {
  const int s = shortcutScore < 0 ? -shortcutScore : shortcutScore;
  const int p2 = P2();
  if (s < p2) return 60;
  if (s < 2 * p2) return 55;
  if (s < 3 * p2) return 50;
  if (s < 4 * p2) return 45;
  if (s < 5 * p2) return 40;
  return 35;
}

inline int64_t AtLeastZero(int64_t v) { return v > 0 ? v : 0; }
inline int64_t Min(int64_t a, int64_t b) { return a < b ? a : b; }

// Time kept back for answering. A short byoyomi keeps a fifth of itself instead of the
// whole margin, which would leave it nothing to think with: answering takes a few
// milliseconds, a few tens on a loaded machine.
int64_t AnswerMargin() {
  const int64_t m = State->timeMarginMs;
  return State->byoyomi > 0 ? Min(m, State->byoyomi / 5) : m;
}

// Charges the time since the last stamp. This move's count always grows; the clock
// and the game's count only while the engine's own clock runs (not while pondering,
// which is the opponent's time, and not without a time limit). Returns the time charged.
int64_t ChargeClock() {
  SearchState& st = *State;
  const int64_t now = TimeNow();
  const int64_t d = now - st.lastStamp;
  if (d <= 0) return 0;
  const int si = SideIndex(st.rootSide);
  st.usedThisMove[si] += d;
  if (!st.pondering && !st.noTimeLimit) {
    int64_t& remaining = RemainingOf(st.rootSide);
    st.usedInGame[si] += d;
    remaining -= d;
    if (st.byoyomi > 0 && remaining < 0) st.byoyomiUsed[si] = -remaining;
  }
  st.lastStamp = now;
  return d;
}

// A move time asked for by the caller ("go movetime") is spent, less the answering margin
// (a fifth of it at most, as for a short byoyomi). Charges the clock first.
bool MoveTimeSpent() {
  const int64_t t = activeModes.moveTimeMs;
  if (t <= 0) return false;
  ChargeClock();
  const int64_t margin = Min(State->timeMarginMs, t / 5);
  return State->usedThisMove[SideIndex(State->rootSide)] >= t - margin;
}

// The clock is in its byoyomi: time not used now is lost, so only the byoyomi rule stops.
bool InByoyomi() { return State->byoyomi > 0 && RemainingOf(State->rootSide) <= 0; }

// The budget scaled by the finished iterations' factor, never past the maximum.
int64_t ScaledBudget() { return Min(State->budget * iterations.scalePercent / 100, State->maxTime); }

// The budget factor (percent) for a best move held `stable` iterations, `changes` new
// best moves in the last three iterations, and a score `fall` below the better of the
// two iterations before.
int ScalePercent(int stable, int changes, int64_t fall) {
  int pct = changes > 0 ? 100 + ScalePerChange * changes
                        : 100 - ScalePerStableIteration * (stable > StableFrom ? stable - StableFrom : 0);
  if (fall > 0 && P2() > 0) pct += (int)Min(fall * ScaleFallPerP2 / P2(), ScaleFallMax);
  return pct < ScaleMin ? ScaleMin : pct > ScaleMax ? ScaleMax : pct;
}

// The running iteration has brought no trouble yet: no fail low, the best move is still
// the last iteration's, and its score is at most P2 below that iteration's. Before the
// first move has a score only that move may have been searched: with more searched,
// it failed below the window and a fail low is under way.
bool IterationCalm() {
  const SearchState& st = *State;
  if (FailedLow() || (iterations.count > 0 && st.bestMove != iterations.lastBest)) return false;
  if (st.rootScore == st.rootAlpha) return SearchedRootMoves() <= 1;
  return st.rootScore >= st.previousScore - P2();
}

}  // namespace

void SetTimeClock(TimeClockFn fn) { Clock = fn; }
int64_t TimeNow() { return Clock ? Clock() : NowMs(); }

TimePlan PlanMove(int64_t remaining, int64_t byoyomi, int64_t increment, int64_t margin, int movesToGo) {
  TimePlan plan;
  const int64_t r = AtLeastZero(remaining);
  byoyomi = AtLeastZero(byoyomi);
  // The most the move can take: the clock, then the byoyomi, less the margin.
  const int64_t hard = AtLeastZero(r + byoyomi - margin);
  if (increment <= 0 && byoyomi > 0) {
    // Byoyomi: a share of the main time capped at 30 s, or the share plus the byoyomi.
    int64_t t = r / movesToGo;
    if (t > MainTimeShareCap) t = MainTimeShareCap;
    else t += byoyomi;
    plan.budget = t;
    plan.maxTime = Min(4 * t, hard);
  } else if (increment <= 0) {
    // Sudden death: share what lies beyond the margin and the reserve.
    const int64_t t = Min(AtLeastZero(r - margin - SuddenDeathReserve) / movesToGo, MainTimeShareCap);
    plan.budget = t;
    plan.maxTime = Min(4 * t, hard);
  } else {
    // Increment: the share of the main time plus what the move earns (and the byoyomi
    // if there is one too), never more than the clock holds now.
    const int64_t t = Min(r / movesToGo, MainTimeShareCap) + increment + byoyomi;
    plan.budget = Min(t, hard);
    plan.maxTime = Min(4 * plan.budget, hard);
  }
  plan.preSearch = Min(PreSearchCap, Min(plan.budget, hard) / PreSearchShareDivisor);
  return plan;
}

void ComputeBudget() {
  const TimePlan plan = PlanMove(RemainingOf(State->rootSide), State->byoyomi, IncrementOf(State->rootSide),
                                 AnswerMargin(), MovesToGo());
  State->budget = plan.budget;
  State->maxTime = plan.maxTime;
  preSearchShare = plan.preSearch;
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
  iterations = IterationRecord{0, 0, 0, 0, {0, 0}, 100};
}

void SetEasyTime() {
  State->easyTime = (State->easyMove != 0 && State->budget >= 10 * Second) ? State->budget / 3 : 0;
}

void StartTimedAfterPonderhit(int64_t stampMs) {
  // Nothing of the pondering is charged; the clock runs from the ponderhit on.
  ChargeClock();
  State->pondering = 0;
  State->usedThisMove[SideIndex(State->rootSide)] = 0;
  ComputeBudget();
  SetEasyTime();
  const int64_t now = TimeNow();
  State->lastStamp = stampMs < now ? stampMs : now;
}

int64_t PreSearchMateTimeMs(int64_t wantedMs) {
  ChargeClock();
  int64_t share = State->noTimeLimit ? PreSearchCap : preSearchShare;
  if (activeModes.moveTimeMs > 0) share = Min(share, activeModes.moveTimeMs / PreSearchShareDivisor);
  const int64_t t = Min(wantedMs, share - State->usedThisMove[SideIndex(State->rootSide)]);
  return t < MinMateTest ? 0 : t;
}

bool TimeUp() {
  SearchState& st = *State;
  // 1. Without a clock ("infinite", or a limit given alone) only a move time stops.
  if (st.noTimeLimit) return !st.pondering && MoveTimeSpent();
  const int si = SideIndex(st.rootSide);
  const int64_t& remaining = RemainingOf(st.rootSide);
  const int p2 = P2();
  // 2. Charge the elapsed time; an easy move may stop early.
  if (ChargeClock() > 0) {
    if (st.bestMove != 0 && st.bestMove == st.easyMove && st.easyTime > 0 &&
        st.usedThisMove[si] >= st.easyTime && st.rootScore >= st.previousScore - p2)
      return true;
  }
  // 3. Pondering is never stopped; a move time given besides the clock stops at once.
  if (st.pondering) return false;
  if (MoveTimeSpent()) return true;
  // 4. The clock is used up: byoyomi until its margin, else the game is lost on time.
  if (remaining <= 0) {
    if (st.byoyomi > 0) return st.byoyomiUsed[si] > st.byoyomi - AnswerMargin();
    st.resultCode = ResultFlagged;
    return true;
  }
  // Without byoyomi the margin for answering is never spent, move or no move yet.
  if (st.byoyomi <= 0 && remaining <= st.timeMarginMs) return true;
  // 5. Nothing to play yet; the maximum is spent.
  const int64_t used = st.usedThisMove[si];
  if (st.bestMove == 0) return false;
  if (used >= st.maxTime) return true;
  // 6. Past the scaled budget an untroubled iteration is cut: its answer is the last
  // iteration's move or one that beat it. A fail low or a falling score runs on to the
  // maximum, as does any of the first iterations.
  return used >= ScaledBudget() && st.iterationDepth >= JudgedDepth && IterationCalm();
}

bool StopAfterIteration(int depth, int score, Move best) {
  IterationRecord& it = iterations;
  const bool changed = it.count > 0 && best != it.lastBest;
  const int64_t before = it.count >= 2 && it.scores[1] > it.scores[0] ? it.scores[1] : it.scores[0];
  const int64_t fall = it.count > 0 ? before - score : 0;
  it.changes = ((it.changes << 1) | (changed ? 1u : 0u)) & 7u;
  it.stable = changed || it.count == 0 ? 1 : it.stable + 1;
  it.scores[1] = it.scores[0];
  it.scores[0] = score;
  it.lastBest = best;
  ++it.count;
  it.scalePercent = ScalePercent(it.stable, __builtin_popcount(it.changes), fall);
  SearchState& st = *State;
  if (st.noTimeLimit || st.pondering) return false;
  ChargeClock();
  if (InByoyomi()) return false;
  const int64_t used = st.usedThisMove[SideIndex(st.rootSide)];
  if (depth < JudgedDepth) return used >= st.budget;
  return used * 100 >= ScaledBudget() * StartLimitPercent;
}

}  // namespace kestrel
