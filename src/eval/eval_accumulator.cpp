// Positional sums kept along a line of play: from scratch at the root, then updated
// move by move for the features the move changed.
#include "eval/eval_accumulator.h"

#include <cstring>

namespace kestrel {

namespace {

// Hand entries sit at fixed places: Black's count of kind k at 2k, White's at 2k + 1.
constexpr int HandEntries = 2 * HandKindCount;

inline void Put(EvalAccumulator& acc, int i, const Feature& f) {
  acc.list0[i] = (int16_t)f.f0;
  acc.list1[i] = (int16_t)f.f1;
  acc.kkpIndex[i] = (int16_t)f.kkp;
}

// Place of a board feature in the lists (matched in both lists, so that an index that
// two things share on an odd set-up board still finds the right one); -1 if absent.
inline int FindBoardEntry(const EvalAccumulator& acc, const Feature& f) {
  for (int i = HandEntries; i < acc.count; ++i)
    if (acc.list0[i] == f.f0 && acc.list1[i] == f.f1) return i;
  return -1;
}

// Pair sum over every entry with itself and every earlier one. The entries are taken in
// ascending order, so that each one's pairs lie in its own row of the table.
int32_t FullPairSum(const int16_t* row, const int16_t* list, int n) {
  int16_t sorted[MaxFeatures + 2];
  for (int i = 0; i < n; ++i) {
    const int16_t v = list[i];
    int j = i;
    for (; j > 0 && sorted[j - 1] > v; --j) sorted[j] = sorted[j - 1];
    sorted[j] = v;
  }
  int32_t s = 0;
  for (int i = 0; i < n; ++i) {
    const int16_t* r = row + sorted[i] * (sorted[i] + 1) / 2;
    for (int j = 0; j <= i; ++j) s += r[sorted[j]];
  }
  return s;
}

int32_t FullKkpSum(const EvalAccumulator& acc, const int16_t* black, const int16_t* white) {
  int32_t s = 0;
  for (int i = 0; i < acc.count; ++i) s += KkpTermValue(black, white, acc.kkpIndex[i]);
  return s;
}

// Change of one viewer's pair sum when the features `removed` left the list and
// `added` (now at the places addedAt of the new list) came in.
//
// The sums run over the whole new list and correct for the added features met there:
// with U the unchanged entries and N = U + added,
//   sum(a in A, g in U) W(a,g) + pairs(A) = sum(a in A, g in N) W(a,g) - offdiagonal(A),
//   sum(r in R, g in U) W(r,g)            = sum(r in R, g in N) W(r,g) - sum(r in R, a in A) W(r,a).
template <int NA, int NR>
int32_t PairSumDelta(const int16_t* row, const int16_t* list, int n, const int* removed, const int* added) {
  int ta[NA > 0 ? NA : 1], tr[NR > 0 ? NR : 1];
  for (int k = 0; k < NA; ++k) ta[k] = added[k] * (added[k] + 1) / 2;
  for (int k = 0; k < NR; ++k) tr[k] = removed[k] * (removed[k] + 1) / 2;
  int32_t d = 0;
  for (int j = 0; j < n; ++j) {
    const int g = list[j];
    const int tg = g * (g + 1) / 2;
    for (int k = 0; k < NA; ++k) d += row[added[k] >= g ? ta[k] + g : tg + added[k]];
    for (int k = 0; k < NR; ++k) d -= row[removed[k] >= g ? tr[k] + g : tg + removed[k]];
  }
  for (int k = 0; k < NA; ++k)
    for (int l = 0; l < k; ++l) d -= row[PairIndex(added[k], added[l])];
  for (int k = 0; k < NR; ++k) {
    for (int l = 0; l <= k; ++l) d -= row[PairIndex(removed[k], removed[l])];
    for (int l = 0; l < NA; ++l) d += row[PairIndex(removed[k], added[l])];
  }
  return d;
}

// PairSumDelta for the counts of changed features a move can give.
int32_t PairSumDelta(const int16_t* row, const int16_t* list, int n, const int* removed, int nr,
                     const int* added, int na) {
  switch (na * 4 + nr) {
    case 1 * 4 + 1: return PairSumDelta<1, 1>(row, list, n, removed, added);  // a quiet move
    case 2 * 4 + 3: return PairSumDelta<2, 3>(row, list, n, removed, added);  // a capture
    case 2 * 4 + 1: return PairSumDelta<2, 1>(row, list, n, removed, added);  // a drop
    case 1 * 4 + 2: return PairSumDelta<1, 2>(row, list, n, removed, added);  // a king's capture
    default: return PairSumDelta<0, 0>(row, list, n, removed, added);         // a king's quiet move
  }
}

}  // namespace

void ComputeAccumulator(const EvalWeights& weights, const Position& p, EvalAccumulator& acc) {
  for (int kind = 0; kind < HandKindCount; ++kind) {
    Put(acc, 2 * kind, HandFeature(0, kind, HandKindCountOf(p.hand[0], kind)));
    Put(acc, 2 * kind + 1, HandFeature(1, kind, HandKindCountOf(p.hand[1], kind)));
  }
  int n = HandEntries;
  for (int sq = 0; sq < SquareCount; ++sq) {
    const int pc = p.board[sq];
    if (pc == Empty || (pc & ~1) == BKing) continue;
    Put(acc, n++, BoardFeature(pc, sq));
  }
  acc.count = n;
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  acc.kpp0 = FullPairSum(weights.KppRow(bk), acc.list0, n);
  acc.kpp1 = FullPairSum(weights.KppRow(Flip(wk)), acc.list1, n);
  acc.kkp = FullKkpSum(acc, weights.KkpRow(bk, wk), weights.KkpRow(Flip(wk), Flip(bk)));
}

bool UpdateAccumulator(const EvalWeights& weights, const Position& after, Move m, const EvalAccumulator& before,
                       EvalAccumulator& acc) {
  const int from = MoveFrom(m), to = MoveTo(m), pc = MovePiece(m), cap = MoveCaptured(m);
  const int colour = pc & 1;
  if (cap != Empty && (cap & ~1) == BKing) return false;
  std::memcpy(acc.list0, before.list0, sizeof(int16_t) * before.count);
  std::memcpy(acc.list1, before.list1, sizeof(int16_t) * before.count);
  std::memcpy(acc.kkpIndex, before.kkpIndex, sizeof(int16_t) * before.count);
  acc.count = before.count;
  // Removed and added features, and where the added ones now stand.
  Feature removed[3], added[2];
  int addedAt[2];
  int nr = 0, na = 0;
  const bool kingMove = (pc & ~1) == BKing;
  if (from == NoSquare) {
    const int kind = pc >> 1, left = HandKindCountOf(after.hand[colour], kind);
    removed[nr++] = HandFeature(colour, kind, left + 1);
    added[na] = HandFeature(colour, kind, left);
    addedAt[na++] = 2 * kind + colour;
    added[na] = BoardFeature(pc, to);
    addedAt[na++] = acc.count++;
  } else {
    if (!kingMove) {
      const Feature f = BoardFeature(pc, from);
      const int i = FindBoardEntry(acc, f);
      if (i < 0) return false;
      removed[nr++] = f;
      added[na] = BoardFeature(MovePromotes(m) ? Promote(pc) : pc, to);
      addedAt[na++] = i;
    }
    if (cap != Empty) {
      const Feature f = BoardFeature(cap, to);
      const int i = FindBoardEntry(acc, f);
      if (i < 0) return false;
      removed[nr++] = f;
      // The last entry fills the captured piece's place.
      const int last = acc.count - 1;
      for (int k = 0; k < na; ++k)
        if (addedAt[k] == last) addedAt[k] = i;
      acc.list0[i] = acc.list0[last];
      acc.list1[i] = acc.list1[last];
      acc.kkpIndex[i] = acc.kkpIndex[last];
      acc.count = last;
      const int kind = (cap & 0xE) >> 1, held = HandKindCountOf(after.hand[colour], kind);
      removed[nr++] = HandFeature(colour, kind, held - 1);
      added[na] = HandFeature(colour, kind, held);
      addedAt[na++] = 2 * kind + colour;
    }
  }
  for (int k = 0; k < na; ++k) Put(acc, addedAt[k], added[k]);
  // Pair sums: a king that moved sees every pair anew; otherwise only the changes count.
  const int bk = (int)after.kingSquare[0], wk = (int)after.kingSquare[1];
  const int16_t* row0 = weights.KppRow(bk);
  const int16_t* row1 = weights.KppRow(Flip(wk));
  int r0[3], r1[3], a0[2], a1[2];
  for (int k = 0; k < nr; ++k) r0[k] = removed[k].f0, r1[k] = removed[k].f1;
  for (int k = 0; k < na; ++k) a0[k] = added[k].f0, a1[k] = added[k].f1;
  const bool blackKingMoved = kingMove && colour == 0, whiteKingMoved = kingMove && colour == 1;
  acc.kpp0 = blackKingMoved ? FullPairSum(row0, acc.list0, acc.count)
                            : before.kpp0 + PairSumDelta(row0, acc.list0, acc.count, r0, nr, a0, na);
  acc.kpp1 = whiteKingMoved ? FullPairSum(row1, acc.list1, acc.count)
                            : before.kpp1 + PairSumDelta(row1, acc.list1, acc.count, r1, nr, a1, na);
  const int16_t* kkpBlack = weights.KkpRow(bk, wk);
  const int16_t* kkpWhite = weights.KkpRow(Flip(wk), Flip(bk));
  if (kingMove) {
    acc.kkp = FullKkpSum(acc, kkpBlack, kkpWhite);
  } else {
    int32_t k = before.kkp;
    for (int i = 0; i < nr; ++i) k -= KkpTermValue(kkpBlack, kkpWhite, removed[i].kkp);
    for (int i = 0; i < na; ++i) k += KkpTermValue(kkpBlack, kkpWhite, added[i].kkp);
    acc.kkp = k;
  }
  return true;
}

int EvaluateWithAccumulator(Position& p, int side, const EvalAccumulator& acc) {
  const int blackScore = p.material + (acc.kpp0 - acc.kpp1 + acc.kkp) / 32;
  const int score = side == Black ? blackScore : -blackScore;
  p.lastEval = score;
  return score;
}

}  // namespace kestrel
