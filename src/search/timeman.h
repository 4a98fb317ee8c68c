// Time management: the per-move budget from the clock of the last "go", and the
// periodic question whether the search must stop. Times are milliseconds in the
// engine record; the rules' constants are whole seconds (seconds * 1000).
#pragma once

#include <cstdint>

namespace kestrel {

// Clock source of the time check (monotonic milliseconds); tests replace it.
using TimeClockFn = int64_t (*)();
void SetTimeClock(TimeClockFn fn);  // nullptr restores NowMs
int64_t TimeNow();

// Sets the budget T (State->budget) from the root side's clock, the byoyomi and
// |shortcutScore|, and maxTime = 4 * T.
void ComputeBudget();
// Search-start accounting for the root side: clears its time used this move and
// its byoyomi used, raises negative clocks to 0 when there is a byoyomi, and
// stamps the clock.
void StartMoveClock(int rootSide);
// easyTime = T / 3 when an easy move exists and T >= 10 s, else 0.
void SetEasyTime();
// Charges the time since the last stamp to the root side and answers whether
// the search must stop now; may set resultCode 8 (no time and no byoyomi).
bool TimeUp();

}  // namespace kestrel
