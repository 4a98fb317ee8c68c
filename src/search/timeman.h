// Time management: the per-move plan from the clock of the last "go", the clock
// accounting, the share of the move that the mate tests before the search may take,
// the periodic question whether the search must stop, and whether another iteration
// is worth starting. Times are milliseconds in the engine record; the rules'
// constants are whole seconds (seconds * 1000).
// All clock arithmetic lives here: a new kind of clock needs its keys read by the
// "go" parser and its plan made here, nothing else.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace kestrel {

// Clock source of the time check (monotonic milliseconds); tests replace it.
using TimeClockFn = int64_t (*)();
// The plan for one move: the normal time, the most it may take, and how much of it
// the mate tests before the search may use in all.
struct TimePlan {
  int64_t budget;
  int64_t maxTime;
  int64_t preSearch;
};
// The plan for a clock: `remaining` main time, `byoyomi` per move, `increment` earned
// by the move, `margin` kept for answering, `movesToGo` the horizon of the main time.
TimePlan PlanMove(int64_t remaining, int64_t byoyomi, int64_t increment, int64_t margin, int movesToGo);

struct SearchState;
struct SearchModes;

// Kept back from a byoyomi for answering, by default: enough for the clock check, the
// helpers' stop and the "bestmove" line to reach a GUI on a loaded two-core machine,
// where answers have come up to about 100 ms after the search stopped.
constexpr int DefaultByoyomiMarginMs = 150;

// One engine's time manager: the plan of the move under way and what its finished
// iterations said, over the clock fields of the engine's record, under the modes of
// the search under way.
class TimeManager {
 public:
  TimeManager(SearchState& state, const SearchModes& modes);

  // Replaces the clock (nullptr restores NowMs) and reads it.
  void SetClock(TimeClockFn fn) { clock_ = fn; }
  int64_t Now() const;

  // Sets the budget T (budget) and maxTime from the root side's clock, its increment
  // and the byoyomi, the main time spread over the moves to go.
  void ComputeBudget();
  // Search-start accounting for the root side: clears its time used this move and its
  // byoyomi used, raises negative clocks to 0 when there is a byoyomi, stamps the clock
  // and empties the record of finished iterations.
  void StartMoveClock(int rootSide);
  // easyTime = T / 3 when an easy move exists and T >= 10 s, else 0.
  void SetEasyTime();
  // "ponderhit" at `stampMs` (the time it arrived): the search becomes a timed one with
  // the plan a "go" with the same clock would get, counted from that moment.
  void StartTimedAfterPonderhit(int64_t stampMs);
  // Milliseconds the next mate test before the search may run: `wantedMs`, cut to what
  // is left of the plan's pre-search share (0: too little time for one).
  int64_t PreSearchMateTimeMs(int64_t wantedMs);
  // Milliseconds the root's own mate test between iterations may run, when such tests
  // took `spentMs` of this move so far: what is left of the plan's share, and never past
  // the move's maximum (0: too little time for one).
  int64_t RootMateTestTimeMs(int64_t spentMs);
  // Charges the time since the last stamp to the root side (only to this move's count
  // while pondering or without a time limit) and answers whether the search must stop
  // now; may set resultCode 8 (no time and no byoyomi). Past the budget scaled by the
  // finished iterations only an untroubled iteration is stopped; else the maximum stops.
  bool TimeUp();
  // The moves the main time is spread over (a fixed horizon: what earlier moves did,
  // a book move or a played-out mate, does not change it).
  int movesToGo = 35;
  // Kept back for answering from a byoyomi and from a "go movetime" (never more than
  // half of either); the main time keeps the record's timeMarginMs.
  int64_t byoyomiMarginMs = DefaultByoyomiMarginMs;

  // The main thread's call after each finished iteration `depth` with its `score` and
  // `best` move: records them (the record starts empty at StartMoveClock) and answers
  // whether another iteration should not be started, because the time used passes the
  // share of the scaled budget that leaves room to finish one. Never while pondering,
  // without a time limit, or in the byoyomi (its time is lost unless used).
  bool StopAfterIteration(int depth, int score, Move best);

 private:
  // The part of the move's plan that the root's mate tests may share (a third of the
  // budget, capped, and of a move time).
  int64_t MateTestShareMs() const;
  // What the finished iterations of the running search said, for the stop between them.
  struct IterationRecord {
    int count;         // iterations finished
    Move lastBest;     // the last one's best move
    int stable;        // iterations in a row, the last included, that ended on lastBest
    unsigned changes;  // one bit for each of the last three: its best move was new
    int scores[2];     // the scores of the last two, the last first
    int scalePercent;  // the factor of the budget they give
  };
  // No clock: "infinite", a limit given without clock keys, or a fixed-depth search.
  bool Unlimited() const;
  int64_t& RemainingOf(int side);
  int64_t IncrementOf(int side) const;
  bool FailedLow() const;
  int SearchedRootMoves() const;
  int64_t AnswerMargin() const;
  int64_t ChargeClock();
  int64_t MoveTimeEndMs() const;
  bool MoveTimeSpent();
  bool InByoyomi();
  int64_t ScaledBudget() const;
  bool IterationCalm() const;

  SearchState& st_;
  const SearchModes& modes_;
  TimeClockFn clock_ = nullptr;
  // The pre-search share of the current plan.
  int64_t preSearchShare_;
  IterationRecord iterations_ = {0, 0, 0, 0, {0, 0}, 100};
};

}  // namespace kestrel
