// Perft counts against published numbers and hand-checked positions.
#include <gtest/gtest.h>

#include "test_util.h"

namespace kestrel {
namespace {

uint64_t PerftOf(const std::string& text, int depth) {
  int side = Black;
  auto p = test::MakePosition(text, &side);
  return Perft(*p, depth, side);
}

TEST(Perft, StartPosition) {
  EXPECT_EQ(PerftOf("startpos", 1), 30u);
  EXPECT_EQ(PerftOf("startpos", 2), 900u);
  EXPECT_EQ(PerftOf("startpos", 3), 25470u);
  EXPECT_EQ(PerftOf("startpos", 4), 719731u);
}

TEST(Perft, MaximumMovesPosition) {
  EXPECT_EQ(PerftOf("sfen R8/2K1S1SSk/4B4/9/9/9/9/9/1L1L1L3 b RBGSNLP3g3n17p 1", 1), 593u);
}

TEST(Perft, MiddleGameWithDrops) {
  const std::string pos = "sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1";
  EXPECT_EQ(PerftOf(pos, 1), 207u);
  EXPECT_EQ(PerftOf(pos, 2), 28684u);
  if (!std::getenv("KESTREL_SANITIZED")) {
    EXPECT_EQ(PerftOf(pos, 3), 4809015u);
  }
}

// Small positions whose counts were worked out by hand.
TEST(Perft, HandCheckedPositions) {
  // Lone kings: 3 moves from the corner.
  EXPECT_EQ(PerftOf("sfen 8k/9/9/9/9/9/9/9/K8 b - 1", 1), 3u);
  // A pawn drop that would mate is not a legal move: the White king on 1a is boxed in
  // by its own pieces, a Black gold guards 1b from 2c... the only drop square that
  // checks is 1b; every other pawn drop (on the empty squares of files without a
  // Black pawn, not on rank a) is legal.
  // Board: White king 1a, White lance 2a, White knight 2b; Black gold 2c, Black king 9i.
  const std::string mate = "sfen 7lk/7n1/7G1/9/9/9/9/9/K8 b P 1";
  int side = Black;
  auto p = test::MakePosition(mate, &side);
  auto moves = test::LegalMoves(*p, side);
  bool dropOn1b = false;
  for (Move m : moves) dropOn1b |= MoveIsDrop(m) && MoveTo(m) == 9 * 1 + 8;
  EXPECT_FALSE(dropOn1b) << "pawn drop mate must be excluded";
  // The same drop with a flight square (lance gone) is legal.
  auto q = test::MakePosition("sfen 8k/7n1/7G1/9/9/9/9/9/K8 b P 1", &side);
  dropOn1b = false;
  for (Move m : test::LegalMoves(*q, side)) dropOn1b |= MoveIsDrop(m) && MoveTo(m) == 9 * 1 + 8;
  EXPECT_TRUE(dropOn1b);
}

}  // namespace
}  // namespace kestrel
