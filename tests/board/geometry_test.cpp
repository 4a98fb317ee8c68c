// Square numbering, bitboard layout, rotated layouts and the constant attack tables.
#include <gtest/gtest.h>

#include "board/attack_tables.h"
#include "test_util.h"

namespace kestrel {
namespace {

Square Sq(const char* t) { return 9 * (t[1] - 'a') + (9 - (t[0] - '0')); }

Bitboard Set(std::initializer_list<const char*> squares) {
  Bitboard b = EmptyBB;
  for (const char* s : squares) SetSquare(b, Sq(s));
  return b;
}

class Geometry : public ::testing::Test {
 protected:
  void SetUp() override { test::InitTables(); }
};

TEST_F(Geometry, SquareMasksAndComplement) {
  EXPECT_EQ(SquareMask[0].w[0], 0x4000000u);
  EXPECT_EQ(SquareMask[26].w[0], 0x1u);
  EXPECT_EQ(SquareMask[27].w[1], 0x4000000u);
  EXPECT_EQ(SquareMask[80].w[2], 0x1u);
  EXPECT_EQ(SquareMask[80].w[0], 0u);
  Bitboard c = Complement(EmptyBB);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(c.w[k], 0x7FFFFFFu);
  for (Square s = 0; s < SquareCount; ++s) {
    Bitboard b = FullBB;
    ClearSquare(b, s);
    EXPECT_EQ(PopCount(b), 80);
    EXPECT_FALSE(TestSquare(b, s));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(b.w[k] & ~WordMask, 0u);
  }
  EXPECT_EQ(Sq("9a"), 0);
  EXPECT_EQ(Sq("1a"), 8);
  EXPECT_EQ(Sq("9i"), 72);
  EXPECT_EQ(Sq("1i"), 80);
}

TEST_F(Geometry, FirstAndLastSquareAndPop) {
  Bitboard b = EmptyBB;
  SetSquare(b, 30);
  SetSquare(b, 5);
  EXPECT_EQ(FirstSquare(b), 5);
  EXPECT_EQ(LastSquare(b), 30);
  EXPECT_EQ(PopFirst(b), 5);
  EXPECT_EQ(FirstSquare(b), 30);
  EXPECT_EQ(PopCount(b), 1);
  // Iteration visits every square once, in ascending order.
  int prev = -1, n = 0;
  for (Square s : Squares(FullBB)) {
    EXPECT_GT(s, prev);
    prev = s;
    ++n;
  }
  EXPECT_EQ(n, 81);
}

TEST_F(Geometry, RotatedLayouts) {
  EXPECT_EQ(Rot90Index[0], 72);
  EXPECT_EQ(Rot90Index[8], 0);
  EXPECT_EQ(DiagIndexA[8], 53);
  EXPECT_EQ(DiagIndexB[0], 53);
  EXPECT_EQ(DiagIndexB[8], 0);
  // Each layout is a permutation of 0..80.
  for (const int* table : {Rot90Index, DiagIndexA, DiagIndexB}) {
    Bitboard seen = EmptyBB;
    for (Square s = 0; s < SquareCount; ++s) SetSquare(seen, table[s]);
    EXPECT_EQ(seen, FullBB);
  }
  for (Square s = 0; s < SquareCount; ++s) {
    int rank = s / 9;
    int expected = rank % 3 == 0 ? 18 : rank % 3 == 1 ? 9 : 0;
    EXPECT_EQ(LineShift[s], expected) << s;
  }
  // The diagonal d = +7 holds 2a and 1b at indices 25 and 26.
  EXPECT_EQ(DiagIndexA[Sq("2a")], 25);
  EXPECT_EQ(DiagLineShift[25], 0);
  EXPECT_EQ(LineLengthMask[25], 3u);
}

TEST_F(Geometry, StepTables) {
  EXPECT_EQ(KingSteps[0], Set({"8a", "9b", "8b"}));
  for (Square s = 0; s < 18; ++s) EXPECT_TRUE(IsEmpty(KnightSteps[0][s])) << s;
  EXPECT_EQ(KnightSteps[0][Sq("5e")], Set({"6c", "4c"}));
  EXPECT_EQ(KnightSteps[1][Sq("5e")], Set({"6g", "4g"}));
  EXPECT_EQ(GoldSteps[0][Sq("5e")], Set({"6d", "5d", "4d", "6e", "4e", "5f"}));
  EXPECT_EQ(SilverSteps[1][Sq("5e")], Set({"6f", "5f", "4f", "6d", "4d"}));
  // No wrap-around between the edge files.
  EXPECT_EQ(GoldSteps[0][Sq("1e")], Set({"2d", "1d", "2e", "1f"}));
}

TEST_F(Geometry, SlideTables) {
  const Square e5 = Sq("5e");
  Bitboard rankE = RankMask[5];
  ClearSquare(rankE, e5);
  EXPECT_EQ(RankSlide[e5][0], rankE);
  EXPECT_EQ(RankSlide[e5][127], Set({"6e", "4e"}));
  Bitboard file5 = FileMask[5];
  ClearSquare(file5, e5);
  EXPECT_EQ(FileSlide[e5][0], file5);
  EXPECT_EQ(UpLanceSlide[e5][0], Set({"5a", "5b", "5c", "5d"}));
  EXPECT_EQ(DownLanceSlide[e5][0], Set({"5f", "5g", "5h", "5i"}));
}

TEST_F(Geometry, DirectionAndBetween) {
  EXPECT_EQ(Direction[Sq("9a")][Sq("1a")], 1);
  EXPECT_EQ(Direction[Sq("9a")][Sq("1i")], 10);
  EXPECT_EQ(Direction[Sq("9a")][Sq("8c")], 0);
  EXPECT_EQ(Between[Sq("9a")][Sq("1a")], Set({"8a", "7a", "6a", "5a", "4a", "3a", "2a"}));
  EXPECT_EQ(Between[Sq("9a")][Sq("8c")], FullBB);
  EXPECT_EQ(Between[Sq("5e")][Sq("5e")], FullBB);
  EXPECT_TRUE(IsEmpty(Between[Sq("5e")][Sq("4d")]));
  // Between is symmetric and agrees with the rays.
  for (Square a = 0; a < SquareCount; ++a)
    for (Square b = 0; b < SquareCount; ++b) {
      EXPECT_EQ(Between[a][b], Between[b][a]);
      if (Direction[a][b] != 0) {
        int d = Direction[a][b];
        EXPECT_EQ(Direction[b][a], -d);
        EXPECT_TRUE(TestSquare(Rays[RayIndex(d)][a], b));
      }
    }
}

TEST_F(Geometry, ApproachAreas) {
  Bitboard lance = Set({"9e", "9f", "9g", "9h", "9i", "8d", "8e", "8f", "8g", "8h", "8i"});
  EXPECT_EQ(Approach[0][Sq("9c")].lance, lance);
  EXPECT_TRUE(IsEmpty(Approach[0][Sq("5h")].lance));
  EXPECT_TRUE(IsEmpty(Approach[0][Sq("5i")].lance));
  EXPECT_EQ(Approach[0][Sq("9a")].gold, Set({"7a", "7b", "9c", "8c", "7c"}));
  // White's areas mirror Black's through the board's centre.
  for (Square k = 0; k < SquareCount; ++k) {
    const ApproachArea& b = Approach[0][k];
    const ApproachArea& w = Approach[1][80 - k];
    for (Square s = 0; s < SquareCount; ++s) {
      EXPECT_EQ(TestSquare(b.gold, s), TestSquare(w.gold, 80 - s));
      EXPECT_EQ(TestSquare(b.silver, s), TestSquare(w.silver, 80 - s));
      EXPECT_EQ(TestSquare(b.knight, s), TestSquare(w.knight, 80 - s));
      EXPECT_EQ(TestSquare(b.lance, s), TestSquare(w.lance, 80 - s));
    }
  }
}

TEST_F(Geometry, LineMasks) {
  EXPECT_TRUE(IsEmpty(RankMask[0]));
  EXPECT_TRUE(IsEmpty(FileMask[0]));
  for (int k = 1; k <= 9; ++k) {
    EXPECT_EQ(PopCount(RankMask[k]), 9);
    EXPECT_EQ(RankMask[k] | NotRankMask[k], FullBB);
    EXPECT_TRUE(IsEmpty(FileMask[k] & NotFileMask[k]));
  }
  EXPECT_EQ(PopCount(DiagonalMask[8]), 9);
  EXPECT_EQ(PopCount(AntiDiagonalMask[0]), 1);
}

}  // namespace
}  // namespace kestrel
