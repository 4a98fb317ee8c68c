// Constant attack tables: step sets, sliding attacks per line occupancy, rays,
// line masks, direction and between tables, and the approach areas.
#pragma once

#include <cstdint>

#include "board/bitboard.h"

namespace kestrel {

// Step tables; [0] is Black's, [1] White's where the side matters.
extern Bitboard KingSteps[SquareCount];
extern Bitboard GoldSteps[2][SquareCount];
extern Bitboard SilverSteps[2][SquareCount];
extern Bitboard KnightSteps[2][SquareCount];
extern Bitboard PawnStep[2][SquareCount];
extern Bitboard OrthoKingSteps[SquareCount];
extern Bitboard DiagKingSteps[SquareCount];

// Sliding attacks [square][7-bit inner occupancy of the line].
extern Bitboard RankSlide[SquareCount][128];
extern Bitboard FileSlide[SquareCount][128];
extern Bitboard DiagSlide[SquareCount][128];      // steps of +-10 (col - row constant)
extern Bitboard AntiDiagSlide[SquareCount][128];  // steps of +-8 (row + col constant)
extern Bitboard UpLanceSlide[SquareCount][128];   // towards rank a (a Black lance)
extern Bitboard DownLanceSlide[SquareCount][128]; // towards rank i (a White lance)

// Empty-board rays; index with RayIndex(d) for d in -10,-9,-8,-1,+1,+8,+9,+10.
extern Bitboard Rays[8][SquareCount];
int RayIndex(int d);

// Line masks.
extern Bitboard RankMask[10];
extern Bitboard FileMask[10];
extern Bitboard NotRankMask[10];
extern Bitboard NotFileMask[10];
extern Bitboard DiagonalMask[17];
extern Bitboard AntiDiagonalMask[17];
extern Bitboard NotDiagonalMask[17];
extern Bitboard NotAntiDiagonalMask[17];

// Pair tables.
extern int8_t Direction[SquareCount][SquareCount];
extern Bitboard Between[SquareCount][SquareCount];

// Approach areas [attacker side index][enemy king square].
struct ApproachArea {
  Bitboard gold, silver, knight, lance;
};
extern ApproachArea Approach[2][SquareCount];

// Fills every table but the approach areas; needs InitBitboardTables first.
void InitAttackTables();
// Fills the approach areas from the step tables.
void InitApproachAreas();

// Builds all board tables once (bitboards, attacks, approach areas); safe to call again.
void InitBoardTables();

}  // namespace kestrel
