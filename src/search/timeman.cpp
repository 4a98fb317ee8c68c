// Plan, accounting and stop rules over the clock fields of the engine record.
#include "search/timeman.h"

#include "board/material.h"
#include "search/search_modes.h"
#include "search/search_state.h"

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

// Stopping between iterations_. The budget is scaled by a factor in percent: below 100
// once the best move has held for more than StableFrom iterations_, above it when the
// best move changed in the last three iterations_ or the score fell. A fail low shows
// as the fall it ends with (inside an iteration the fail-low flag itself keeps the
// search going up to the maximum).
constexpr int JudgedDepth = 4;  // the iterations_ before this one say too little
constexpr int StableFrom = 4;
constexpr int ScalePerStableIteration = 10;
constexpr int ScalePerChange = 40;
constexpr int ScaleFallPerP2 = 50;
constexpr int ScaleFallMax = 100;
constexpr int ScaleMin = 50, ScaleMax = 250;
// The next iteration costs about as much as all before it: none is started once this
// share (percent) of the scaled budget is used, as it could not be finished within it.
constexpr int StartLimitPercent = 60;

// The unit of the score thresholds: twice the pawn value.
inline int P2() { return CaptureGain[BPawn]; }


inline int64_t AtLeastZero(int64_t v) { return v > 0 ? v : 0; }
inline int64_t Min(int64_t a, int64_t b) { return a < b ? a : b; }

// The budget factor (percent) for a best move held `stable` iterations_, `changes` new
// best moves in the last three iterations_, and a score `fall` below the better of the
// two iterations_ before.
int ScalePercent(int stable, int changes, int64_t fall) {
  int pct = changes > 0 ? 100 + ScalePerChange * changes
                        : 100 - ScalePerStableIteration * (stable > StableFrom ? stable - StableFrom : 0);
  if (fall > 0 && P2() > 0) pct += (int)Min(fall * ScaleFallPerP2 / P2(), ScaleFallMax);
  return pct < ScaleMin ? ScaleMin : pct > ScaleMax ? ScaleMax : pct;
}

}  // namespace

TimeManager::TimeManager(SearchState& state, const SearchModes& modes)
    : st_(state), modes_(modes), preSearchShare_(PreSearchCap) {}

inline int64_t& TimeManager::RemainingOf(int side) {
  return side == Black ? st_.blackRemaining : st_.whiteRemaining;
}

inline int64_t TimeManager::IncrementOf(int side) const {
  return side == Black ? st_.blackIncrement : st_.whiteIncrement;
}

// Fail lows of the current iteration, kept in the first root entry's flags.
inline bool TimeManager::FailedLow() const { return st_.rootMoveCount > 0 && (st_.rootMoves[0].flags & FailLowBits); }

// Root moves already searched in the current iteration.
int TimeManager::SearchedRootMoves() const {
  int n = 0;
  for (int i = 0; i < st_.rootMoveCount; ++i) n += (st_.rootMoves[i].flags & RootSearched) != 0;
  return n;
}

// Time kept back for answering: with a byoyomi its own margin, at most half of it (the
// time not used in a byoyomi is lost, so only what answering needs is kept back: a few
// milliseconds, a few tens on a loaded machine); without one the record's margin.
int64_t TimeManager::AnswerMargin() const {
  return st_.byoyomi > 0 ? Min(byoyomiMarginMs, st_.byoyomi / 2) : st_.timeMarginMs;
}

// Charges the time since the last stamp. This move's count always grows; the clock
// and the game's count only while the engine's own clock runs (not while pondering,
// which is the opponent's time, and not without a time limit). Returns the time charged.
int64_t TimeManager::ChargeClock() {
  SearchState& st = st_;
  const int64_t now = Now();
  const int64_t d = now - st.lastStamp;
  if (d <= 0) return 0;
  const int si = SideIndex(st.rootSide);
  st.usedThisMove[si] += d;
  if (!st.pondering && !Unlimited()) {
    int64_t& remaining = RemainingOf(st.rootSide);
    st.usedInGame[si] += d;
    remaining -= d;
    if (st.byoyomi > 0 && remaining < 0) st.byoyomiUsed[si] = -remaining;
  }
  st.lastStamp = now;
  return d;
}

// Where a move time asked for by the caller ("go movetime") ends: the time less the
// byoyomi's answering margin, half of it at most. Only for a move time above 0.
int64_t TimeManager::MoveTimeEndMs() const {
  const int64_t t = modes_.moveTimeMs;
  return t - Min(byoyomiMarginMs, t / 2);
}

// The caller's move time is spent up to its end. Charges the clock first.
bool TimeManager::MoveTimeSpent() {
  if (modes_.moveTimeMs <= 0) return false;
  ChargeClock();
  return st_.usedThisMove[SideIndex(st_.rootSide)] >= MoveTimeEndMs();
}

// The clock is in its byoyomi: time not used now is lost, so only the byoyomi rule stops.
bool TimeManager::InByoyomi() { return st_.byoyomi > 0 && RemainingOf(st_.rootSide) <= 0; }

// The budget scaled by the finished iterations_' factor, never past the maximum.
int64_t TimeManager::ScaledBudget() const { return Min(st_.budget * iterations_.scalePercent / 100, st_.maxTime); }

// The running iteration has brought no trouble yet: no fail low, the best move is still
// the last iteration's, and its score is at most P2 below that iteration's. Before the
// first move has a score only that move may have been searched: with more searched,
// it failed below the window and a fail low is under way.
bool TimeManager::IterationCalm() const {
  const SearchState& st = st_;
  if (FailedLow() || (iterations_.count > 0 && st.bestMove != iterations_.lastBest)) return false;
  if (st.rootScore == st.rootAlpha) return SearchedRootMoves() <= 1;
  return st.rootScore >= st.previousScore - P2();
}

bool TimeManager::Unlimited() const { return st_.noTimeLimit || modes_.fixedDepth; }

int64_t TimeManager::Now() const { return clock_ ? clock_() : NowMs(); }

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

void TimeManager::ComputeBudget() {
  const TimePlan plan = PlanMove(RemainingOf(st_.rootSide), st_.byoyomi, IncrementOf(st_.rootSide),
                                 AnswerMargin(), movesToGo);
  st_.budget = plan.budget;
  st_.maxTime = plan.maxTime;
  preSearchShare_ = plan.preSearch;
}

void TimeManager::StartMoveClock(int rootSide) {
  const int si = SideIndex(rootSide);
  st_.rootSide = rootSide;
  st_.usedThisMove[si] = 0;
  st_.byoyomiUsed[si] = 0;
  if (st_.byoyomi > 0) {
    if (st_.blackRemaining < 0) st_.blackRemaining = 0;
    if (st_.whiteRemaining < 0) st_.whiteRemaining = 0;
  }
  st_.lastStamp = Now();
  iterations_ = IterationRecord{0, 0, 0, 0, {0, 0}, 100};
}

void TimeManager::SetEasyTime() {
  st_.easyTime = (st_.easyMove != 0 && st_.budget >= 10 * Second) ? st_.budget / 3 : 0;
}

void TimeManager::StartTimedAfterPonderhit(int64_t stampMs) {
  // Nothing of the pondering is charged; the clock runs from the ponderhit on.
  ChargeClock();
  st_.pondering = 0;
  st_.usedThisMove[SideIndex(st_.rootSide)] = 0;
  ComputeBudget();
  SetEasyTime();
  const int64_t now = Now();
  st_.lastStamp = stampMs < now ? stampMs : now;
}

int64_t TimeManager::MateTestShareMs() const {
  const int64_t share = Unlimited() ? PreSearchCap : preSearchShare_;
  return modes_.moveTimeMs > 0 ? Min(share, modes_.moveTimeMs / PreSearchShareDivisor) : share;
}

int64_t TimeManager::PreSearchMateTimeMs(int64_t wantedMs) {
  ChargeClock();
  const int64_t t = Min(wantedMs, MateTestShareMs() - st_.usedThisMove[SideIndex(st_.rootSide)]);
  return t < MinMateTest ? 0 : t;
}

int64_t TimeManager::RootMateTestTimeMs(int64_t spentMs) {
  ChargeClock();
  int64_t t = MateTestShareMs() - spentMs;
  const int64_t used = st_.usedThisMove[SideIndex(st_.rootSide)];
  if (!st_.pondering) {
    if (!Unlimited()) t = Min(t, st_.maxTime - used);
    if (modes_.moveTimeMs > 0) t = Min(t, MoveTimeEndMs() - used);
  }
  return t < MinMateTest ? 0 : t;
}

bool TimeManager::TimeUp() {
  SearchState& st = st_;
  // 1. Without a clock ("infinite", or a limit given alone) only a move time stops.
  if (Unlimited()) return !st.pondering && MoveTimeSpent();
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
  // maximum, as does any of the first iterations_.
  return used >= ScaledBudget() && st.iterationDepth >= JudgedDepth && IterationCalm();
}

bool TimeManager::StopAfterIteration(int depth, int score, Move best) {
  IterationRecord& it = iterations_;
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
  SearchState& st = st_;
  if (Unlimited() || st.pondering) return false;
  ChargeClock();
  if (InByoyomi()) return false;
  const int64_t used = st.usedThisMove[SideIndex(st.rootSide)];
  if (depth < JudgedDepth) return used >= st.budget;
  return used * 100 >= ScaledBudget() * StartLimitPercent;
}

}  // namespace kestrel
