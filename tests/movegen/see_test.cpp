// Static exchange: single captures, defended targets, x-ray attackers behind the
// capturer and behind a defender (rooks and lances), quiet moves and drops.
#include "movegen/see.h"
#include "movegen/movegen.h"
#include "test_util.h"

namespace kestrel {
namespace {

struct ExchangeTest : ::testing::Test {
  void SetUp() override {
    test::InitTables();
    test::SetPieceValues(test::TestPieceValues);
  }
  // Exchange value of a move given as from/to squares in USI text ("5e5c").
  int See(const std::string& sfen, const char* from, const char* to, int side) {
    auto p = test::MakePosition("sfen " + sfen);
    auto sq = [](const char* s) { return MakeSquare(s[1] - 'a', '9' - s[0]); };
    return StaticExchange(*p, sq(from), sq(to), side);
  }
};

TEST_F(ExchangeTest, CapturesXraysAndQuietMoves) {
  const struct { const char* sfen; const char* from; const char* to; int side, value; } cases[] = {
      {"4k4/9/9/4g4/4P4/9/9/9/4K4 b - 1", "5e", "5d", Black, 550},         // an undefended gold
      {"4k4/9/4p4/4p4/9/9/4R4/9/K8 b - 1", "5g", "5d", Black, 100 - 800},  // the rook is lost
      {"k8/9/4r4/9/9/4P4/4P4/9/4K4 w - 1", "5c", "5f", White, 100 - 800},  // the same for White
      {"4k4/4r4/9/4p4/4P4/9/9/9/K8 b - 1", "5e", "5d", Black, 0},          // an even trade
      {"4k4/4r4/9/4p4/4G4/9/9/9/K8 b - 1", "5e", "5d", Black, 100 - 550},
      // X-rays: a rook behind the capturer, a lance behind the defender, bishops in line.
      {"4k4/4g4/4p4/9/4R4/4R4/9/9/K8 b - 1", "5e", "5c", Black, -150},
      {"4k4/4g4/4p4/9/4R4/9/9/9/K8 b - 1", "5e", "5c", Black, -700},
      {"4k4/4g4/4p4/9/4R4/4+R4/9/9/K8 b - 1", "5e", "5c", Black, -150},  // a dragon behind
      {"4l3k/4g4/4p4/4P4/4R4/9/9/9/K8 b - 1", "5d", "5c", Black, 0},
      {"7k1/4g4/4p4/4P4/4R4/9/9/9/K8 b - 1", "5d", "5c", Black, 100},
      {"4k4/9/2g6/9/4B4/5B3/9/9/K8 b - 1", "5e", "7c", Black, 550},
      {"4k4/2p6/2g6/9/4B4/5B3/9/9/K8 b - 1", "5e", "7c", Black, 550 - 700 + 100},
      {"8k/1B7/2B6/4p4/4g4/9/9/9/K8 b - 1", "7c", "5e", Black, 550 - 700 + 100},  // the other way
      // Sliders behind the capturer on both diagonals (a White horse, a Black bishop)
      // and on a rank both ways.
      {"4k4/9/2G6/2P6/4b4/5+b3/9/9/K8 w - 1", "5e", "7c", White, 550 - 700 + 100},
      {"4k4/9/6G2/6P2/4b4/3+b5/9/9/K8 w - 1", "5e", "3c", White, 550 - 700 + 100},
      {"4k4/6p2/6g2/9/4B4/3B5/9/9/K8 b - 1", "5e", "3c", Black, 550 - 700 + 100},
      {"4k4/9/9/7s1/+R1R3g2/9/9/9/4K4 b - 1", "7e", "3e", Black, 550 + 500 - 800},
      {"4k4/9/9/1s7/2g3R1+R/9/9/9/4K4 b - 1", "3e", "7e", Black, 550 + 500 - 800},
      // Quiet moves next to an enemy pawn: lost when undefended, traded when defended.
      {"4k4/9/9/9/4p4/9/4S4/9/K8 b - 1", "5g", "5f", Black, -500},
      {"4k4/9/9/9/9/9/4S4/9/K8 b - 1", "5g", "5f", Black, 0},
      {"4k4/9/9/9/4p4/9/4SG3/9/K8 b - 1", "5g", "5f", Black, -400},
  };
  for (const auto& c : cases) EXPECT_EQ(See(c.sfen, c.from, c.to, c.side), c.value) << c.sfen;
  // Drops: the dropped piece is the first one at risk.
  auto p = test::MakePosition("sfen 4k4/9/9/9/4p4/9/9/9/K8 b S 1");
  EXPECT_EQ(StaticExchange(*p, NoSquare, MakeSquare(5, 4), Black, BSilver), -500);
  EXPECT_EQ(StaticExchangeOfMove(*p, EncodeMove(FlagNone, Empty, BSilver, MakeSquare(5, 4), NoSquare), Black), -500);
  EXPECT_EQ(StaticExchangeOfMove(*p, EncodeMove(FlagNone, Empty, BSilver, MakeSquare(6, 4), NoSquare), Black), 0);
}

// The bounded test agrees with the full exchange for every move of positions full of
// captures and drops, at bounds around the piece values.
TEST_F(ExchangeTest, BoundedTestAgreesWithTheExchange) {
  const char* positions[] = {
      "l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1",
      "8l/1l+R2P3/p2pBG1pp/kps1p4/Nn1P2G2/P1P1P2PP/1PS6/1KSG3+r1/LN2+p3L w Sbgn2p 1",
      "1n5nl/2+R2kg2/p3ppsp1/2p3p1p/9/2P1P1P1P/P2P1P3/2G1G1S2/1N1K3NL w RB2L2Pbg2s2p 1",
      "ln1g3nl/1r1s1kg2/p1pppp1pp/6p2/1p7/2P1P4/PPSP1PPPP/2G2S1R1/LN2KG1NL b Bb 1",
  };
  const int bounds[] = {-1300, -700, -301, -300, -225, -100, -25, 0, 1, 100, 550};
  int checked = 0;
  for (const char* sfen : positions) {
    auto p = test::MakePosition(std::string("sfen ") + sfen);
    for (int side : {Black, White}) {
      Move list[1024];
      Move* end = GenerateCaptures(*p, list, side);
      end = GenerateNonCaptures(*p, end, side);
      end = GenerateDrops(end, *p, side);
      for (Move* m = list; m < end; ++m)
        for (int bound : bounds) {
          ASSERT_EQ(ExchangeBelow(*p, *m, side, bound), StaticExchangeOfMove(*p, *m, side) < bound)
              << sfen << " move " << *m << " bound " << bound;
          ++checked;
        }
    }
  }
  EXPECT_GT(checked, 5000);
}

}  // namespace
}  // namespace kestrel
