// Features, loss and gradient of the trained model.
#include "learn/train_model.h"

#include <cmath>

namespace kestrel {

namespace {

constexpr uint32_t SubtractBit = 1u << 31;

uint32_t KkpIndex(int k1, int k2, int f) { return (uint32_t)((k1 * SquareCount + k2) * KkpFeatureCount + f); }

double Sigmoid(double x) { return 1.0 / (1.0 + std::exp(-x)); }

}  // namespace

bool MakeSample(const TrainingRecord& r, Position& p, TrainSample* out) {
  int side;
  if (!UnpackPosition(r.position, p, &side)) return false;
  int l0[MaxFeatures + 2], l1[MaxFeatures + 2], terms[MaxFeatures + 2], unused = 0;
  const int n = BuildFeatureLists(NoEvalWeights(), p, l0, l1, &unused, terms);
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  const int fbk = Flip(bk), fwk = Flip(wk);
  TrainSample& s = *out;
  s.count = (uint8_t)n;
  for (int i = 0; i < n; ++i) {
    s.list0[i] = (uint16_t)l0[i];
    s.list1[i] = (uint16_t)l1[i];
    // The king-king-piece term of the same feature: Black's added, White's subtracted.
    const int f = terms[i] & ~KkpWhiteFlag;
    s.kkp[i] = (terms[i] & KkpWhiteFlag) ? KkpIndex(fwk, fbk, f) | SubtractBit : KkpIndex(bk, wk, f);
  }
  s.blackKing = (uint8_t)bk;
  s.whiteKingFlipped = (uint8_t)fwk;
  s.stm = (int8_t)side;
  s.result = r.result;
  s.teacher = r.score;
  s.material = p.material;
  return true;
}

double PredictScore(const float* w, const TrainSample& s) {
  const float* pair = w + ParamPairOffset;
  const float* kp0 = w + ParamKingPieceOffset + s.blackKing * KppFeatureCount;
  const float* kp1 = w + ParamKingPieceOffset + s.whiteKingFlipped * KppFeatureCount;
  const float* kkp = w + ParamKkpOffset;
  double sum = 0;
  for (int i = 0; i < s.count; ++i) {
    const int a0 = s.list0[i], a1 = s.list1[i];
    const float* row0 = pair + a0 * (a0 + 1) / 2;
    const float* row1 = pair + a1 * (a1 + 1) / 2;
    float part = kp0[a0] - kp1[a1];
    for (int j = 0; j <= i; ++j) part += row0[s.list0[j]] - row1[s.list1[j]];
    const uint32_t k = s.kkp[i];
    part += (k & SubtractBit) ? -kkp[k & ~SubtractBit] : kkp[k];
    sum += part;
  }
  return s.stm * (s.material + sum);
}

double TargetOf(const TrainSample& s, const LossSettings& ls) {
  return ls.lambda * Sigmoid(s.teacher / ls.scale) + (1 - ls.lambda) * (s.result + 1) * 0.5;
}

double SampleLoss(const float* w, const TrainSample& s, const LossSettings& ls, double* dLds) {
  const double p = Sigmoid(PredictScore(w, s) / ls.scale);
  const double t = TargetOf(s, ls);
  if (dLds) *dLds = (p - t) / ls.scale;
  const double eps = 1e-12;
  return -(t * std::log(p + eps) + (1 - t) * std::log(1 - p + eps));
}

void AddGradient(const TrainSample& s, float g, float* grad) {
  // The side to move's score is stm times Black's; the second king's terms count negative.
  const float gb = g * s.stm;
  float* pair = grad + ParamPairOffset;
  float* kp0 = grad + ParamKingPieceOffset + s.blackKing * KppFeatureCount;
  float* kp1 = grad + ParamKingPieceOffset + s.whiteKingFlipped * KppFeatureCount;
  float* kkp = grad + ParamKkpOffset;
  for (int i = 0; i < s.count; ++i) {
    const int a0 = s.list0[i], a1 = s.list1[i];
    float* row0 = pair + a0 * (a0 + 1) / 2;
    float* row1 = pair + a1 * (a1 + 1) / 2;
    for (int j = 0; j <= i; ++j) {
      row0[s.list0[j]] += gb;
      row1[s.list1[j]] -= gb;
    }
    kp0[a0] += gb;
    kp1[a1] -= gb;
    const uint32_t k = s.kkp[i];
    if (k & SubtractBit) kkp[k & ~SubtractBit] -= gb;
    else kkp[k] += gb;
  }
}

double FitScale(const std::vector<TrainSample>& samples) {
  // Mean cross-entropy of the decisive results given sigmoid(teacher / scale); it is
  // smooth and has one minimum in the range, found by golden-section search. Drawn games
  // (in self-play mostly repetitions of level positions) say little about how a score
  // turns into wins, so they are left out; without decisive games the scale is 600.
  std::vector<const TrainSample*> decisive;
  const size_t step = samples.size() > 400000 ? samples.size() / 400000 : 1;
  for (size_t i = 0; i < samples.size(); i += step)
    if (samples[i].result != 0) decisive.push_back(&samples[i]);
  if (decisive.size() < 100) return 600;
  auto loss = [&](double scale) {
    double sum = 0;
    for (const TrainSample* s : decisive) {
      const double p = Sigmoid(s->teacher / scale), t = (s->result + 1) * 0.5;
      sum -= t * std::log(p + 1e-12) + (1 - t) * std::log(1 - p + 1e-12);
    }
    return sum;
  };
  double lo = 50, hi = 5000;
  const double g = (std::sqrt(5.0) - 1) / 2;
  double a = hi - g * (hi - lo), b = lo + g * (hi - lo), fa = loss(a), fb = loss(b);
  for (int it = 0; it < 40; ++it) {
    if (fa < fb) {
      hi = b, b = a, fb = fa, a = hi - g * (hi - lo), fa = loss(a);
    } else {
      lo = a, a = b, fa = fb, b = lo + g * (hi - lo), fb = loss(b);
    }
  }
  return (lo + hi) / 2;
}

std::vector<uint32_t> MirrorParameterTable() {
  std::vector<uint32_t> m(ParamCount);
  for (int a = 0; a < KppFeatureCount; ++a)
    for (int b = 0; b <= a; ++b)
      m[ParamPairOffset + PairIndex(a, b)] = (uint32_t)(ParamPairOffset + PairIndex(MirrorFeature(a), MirrorFeature(b)));
  for (int k = 0; k < SquareCount; ++k)
    for (int a = 0; a < KppFeatureCount; ++a)
      m[ParamKingPieceOffset + (int64_t)k * KppFeatureCount + a] =
          (uint32_t)(ParamKingPieceOffset + (int64_t)MirrorSquare(k) * KppFeatureCount + MirrorFeature(a));
  for (int k1 = 0; k1 < SquareCount; ++k1)
    for (int k2 = 0; k2 < SquareCount; ++k2)
      for (int f = 0; f < KkpFeatureCount; ++f)
        m[ParamKkpOffset + KkpIndex(k1, k2, f)] =
            (uint32_t)(ParamKkpOffset + KkpIndex(MirrorSquare(k1), MirrorSquare(k2), MirrorKkpFeature(f)));
  return m;
}

CompactWeights ToCompact(const float* w) {
  CompactWeights c = ZeroCompactWeights();
  auto q = [](float v) {
    const long r = std::lround(v * 32.0);
    return (int16_t)(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
  };
  for (int64_t i = 0; i < KppPairCount; ++i) c.pair[i] = q(w[ParamPairOffset + i]);
  for (int64_t i = 0; i < CompactKingPieceCount; ++i) c.kingPiece[i] = q(w[ParamKingPieceOffset + i]);
  for (int64_t i = 0; i < KkpElementCount; ++i) c.kkp[i] = q(w[ParamKkpOffset + i]);
  return c;
}

void FromCompact(const CompactWeights& c, float* w) {
  for (int64_t i = 0; i < KppPairCount; ++i) w[ParamPairOffset + i] = c.pair[i] / 32.0f;
  for (int64_t i = 0; i < CompactKingPieceCount; ++i) w[ParamKingPieceOffset + i] = c.kingPiece[i] / 32.0f;
  for (int64_t i = 0; i < KkpElementCount; ++i) w[ParamKkpOffset + i] = c.kkp.empty() ? 0 : c.kkp[i] / 32.0f;
}

}  // namespace kestrel
