// Move gain estimate, futility bound and the self-tuning margins.
#include "eval/movegain.h"

#include <algorithm>

#include "board/material.h"
#include "eval/evaluate.h"

namespace kestrel {

namespace {

inline int Load(const std::atomic<int32_t>& m) { return m.load(std::memory_order_relaxed); }
inline void RaiseTo(std::atomic<int32_t>& m, int v) {
  if (v > Load(m)) m.store(v, std::memory_order_relaxed);
}

// The diagonal (single-piece) entry of feature x from one king square.
inline int Single(const EvalWeights& w, Square king, int x) { return w.KppRow(king)[x * (x + 1) / 2 + x]; }

// Own and enemy feature bases of a piece code, colour ignored.
inline int OwnBase(int code) { return FeatureBaseOwn[(code & 31) >> 1]; }
inline int EnemyBase(int code) { return FeatureBaseEnemy[(code & 31) >> 1]; }

// Material from `side`'s view.
inline int MaterialFor(const Position& p, int side) { return side == Black ? p.material : -p.material; }

}  // namespace

int MoveGainEstimate(const EvalWeights& weights, const Position& p, Move move, int side) {
  const int from = MoveFrom(move), to = MoveTo(move);
  const int pc = MovePiece(move), cap = MoveCaptured(move);
  const bool promotes = MovePromotes(move);
  const bool capture = cap != Empty;
  // 1. Positional change from both kings' single-piece terms; it needs the weights and
  //    both kings.
  int g = 0;
  const Square bk = (Square)p.kingSquare[0], wk = (Square)p.kingSquare[1];
  if (weights.Present() && bk != NoSquare && wk != NoSquare) {
    const Square fwk = Flip(wk);
    auto tb = [&](int x) { return Single(weights, bk, x); };
    auto tw = [&](int x) { return Single(weights, fwk, x); };
    int sum = 0;
    if (from == NoSquare) {
      sum = tb(OwnBase(pc) + to) - tw(EnemyBase(pc) + Flip(to));
    } else if ((pc & ~1) != BKing) {
      const int q = promotes ? (pc | 16) : pc;
      sum = tb(OwnBase(q) + to) - tb(OwnBase(pc) + from) - tw(EnemyBase(q) + Flip(to)) +
            tw(EnemyBase(pc) + Flip(from));
    }
    if (capture) sum += -tb(OwnBase(cap) + to) + tw(EnemyBase(cap) + Flip(to));
    g = sum / 32;
  }
  // 2. Material.
  int m = 0;
  if (from != NoSquare) {
    if (capture) m += CaptureGain[cap];
    if (promotes) m += PromotionGain[pc];
  }
  // 3. The positional part is Black's view.
  return side == Black ? g + m : m - g;
}

int FutilityMargins::Bound(int side, int eval, int gain, const Position& p, Move move) const {
  const int mcg = MaxCaptureGain;
  int a = mcg * 6 / 16 + Load(materialMargin) + MaterialFor(p, side);
  int b;
  if (MoveIsDrop(move)) {
    b = eval + gain + Load(dropMargin) + mcg / 16;
  } else {
    const int pc = MovePiece(move), cap = MoveCaptured(move);
    const bool king = (pc & ~1) == BKing, capture = cap != Empty;
    if (capture) a += CaptureGain[cap];
    if (MovePromotes(move) && !king) a += PromotionGain[pc];
    if (king) b = eval + gain + Load(capture ? kingCaptureMargin : kingMargin) + mcg * 2 / 16;
    else b = eval + gain + Load(capture ? captureMargin : miscMargin) + mcg / 16;
  }
  return std::min(a, b);
}

void FutilityMargins::Learn(const EvalWeights& weights, const Position& p, int evalBefore, int evalAfter, Move move,
                            int side) {
  const int d = evalAfter - evalBefore;
  const int pc = MovePiece(move), cap = MoveCaptured(move);
  const bool drop = MoveIsDrop(move), capture = cap != Empty;
  int pos = evalAfter - MaterialFor(p, side);
  if (!drop && capture) pos -= CaptureGain[cap];
  if (!drop && MovePromotes(move)) pos -= PromotionGain[pc];
  if (drop) {
    RaiseTo(dropMargin, d - MoveGainEstimate(weights, p, move, side));
  } else if ((pc & ~1) == BKing) {
    if (capture) RaiseTo(kingCaptureMargin, d - MoveGainEstimate(weights, p, move, side));
    else RaiseTo(kingMargin, d);
  } else {
    RaiseTo(capture ? captureMargin : miscMargin, d - MoveGainEstimate(weights, p, move, side));
  }
  RaiseTo(materialMargin, pos);
}

void FutilityMargins::Decay() {
  const int mcg = MaxCaptureGain;
  const int floor = mcg * 2 / 8;
  const int d1 = (mcg / 16) / 2, d2 = (mcg * 2 / 16) / 2, d6 = (mcg * 6 / 16) / 2;
  auto decay = [floor](std::atomic<int32_t>& m, int by) {
    m.store(std::max(floor, Load(m) - by), std::memory_order_relaxed);
  };
  decay(miscMargin, d1);
  decay(dropMargin, d1);
  decay(captureMargin, d1);
  decay(kingMargin, d2);
  decay(kingCaptureMargin, d2);
  decay(materialMargin, d6);
}

void FutilityMargins::Reset() {
  const int f = MaxCaptureGain * 2 / 8;
  for (auto* m : {&miscMargin, &captureMargin, &dropMargin, &kingMargin, &kingCaptureMargin, &materialMargin})
    m->store(f, std::memory_order_relaxed);
}

}  // namespace kestrel
