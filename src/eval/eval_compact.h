// The compact weight file "Evaluation/eval_compact.bin": the factored tables the
// trainer learns, small enough to ship, expanded into the pair and king-king-piece
// tables of an EvalWeights at load.
//
// Layout (little-endian): a 32-byte header, then three blocks of signed 16-bit weights.
//   0  8 bytes  magic "KSTRLCW1"
//   8  uint32   format version (1)
//  12  uint32   pair count: the king-independent pair table, 1,090,026 entries, indexed
//               like one row of the pair table (triangular over feature pairs)
//  16  uint32   king-piece count: 81 x 1476 entries, [king square][feature]; added to
//               the diagonal entry (a, a) of that king's pair row
//  20  uint32   king-king-piece count: 81 x 81 x 738 entries laid out as the expanded
//               king-king-piece table, or 0 when the file carries none (then all zero)
//  24  uint64   FNV-1a 64 checksum of every byte after the header
// Expanded: the pair row of king k at T(a,b) = pair[T(a,b)] (+ kingPiece[k][a] when
// a = b), saturated to 16 bits; the king-king-piece table = the king-king-piece block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "eval/eval_params.h"

namespace kestrel {

constexpr int CompactHeaderSize = 32;
constexpr uint32_t CompactFormatVersion = 1;
constexpr int64_t CompactKingPieceCount = (int64_t)SquareCount * KppFeatureCount;
extern const char CompactMagic[8];

// The factored weights as stored in the compact file.
struct CompactWeights {
  std::vector<int16_t> pair;       // KppPairCount entries
  std::vector<int16_t> kingPiece;  // CompactKingPieceCount entries
  std::vector<int16_t> kkp;        // KkpElementCount entries, or empty
};

// All three blocks present and zero.
CompactWeights ZeroCompactWeights();

// FNV-1a 64 over a byte range, continuing from `hash` (start with the offset basis).
constexpr uint64_t FnvOffsetBasis = 1469598103934665603ull;
uint64_t Fnv1a64(const void* data, size_t length, uint64_t hash = FnvOffsetBasis);

// Writes the file (header, blocks, checksum); false with a message on failure.
bool WriteCompactWeights(const std::string& path, const CompactWeights& w, std::string* err);
// Reads and checks a compact file: magic, version, block sizes, exact length and
// checksum. False with a one-line reason when anything is wrong; `w` is then undefined.
bool ReadCompactWeights(const std::string& path, CompactWeights* w, std::string* err);

// Fills the tables of `into` (allocating them) from the factors; false when memory is short.
bool ExpandCompactWeights(const CompactWeights& w, EvalWeights& into);

// The pair-table weight a king square sees for features a and b, as expansion gives it.
int ExpandedPairWeight(const CompactWeights& w, int king, int a, int b);

// Path of the compact file below the data directory.
std::string CompactWeightsPath(const std::string& directory);

// Loads "<directory>/Evaluation/eval_compact.bin" into `weights`. 1 on success;
// otherwise -2 with no tables and the load note set to one line saying why the engine
// plays on piece values.
int LoadCompactEvalFeatures(const std::string& directory, EvalWeights& weights);

}  // namespace kestrel
