// The static evaluation from the feature lists and the two positional weight tables.
#include "eval/evaluate.h"

namespace kestrel {

namespace {

// Board groups in list order; the gold group gathers gold and the four golden promotions.
struct FeatureGroup {
  int slots[5];
  int slotCount;
  int kind;  // piece code >> 1 of the group's bases
};
constexpr FeatureGroup Groups[9] = {
    {{SlotPawn}, 1, 0},
    {{SlotLance}, 1, 1},
    {{SlotKnight}, 1, 2},
    {{SlotSilver}, 1, 3},
    {{SlotGold, SlotTokin, SlotProLance, SlotProKnight, SlotProSilver}, 5, 4},
    {{SlotBishop}, 1, 5},
    {{SlotHorse}, 1, 13},
    {{SlotRook}, 1, 6},
    {{SlotDragon}, 1, 14},
};

Bitboard GroupSquares(const Position& p, int colour, const FeatureGroup& g) {
  Bitboard b = EmptyBB;
  for (int i = 0; i < g.slotCount; ++i) b |= p.pieceBB[colour][g.slots[i]];
  return b;
}

}  // namespace

int BuildFeatureLists(const EvalWeights& weights, const Position& p, int* list0, int* list1, int* kkpSum,
                      int* kkpTerms) {
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  const bool sum = weights.Present();
  const int16_t* kkpBlack = sum ? weights.KkpRow(bk, wk) : nullptr;
  const int16_t* kkpWhite = sum ? weights.KkpRow(Flip(wk), Flip(bk)) : nullptr;
  int n = 0;
  int kkp = 0;
  auto term = [&](int i, int index) {
    if (kkpTerms) kkpTerms[i] = index;
    if (sum) kkp += KkpTermValue(kkpBlack, kkpWhite, index);
  };
  // 1. Fourteen hand entries, Black's count then White's for each kind; zero counts too.
  //    Each list takes the viewer's own count first, which keeps both ascending.
  for (int kind = 0; kind < HandKindCount; ++kind) {
    const Feature b = HandFeature(0, kind, HandKindCountOf(p.hand[0], kind));
    const Feature w = HandFeature(1, kind, HandKindCountOf(p.hand[1], kind));
    list0[n] = b.f0;
    list1[n] = w.f1;
    list0[n + 1] = w.f0;
    list1[n + 1] = b.f1;
    term(n, b.kkp);
    term(n + 1, w.kkp);
    n += 2;
  }
  // 2. Board pieces group by group: Black's by rising square, then White's. List1 is
  //    written back to front within the group, which keeps it ascending as well.
  for (const FeatureGroup& g : Groups) {
    for (int colour = 0, back = n + PopCount(GroupSquares(p, 0, g)) + PopCount(GroupSquares(p, 1, g)) - 1; colour < 2;
         ++colour)
      for (Square sq : Squares(GroupSquares(p, colour, g))) {
        const Feature f = BoardFeature(2 * g.kind + colour, sq);
        term(n, f.kkp);
        list0[n++] = f.f0;
        list1[back--] = f.f1;
      }
  }
  *kkpSum += kkp;
  return n;
}

int Evaluate(const EvalWeights& weights, Position& p, int side) {
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  int blackScore = p.material;
  if (weights.Present() && bk < SquareCount && wk < SquareCount) {
    int list0[MaxFeatures + 2], list1[MaxFeatures + 2];
    int kkpSum = 0;
    const int n = BuildFeatureLists(weights, p, list0, list1, &kkpSum);
    // Pair sum over every entry with itself and every earlier entry, from both kings.
    const int16_t* rowBlack = weights.KppRow(bk);
    const int16_t* rowWhite = weights.KppRow(Flip(wk));
    int kpp = 0;
    for (int i = 0; i < n; ++i) {
      const int a0 = list0[i], a1 = list1[i];
      for (int j = 0; j <= i; ++j)
        kpp += rowBlack[PairIndex(a0, list0[j])] - rowWhite[PairIndex(a1, list1[j])];
    }
    blackScore += (kpp + kkpSum) / 32;
  }
  const int score = side == Black ? blackScore : -blackScore;
  p.lastEval = score;
  return score;
}

}  // namespace kestrel
