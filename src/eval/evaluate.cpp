// The static evaluation from the feature lists and the two weight tables.
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

int BuildFeatureLists(const Position& p, int* list0, int* list1, int* kkpSum) {
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  const int fbk = Flip(bk), fwk = Flip(wk);
  const int16_t* kkpBlack = KkpTable[bk][wk];
  const int16_t* kkpWhite = KkpTable[fwk][fbk];
  int n = 0;
  int kkp = 0;
  // 1. Fourteen hand entries, Black's count then White's for each kind; zero counts too.
  for (int kind = 0; kind < HandKindCount; ++kind) {
    const int bc = HandKindCountOf(p.hand[0], kind), wc = HandKindCountOf(p.hand[1], kind);
    list0[n] = HandBaseOwn[kind] + bc;
    list1[n] = HandBaseOwn[kind] + wc;
    list0[n + 1] = HandBaseEnemy[kind] + wc;
    list1[n + 1] = HandBaseEnemy[kind] + bc;
    n += 2;
    kkp += kkpBlack[KkpHandBase[kind] + bc] - kkpWhite[KkpHandBase[kind] + wc];
  }
  // 2. Board pieces group by group: Black's by rising square, then White's. List1 is
  //    written back to front within the group, which keeps it ascending as well.
  for (const FeatureGroup& g : Groups) {
    const int own = FeatureBaseOwn[g.kind], enemy = FeatureBaseEnemy[g.kind], kb = KkpBoardBase[g.kind];
    const Bitboard blackSet = GroupSquares(p, 0, g), whiteSet = GroupSquares(p, 1, g);
    const int count = PopCount(blackSet) + PopCount(whiteSet);
    int back = n + count - 1;
    for (Square sq : Squares(blackSet)) {
      list0[n++] = own + sq;
      list1[back--] = enemy + Flip(sq);
      kkp += kkpBlack[kb + sq];
    }
    for (Square sq : Squares(whiteSet)) {
      list0[n++] = enemy + sq;
      list1[back--] = own + Flip(sq);
      kkp -= kkpWhite[kb + Flip(sq)];
    }
  }
  *kkpSum += kkp;
  return n;
}

int Evaluate(Position& p, int side) {
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  int blackScore = p.material;
  if (EvalWeightsPresent && bk < SquareCount && wk < SquareCount) {
    int list0[MaxFeatures + 2], list1[MaxFeatures + 2];
    int kkpSum = 0;
    const int n = BuildFeatureLists(p, list0, list1, &kkpSum);
    // Pair sum over every entry with itself and every earlier entry, from both kings.
    const int16_t* rowBlack = KppTable[bk];
    const int16_t* rowWhite = KppTable[Flip(wk)];
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
