// The positional weights of the evaluation: the king-relative piece-pair table and the
// piece-relative-to-both-kings table, loaded once and then read, never written, by every
// engine and search thread that is given them. An object without tables stands for "no
// positional weights": the evaluation then counts material only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "board/types.h"

namespace kestrel {

// Feature indices of the pair table run 0..1475; pairs a >= b are stored triangularly.
constexpr int KppFeatureCount = 1476;
constexpr int KppPairCount = KppFeatureCount * (KppFeatureCount + 1) / 2;
constexpr int KkpFeatureCount = 738;
static_assert(KppPairCount == 1090026, "triangular pair count");

// Layout of eval_features.bin: the pair table [king square][pair index], then the
// king-king-piece table [king square][other king square][feature], no gaps; the tables
// in memory have the same layout.
constexpr int64_t KppElementCount = (int64_t)SquareCount * KppPairCount;
constexpr int64_t KkpElementCount = (int64_t)SquareCount * SquareCount * KkpFeatureCount;
constexpr int64_t KkpFileOffset = KppElementCount * 2;
constexpr int64_t EvalFeaturesFileSize = KkpFileOffset + KkpElementCount * 2;
static_assert(KppElementCount == 88292106 && KkpElementCount == 4842018, "weight table sizes");
static_assert(KkpFileOffset == 176584212 && EvalFeaturesFileSize == 186268248, "weight file layout");

// Where a set of positional weights came from.
enum EvalWeightsSource : int { WeightsNone = 0, WeightsFull = 1, WeightsCompact = 2 };

class EvalWeights {
 public:
  // No tables: no positional weights.
  EvalWeights() = default;
  EvalWeights(const EvalWeights&) = delete;
  EvalWeights& operator=(const EvalWeights&) = delete;

  // Allocates both tables, every weight zero; false (and no tables) when memory is short.
  bool Allocate();
  // Drops the tables: back to no positional weights.
  void Release();
  bool Present() const { return kpp_ != nullptr; }

  // The pair-table row of a king square, and the king-king-piece row of a pair of king
  // squares (the viewer's king first). Only while Present().
  const int16_t* KppRow(int king) const { return kpp_.get() + (int64_t)king * KppPairCount; }
  const int16_t* KkpRow(int king, int otherKing) const {
    return kkp_.get() + ((int64_t)king * SquareCount + otherKing) * KkpFeatureCount;
  }
  // The same rows for the loaders, the trainer and tests that fill them.
  int16_t* KppRow(int king) { return kpp_.get() + (int64_t)king * KppPairCount; }
  int16_t* KkpRow(int king, int otherKing) {
    return kkp_.get() + ((int64_t)king * SquareCount + otherKing) * KkpFeatureCount;
  }

  // Where the tables came from, and one line for the front end when a load fell back to
  // piece values because the compact file was missing or unusable (empty otherwise).
  EvalWeightsSource origin = WeightsNone;
  std::string loadNote;

 private:
  struct Free {
    void operator()(int16_t* p) const;
  };
  std::unique_ptr<int16_t[], Free> kpp_, kkp_;
};

// The shared object without tables, for engines and callers that play on material alone.
const EvalWeights& NoEvalWeights();

}  // namespace kestrel
