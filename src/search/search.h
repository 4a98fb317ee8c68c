// The node search: principal-variation alpha-beta with a transposition table,
// mate-in-one probes, near-leaf cut-offs, null move, internal iterative deepening,
// extensions and history reductions, futility pruning, shogi repetition rules,
// and the quiescence search.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/search_block.h"
#include "search/search_modes.h"

namespace kestrel {

// Thresholds derived from the piece values; set by ComputeSearchThresholds.
extern int PawnValue;   // VP
extern int P2;          // 2 * VP, the unit of the search's thresholds
extern int DrawScore;   // 2 * VP
// Recomputes the thresholds that are fixed multiples of the pawn value.
void ComputeSearchThresholds();

// Searches the node at `ply` with `side` to move; returns 0 at once when the
// search is being aborted (the caller then discards the result).
int Search(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, bool allowNull);
// Static evaluation of the block's position at `ply` for `side`: the same value as
// Evaluate, kept up to date move by move through the plies' accumulators.
int EvaluateAt(SearchBlock& b, int ply, int side);

// Quiescence search: captures and promotions after a stand-pat evaluation.
int Quiesce(SearchBlock& b, int alpha, int beta, int ply, int side, int qdepth);
// Extension in quarter plies for the move just made at `ply`: checks that do not lose
// material by exchange, single evasions, recaptures that do not lose material.
Depth ExtensionFor(SearchBlock& b, int ply, Move m, int side);
// Reduction in quarter plies of the move at `ply`, the node's `moveCount`-th legal move:
// late moves (IsLatePick) are searched shallower the deeper the node and the later the
// move, less at principal-variation nodes, for checks and for moves with a good history.
// The result leaves at least one ply of the extended depth depth + e.
Depth LateMoveReduction(const SearchBlock& b, int ply, Move m, int side, Depth depth, int moveCount, bool pvNode, Depth e,
                        bool givesCheck);
// Repetition rules of shogi for the position at `ply`; 0 when nothing repeats.
int RepetitionCheck(SearchBlock& b, int ply, int side);
// Killer and history updates after a quiet move caused a cut-off or was best: a bonus for
// it, the same penalty for the other quiet moves searched before it at the node.
void UpdateKillersAndHistory(SearchBlock& b, int ply, int side, Depth depth, Move m);

// True when the search must unwind now (a status is set or this block was stopped).
bool SearchAborted(const SearchBlock& b);

// Whether a move checks, for MakeSearchMove: not known yet (tested after the move).
constexpr int CheckUnknown = -1;
// Makes a move at `ply` (saving the keys and recording the game history), and
// takes it back again. `givesCheck` is 0 or 1 when the caller already knows whether m
// checks (MoveGivesCheck before the move, exact where the opponent's king is not
// attacked, as at every node of the full-width search); CheckUnknown tests afterwards.
void MakeSearchMove(SearchBlock& b, int ply, Move m, int side, int givesCheck = CheckUnknown);
void UnmakeSearchMove(SearchBlock& b, int ply, Move m);

// Searches one already made move of a node with the principal-variation scheme at depth
// + e: a null window first, `r` quarter plies shallower, a re-search at the full depth
// when the reduced search fails high, and a full window when the score falls inside.
// `first` searches with the full window at once.
int SearchMadeMove(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, Depth e, Depth r, bool first);

// Pruning of late moves, asked before the move m, the node's `moveCount`-th, is made. Off
// the principal variation, not in check, not under a mate threat and not at the root:
// quiet moves that give no check are skipped by their number near the leaves, when they
// cannot bring the evaluation up to alpha at the depth they would be searched at, or when
// they lose material by exchange beyond a bound growing with that depth; captures,
// promotions and checks when they lose more than a depth-scaled bound. `givesCheck` is
// MoveGivesCheck of m, found once by the caller for this test and for making the move.
bool PrunedBeforeMaking(const SearchBlock& b, int ply, Move m, int side, bool givesCheck, int alpha, Depth depth,
                        int moveCount, bool pvNode);

// Copies the child's line behind the move at `ply`.
void UpdatePv(SearchBlock& b, int ply, Move m);

// Nodes of the main thread between two time checks.
constexpr int TimeCheckInterval = 10000;
// The main thread's nodes until its next time check, at `nodes` nodes under `modes`: the
// interval, or fewer to stop right at an exact node limit.
int NextTimeCheck(const SearchModes& modes, uint64_t nodes);
// "ponderhit" seen by the search: the engine's pondering search continues as a timed one.
void SwitchPonderToTimed(Engine& engine);
// The main thread's checks while it searches no node itself, waiting for the helpers of
// its split (`b` is the split's block): a stop, a gameover or a ponderhit is taken at once
// and the clock may end the search, as they would be between its own nodes. Helpers never
// read the clock, so without this a helper's long subtree ran on past the time.
void CheckWhileWaiting(const SearchBlock& b);

}  // namespace kestrel
