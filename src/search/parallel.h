// Parallel search: per-thread search blocks, split points in the young-brothers-wait
// manner at inner nodes and at the root, helper threads that wait between searches.
#pragma once

#include <atomic>

#include "search/search_block.h"

namespace kestrel {

// Blocks of the main thread and of each helper are preallocated: 64 per thread.
constexpr int BlocksPerThread = 64;

// The main thread's root block (allocated with the main thread's blocks on first use).
SearchBlock* MainThreadBlock();
// Creates the helper threads the current ThreadNumber asks for and waits until
// every one is ready; the main thread itself is thread 0.
void StartHelpers();
// Clears the split statistics of a new search.
void ResetSplitStatistics();
// True when a helper waits for work (never with one thread).
bool IdleHelpersAvailable();
// Whether the remaining root moves are worth sharing (next unsearched entry index).
bool RootSplitUseful(int nextIndex);
// Shares the remaining moves of the node at `ply` of block b with idle helpers;
// returns 1 when they were searched, with the best score and move found.
int SplitNode(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, int mateThreat,
              bool inCheck, int* best, Move* bestMove);
// Shares the remaining root moves.
int SplitRoot(SearchBlock& b, int alpha, int beta, Depth depth, int side, int* best, Move* bestMove);
// Sets a block's stop flag and those of all blocks lent from it, recursively.
void StopBlock(SearchBlock& b);
// A beta cut-off in child `keep`: stops every other child of the split node and,
// through them, their own helpers; nothing when `keep` was stopped first by a sibling's
// cut-off.
void StopSiblings(SearchBlock& parent, SearchBlock& keep);
// Marks the span of a search: idle helpers spin during it and sleep outside it.
void SetSearchRunning(bool running);
// Number of split points and of cut-offs inside them in this search.
int SplitCount();
int SplitAbortCount();
// Ends the helper threads (tests and process exit).
void StopHelpers();

}  // namespace kestrel
