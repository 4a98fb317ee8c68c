// Evaluation weights loaded from the two files below the start-up directory:
// the piece values and list tables of "Evaluation/evaluation.txt" and the
// king-relative pair weights of "Evaluation/eval_features.bin".
#pragma once

#include <cstdint>
#include <string>

#include "board/material.h"
#include "board/types.h"

namespace kestrel {

// Feature indices of the pair table run 0..1475; pairs a >= b are stored triangularly.
constexpr int KppFeatureCount = 1476;
constexpr int KppPairCount = KppFeatureCount * (KppFeatureCount + 1) / 2;
constexpr int KkpFeatureCount = 738;
static_assert(KppPairCount == 1090026, "triangular pair count");

// [king square][pair index] and [king square][other king square][feature]; zero until loaded.
extern int16_t KppTable[SquareCount][KppPairCount];
extern int16_t KkpTable[SquareCount][SquareCount][KkpFeatureCount];

// Layout of eval_features.bin: the pair table, then the king-king-piece table, no gaps.
constexpr int64_t KppElementCount = (int64_t)SquareCount * KppPairCount;
constexpr int64_t KkpElementCount = (int64_t)SquareCount * SquareCount * KkpFeatureCount;
constexpr int64_t KkpFileOffset = KppElementCount * 2;
constexpr int64_t EvalFeaturesFileSize = KkpFileOffset + KkpElementCount * 2;
static_assert(KppElementCount == 88292106 && KkpElementCount == 4842018, "weight table sizes");
static_assert(KkpFileOffset == 176584212 && EvalFeaturesFileSize == 186268248, "weight file layout");
static_assert(sizeof(KppTable) == KppElementCount * 2 && sizeof(KkpTable) == KkpElementCount * 2,
              "weight tables are packed 16-bit arrays, read in bulk");

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

// True once a weight file has been read into KppTable and KkpTable (or a caller filled
// them): without weights every positional sum is zero and the evaluation skips it.
extern bool EvalWeightsPresent;

// Reads "<directory>/Evaluation/eval_features.bin" into KppTable and KkpTable.
// 1 on success; -2 when the file is missing or shorter than the two tables (a short file
// is rejected before anything is read, so the tables keep what they held); -2 with both
// tables cleared when a read fails part-way; a negative close result is passed through.
int LoadEvalFeatures(const std::string& directory);

// The "usi" loading sequence below `directory`: evaluation.txt, and only when it opened, the derived
// material tables and the weight file; when eval_features.bin does not exist, the
// compact file "Evaluation/eval_compact.bin" is expanded instead. Returns
// LoadEvaluationText's result.
int LoadEvaluationFiles(const std::string& directory);

// Where the positional weights of the last LoadEvaluationFiles came from.
enum EvalWeightsSource : int { WeightsNone = 0, WeightsFull = 1, WeightsCompact = 2 };
extern EvalWeightsSource EvalWeightsOrigin;
// One line for the front end when the last LoadEvaluationFiles fell back to piece values
// because the compact file was missing or unusable; empty otherwise.
extern std::string EvalLoadNote;

}  // namespace kestrel
