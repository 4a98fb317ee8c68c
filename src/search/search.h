// The node search: principal-variation alpha-beta with a transposition table,
// mate-in-one probes, near-leaf cut-offs, null move, internal iterative deepening,
// extensions and history reductions, futility pruning, shogi repetition rules,
// and the quiescence search.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/search_block.h"

namespace kestrel {

// Thresholds derived from the piece values; set by ComputeSearchThresholds.
extern int PawnValue;   // VP
extern int P2;          // 2 * VP, the unit of the search's thresholds
extern int DrawScore;   // 2 * VP
// Recomputes the thresholds that are fixed multiples of the pawn value.
void ComputeSearchThresholds();

// Searches the node at `ply` with `side` to move; returns 0 at once when the
// search is being aborted (the caller then discards the result).
int Search(SearchBlock& b, int alpha, int beta, int depth, int ply, int side, bool allowNull);
// Static evaluation of the block's position at `ply` for `side`: the same value as
// Evaluate, kept up to date move by move through the plies' accumulators.
int EvaluateAt(SearchBlock& b, int ply, int side);
// When set, every evaluation through accumulators is compared with the from-scratch one
// (for tests and checks of the search's bookkeeping): the counts of comparisons and of
// differences found.
extern bool verifyIncrementalEval;
extern std::atomic<uint64_t> evalChecks, evalMismatches;

// Quiescence search: captures and promotions after a stand-pat evaluation.
int Quiesce(SearchBlock& b, int alpha, int beta, int ply, int side, int qdepth);
// Depth change in quarter plies for the move just made at `ply` (checks, single
// evasions, recaptures; history reductions of late quiet moves).
int ExtensionFor(SearchBlock& b, int ply, Move m, int side, int depth);
// Repetition rules of shogi for the position at `ply`; 0 when nothing repeats.
int RepetitionCheck(SearchBlock& b, int ply, int side);
// Killer and history updates after a quiet move caused a cut-off or was best.
void UpdateKillersAndHistory(SearchBlock& b, int ply, int side, int depth, Move m);
// Success/tried statistics after a move raised alpha.
void UpdateHistoryOnImprovement(SearchBlock& b, int side, const Move* searched, int count);

// True when the search must unwind now (a status is set or this block was stopped).
bool SearchAborted(const SearchBlock& b);

// Makes a move at `ply` (saving the keys and recording the game history), and
// takes it back again.
void MakeSearchMove(SearchBlock& b, int ply, Move m, int side);
void UnmakeSearchMove(SearchBlock& b, int ply, Move m);

// Searches one already made move of a node with the principal-variation scheme:
// null window first (and a re-search of a reduced move), full window when the
// score falls inside. `first` searches with the full window at once.
int SearchMadeMove(SearchBlock& b, int alpha, int beta, int depth, int ply, int side, int e, bool first);

// Futility pruning of a move already made at `ply` (searched at depth nd): when the
// move cannot bring the score up to alpha it is taken back and true is returned;
// otherwise it stays made. Checks and evasions are never pruned.
bool FutilityPrunes(SearchBlock& b, int ply, Move m, int side, int alpha, int nd, bool inCheck,
                    bool searchedAny);

// Copies the child's line behind the move at `ply`.
void UpdatePv(SearchBlock& b, int ply, Move m);

// Nodes of the main thread between two time checks.
constexpr int TimeCheckInterval = 10000;
// The main thread's countdown to the next time check.
extern int& timeCheckCountdown;  // written by the main thread only
// When set, the search prints nothing (the bench).
extern bool silentSearch;
// When not 0, the main thread ends the search as on time once its node count reaches
// this (checked with the time, every 10000 nodes); the training-position generator's
// per-move budget. 0 everywhere else.
extern uint64_t searchNodeLimit;
// "ponderhit" seen by the search: the pondering search continues as a timed one.
void SwitchPonderToTimed();

}  // namespace kestrel
