// Engine set-up shared by the USI session and the command-line modes: the tables,
// keys and records every mode needs, and the data files of the start-up directory.
#pragma once

#include <string>

namespace kestrel {

struct Engine;

// Records the start-up directory as the engine's data directory, allocates its main
// search block and its book, builds the board tables, draws the hash keys and lays out
// the start position.
void InitEngine(Engine& engine);

// Loads the data files of the engine's directory as "usi" does: the book, the piece
// values and, when those opened, the positional weights (a new set the engine owns; other
// engines may be given it); then the search thresholds.
// Returns true when the piece-value file opened.
bool LoadDataFiles(Engine& engine);

// One line naming the evaluation data in use, for the modes that report it.
std::string DescribeEvaluationData(const Engine& engine);

}  // namespace kestrel
