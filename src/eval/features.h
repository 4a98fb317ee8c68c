// The evaluation's features: what a hand count or a board piece is, seen by Black's king
// (index 0), by White's king on the flipped board (index 1), and as a king-king-piece
// term. The evaluation, the incremental sums and the trainer all index through here.
#pragma once

#include "board/position.h"

namespace kestrel {

// Most entries of a feature list: 14 hand counts and 38 non-king pieces.
constexpr int MaxFeatures = 52;

// Pair-table feature bases per piece kind (piece code >> 1: pawn, lance, knight, silver,
// gold, bishop, rook, king, tokin, promoted lance, promoted knight, promoted silver,
// promoted gold, horse, dragon, none), for the viewer's own and the enemy's pieces.
// The promoted golden pieces share the gold bases; kings and non-pieces have none.
constexpr int FeatureBaseOwn[16] = {81, 225, 360, 504, 666, 828, 1152, 0,
                                    666, 666, 666, 666, 0, 990, 1314, 0};
constexpr int FeatureBaseEnemy[16] = {162, 306, 441, 585, 747, 909, 1233, 0,
                                      747, 747, 747, 747, 0, 1071, 1395, 0};
// Base of the king-king-piece features per kind, seen from Black.
constexpr int KkpBoardBase[16] = {36, 108, 171, 252, 333, 414, 576, 0,
                                  333, 333, 333, 333, 0, 495, 657, 0};
// Hand feature bases per hand kind (pawn .. rook).
constexpr int HandBaseOwn[HandKindCount] = {0, 38, 48, 58, 68, 78, 84};
constexpr int HandBaseEnemy[HandKindCount] = {19, 43, 53, 63, 73, 81, 87};
constexpr int KkpHandBase[HandKindCount] = {0, 19, 24, 29, 34, 39, 42};

// The same square seen from the other side.
constexpr Square Flip(Square s) { return 80 - s; }

// Triangular index of an unordered feature pair (the larger index is the row).
constexpr int PairIndex(int a, int b) { return a >= b ? a * (a + 1) / 2 + b : b * (b + 1) / 2 + a; }

// A king-king-piece term of White's (on the flipped board), subtracted from the sum.
constexpr int KkpWhiteFlag = 1024;

// The value of a king-king-piece term from the two kings' table rows: Black's added,
// White's subtracted.
inline int KkpTermValue(const int16_t* black, const int16_t* white, int index) {
  return (index & KkpWhiteFlag) ? -white[index & ~KkpWhiteFlag] : black[index];
}

// One hand count or board piece: its pair-table index for each viewer and its
// king-king-piece index (Black's, or White's with KkpWhiteFlag).
struct Feature {
  int f0, f1, kkp;
};

// `count` pieces of hand kind `kind` held by colour 0 (Black) or 1 (White).
inline Feature HandFeature(int colour, int kind, int count) {
  if (colour == 0) return {HandBaseOwn[kind] + count, HandBaseEnemy[kind] + count, KkpHandBase[kind] + count};
  return {HandBaseEnemy[kind] + count, HandBaseOwn[kind] + count, KkpWhiteFlag | (KkpHandBase[kind] + count)};
}

// A non-king piece code on square sq.
inline Feature BoardFeature(int piece, int sq) {
  const int kind = piece >> 1;
  if ((piece & 1) == 0) return {FeatureBaseOwn[kind] + sq, FeatureBaseEnemy[kind] + Flip(sq), KkpBoardBase[kind] + sq};
  return {FeatureBaseEnemy[kind] + sq, FeatureBaseOwn[kind] + Flip(sq), KkpWhiteFlag | (KkpBoardBase[kind] + Flip(sq))};
}

}  // namespace kestrel
