// The trained model: the evaluation's own features with factored parameters. Every
// parameter is in evaluation points (the files store 32 times it, rounded):
//   pair       KppPairCount entries, one king-independent weight per feature pair
//   kingPiece  81 x 1476: a feature seen from a king, added to that king's pair diagonal
//   kkp        81 x 81 x 738: the king-king-piece table itself
// The score a position gets from the side to move is
//   s = stm x (material + sum over both kings' pairs (i >= j) of pair[T(a_i, a_j)]
//              + sum of kingPiece[king][a_i] + the king-king-piece sum),
// the second king's terms subtracted as in the evaluation. The loss is the cross-entropy
// between sigmoid(s / scale) and the target lambda x sigmoid(teacher / scale) +
// (1 - lambda) x result (1 win, 1/2 draw, 0 loss).
#pragma once

#include <cstdint>
#include <vector>

#include "board/position.h"
#include "eval/eval_compact.h"
#include "eval/evaluate.h"
#include "learn/training_record.h"

namespace kestrel {

constexpr int64_t ParamPairOffset = 0;
constexpr int64_t ParamKingPieceOffset = KppPairCount;
constexpr int64_t ParamKkpOffset = ParamKingPieceOffset + CompactKingPieceCount;
constexpr int64_t ParamCount = ParamKkpOffset + KkpElementCount;

// A record turned into the feature indices the model reads.
struct TrainSample {
  uint16_t list0[MaxFeatures];  // features seen by Black's king
  uint16_t list1[MaxFeatures];  // the same things seen by White's king
  uint32_t kkp[MaxFeatures];    // king-king-piece index; bit 31 set: the term is subtracted
  uint8_t count;
  uint8_t blackKing, whiteKingFlipped;
  int8_t stm;      // +1 Black to move, -1 White
  int8_t result;   // from the side to move
  int16_t teacher; // teacher's score from the side to move
  int32_t material;  // Black minus White, from the piece values
};

struct LossSettings {
  double scale = 600;  // points per unit of the logistic
  double lambda = 0.5; // weight of the teacher's score in the target
};

// Builds the sample of a record; false when the record holds no position.
bool MakeSample(const TrainingRecord& r, Position& scratch, TrainSample* out);

// The model's score of a sample from its side to move, in points.
double PredictScore(const float* w, const TrainSample& s);
// The training target (a probability) of a sample.
double TargetOf(const TrainSample& s, const LossSettings& ls);
// Cross-entropy of one sample; *dLds gets the derivative with respect to the score.
double SampleLoss(const float* w, const TrainSample& s, const LossSettings& ls, double* dLds);
// Adds g x (derivative of the side-to-move score by each parameter) to grad.
void AddGradient(const TrainSample& s, float g, float* grad);

// Scale that best predicts the decisive games' results from the teacher's scores
// (cross-entropy); 600 when there are too few decisive games.
double FitScale(const std::vector<TrainSample>& samples);

// Left-right mirror of the model: shogi's rules are the same with the files reversed, so
// a position and its mirror image (every piece and both kings on the mirrored file, the
// hands as they are) are worth the same. MirrorSquare maps a square to its mirror image;
// MirrorFeature does the same for a pair-table feature and MirrorKkpFeature for a
// king-king-piece feature (hand counts are their own mirror images). Every board
// feature's base is a multiple of nine, so a feature mirrors as its square does. The hand
// counts run past the first board base into the indices of a pawn on its last rank,
// which never stands there.
constexpr int MirrorSquare(int sq) { return sq - 2 * (sq % 9) + 8; }
constexpr int HandFeatureCount = 90;     // pair-table features below this are hand counts
constexpr int KkpHandFeatureCount = 45;  // and king-king-piece features below this
constexpr int MirrorFeature(int f) { return f < HandFeatureCount ? f : MirrorSquare(f); }
constexpr int MirrorKkpFeature(int f) { return f < KkpHandFeatureCount ? f : MirrorSquare(f); }
// The parameter each parameter shares its value with under the mirror: a table of
// ParamCount entries, its own inverse.
std::vector<uint32_t> MirrorParameterTable();

// Rounds the parameters to the compact file's 16-bit weights (32 per point, saturated).
CompactWeights ToCompact(const float* w);
// And back: the parameters a compact file holds.
void FromCompact(const CompactWeights& c, float* w);

}  // namespace kestrel
