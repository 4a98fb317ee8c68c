// Static evaluation: material plus the king-relative piece-pair sum (KppTable) and the
// piece-relative-to-both-kings sum (KkpTable), scored for the side to move.
#pragma once

#include "board/position.h"
#include "eval/eval_params.h"

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

// Fills list0 (viewer Black) and list1 (viewer White), both ascending, and adds the
// king-king-piece sum to *kkpSum. Needs both kings on the board. Returns the length.
int BuildFeatureLists(const Position& p, int* list0, int* list1, int* kkpSum);

// Score of the position for side (+1 Black, -1 White); also stored in p.lastEval.
// The positional sum is divided by 32 truncating toward zero and added to the material
// balance. Without both kings on the board only the material balance counts.
int Evaluate(Position& p, int side);

}  // namespace kestrel
