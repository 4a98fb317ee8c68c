// The calls from the command loop into the search, the mate solver, the transposition
// table and the book, gathered in one place. Each one is an interim body until its
// subsystem lands; the command loop only ever calls these names.
#pragma once

#include <cstdint>

namespace kestrel {

// Start-up work of the search-side subsystems: the mate solver's work area, the parallel
// search blocks and the empty book table.
void EngineInitSubsystems();

// Allocates the transposition and mate tables for the given size in bytes;
// false (and the previous tables kept) when the memory cannot be had.
bool EngineAllocateTable(int64_t bytes);

// Per-game reset before a new game: tables, move ordering, game history, search values.
void EngineNewGameReset();

// Loads the opening book (on every "usi").
void EngineLoadBook();

// Sets the search thresholds that are fixed multiples of p2 (twice the pawn value).
void EngineSetThresholds(int p2);

// Runs the search for the side to move; fills bestMove, rootScore, searchStatus and
// resultCode of the engine record.
void EngineThink(int side);

// Chooses ponderMove for the position after bestMove has been played on the root.
void EngineSelectPonderMove();


}  // namespace kestrel
