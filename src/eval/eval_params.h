// Loading the evaluation files below the data directory: the piece values and list
// tables of "Evaluation/evaluation.txt" (process-wide, the same file for every engine)
// and the positional weights of "Evaluation/eval_features.bin" or "eval_compact.bin"
// (into an EvalWeights object the caller owns).
#pragma once

#include <cstdint>
#include <string>

#include "board/material.h"
#include "board/types.h"
#include "eval/eval_weights.h"

namespace kestrel {

// List tables of evaluation.txt that are stored but read by no evaluation term.
// The positional block: ten tables of 18 entries, two of 36 and one of 54, in key order
// PP PL PN PS PG PB PT Pl Pn PH PR Ps PD; cleared every time the file is opened.
constexpr int PositionalBlockSize = 306;
extern int32_t PositionalTables[PositionalBlockSize];
// Mobility: MB MH (17 each), ML MRV MRH MDV MDH (9 each), in that order.
constexpr int MobilityBlockSize = 79;
extern int32_t MobilityTables[MobilityBlockSize];
// Pieces in hand: HP (19), HL HN HS HG (5 each), HB HR (3 each), in that order.
constexpr int HandBlockSize = 45;
extern int32_t HandTables[HandBlockSize];

// Where one list key stores its numbers.
struct ListKeyInfo {
  const char* name;
  int32_t* table;
  int room;
  bool positional;  // numbers are also stored nine entries further on
};
// The list key of the given name ("PP", "MRV", ...), or nullptr.
const ListKeyInfo* FindListKey(const char* name);

// Reads "<directory>/Evaluation/evaluation.txt"; 1 when it was opened, 0 otherwise.
int LoadEvaluationText(const std::string& directory);
// Parses evaluation.txt text already in memory (the same rules; used by the loader and tests).
void ParseEvaluationText(const char* text, int64_t length);

// Reads "<directory>/Evaluation/eval_features.bin" into `weights`, allocating its tables.
// 1 on success; -2 when the file is missing or shorter than the two tables (a short file
// is rejected before anything is read, so `weights` keeps what it held); -2 with no
// tables left when the memory or a read fails part-way; a negative close result is
// passed through.
int LoadEvalFeatures(const std::string& directory, EvalWeights& weights);

// The "usi" loading sequence below `directory`: evaluation.txt (the process's piece
// values), and only when it opened, the derived material tables and the positional
// weights into `weights`: the full file "Evaluation/eval_features.bin" when it exists,
// the compact file "Evaluation/eval_compact.bin" expanded otherwise. `weights` ends with
// tables only when one of them loaded, its origin saying which, and its load note set
// when the compact file was missing or unusable. Returns LoadEvaluationText's result.
int LoadEvaluationFiles(const std::string& directory, EvalWeights& weights);

}  // namespace kestrel
