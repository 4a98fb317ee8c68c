// The search driver: root shortcuts, the pre-search mate test, the root move
// list, iterative deepening with aspiration windows, and the new-game reset.
#pragma once

#include <cstdint>

#include "search/info_line.h"
#include "search/search_block.h"
#include "search/search_modes.h"

namespace kestrel {

struct Engine;

// Answers one "go" or "go ponder" for `side` on the engine's root under the caller's
// modes; results in the engine's record, lines to its sink.
void Think(Engine& engine, int side, const SearchModes& modes);
// Searches the root position to a fixed depth without shortcuts, mate pre-search or
// time checks (the bench); its root mate tests are bounded by moves, not time, so the
// search does not depend on the machine's speed. Returns the main thread's node count.
uint64_t SearchFixedDepth(Engine& engine, int side, int depth, const SearchModes& modes);
// The move loop at the root (ply 1) over the root entries from `first` on (the entries
// above are the lines a MultiPV search has found already); depth in quarter plies.
int RootSearch(SearchBlock& b, int alpha, int beta, Depth depth, int side, int first = 0);
// Moves root entry `index` to row `first` of the list (the front, for the search's
// answer) and reports the new line.
void OnNewRootBest(SearchBlock& b, int index, Move m, int score, int beta, int first = 0);
// Builds and orders the root move list; with `mateTests`, root moves that let the
// opponent mate are dropped when the opponent threatens one.
void OrderRootMoves(SearchBlock& b, int side, bool mateTests);
// Clears the table, the ordering tables, the killers, the game history and the margins.
void NewGameReset(Engine& engine);
// Picks the ponder move from the table after bestMove was played on the root.
void SelectPonderMove(Engine& engine);
// Deepest iteration allowed by the playing level (plies): the level itself for levels 1
// to 9, which weaken the engine; level 10 searches as deep as the clock allows.
int LevelDepthLimit(int level);
// Reports one "info" line for the root line `row` found by block `b` (its nodes; the
// deepest ply of it and the main block), with its score, bound and MultiPV rank (0: none),
// to the sink of the block's engine.
void PrintRootLine(const SearchBlock& b, const PvRow& row, int score, ScoreBound bound, int multiPv);

}  // namespace kestrel
