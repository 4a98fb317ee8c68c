// Move gain estimate and futility margins: the material part for both sides,
// the single-piece terms and their sign, the bounds per move class, learning
// and decay.
#include "eval/evaluate.h"
#include "eval/movegain.h"
#include "test_util.h"

namespace kestrel {
namespace {

// The margins and the gain estimate read the single-piece (diagonal) pair weights of the
// kings' rows; each test sets some in weights of its own.
struct MoveGainTest : ::testing::Test {
  int mcg = 0;
  std::unique_ptr<FutilityMargins> m;
  EvalWeights w;
  void SetUp() override {
    test::InitTables();
    test::SetPieceValues(test::TestPieceValues);
    mcg = MaxCaptureGain;  // 1900
    m = std::make_unique<FutilityMargins>();
    ASSERT_TRUE(w.Allocate());
  }
  // Kings on 5i (76) and 5a (4): the bases read Tb at 76 and Tw at Flip(4) = 76.
  void SetDiagonal(int x, int16_t v) { w.KppRow(76)[x * (x + 1) / 2 + x] = v; }
};

Move M(const Position& p, const char* text, int side) { return test::ParseMove(p, text, side); }

TEST_F(MoveGainTest, MaterialAndSinglePieceTerms) {
  auto p = test::MakePosition("sfen 4k4/9/9/4p4/4P4/9/9/9/4K4 b - 1");
  const Move bx = M(*p, "5e5d", Black);
  EXPECT_EQ(MoveGainEstimate(w, *p, bx, Black), 200);
  auto q = test::MakePosition("sfen 4k4/9/9/4p4/4P4/9/9/9/4K4 w - 1");
  EXPECT_EQ(MoveGainEstimate(w, *q, M(*q, "5d5e", White), White), 200);
  // Tb of a pawn on its new square, 64 points: +2 for Black, and -2 for White
  // (whose move is read with the same bases, only the sign turned).
  const int pawnOwn = FeatureBaseOwn[0];
  auto bq = test::MakePosition("sfen 4k4/9/9/9/4P4/9/9/9/4K4 b - 1");
  auto wq = test::MakePosition("sfen 4k4/9/9/9/4p4/9/9/9/4K4 w - 1");
  SetDiagonal(pawnOwn + 31, 64);  // 5d
  SetDiagonal(pawnOwn + 49, 64);  // 5f
  EXPECT_EQ(MoveGainEstimate(w, *bq, M(*bq, "5e5d", Black), Black), 2);
  EXPECT_EQ(MoveGainEstimate(w, *wq, M(*wq, "5e5f", White), White), -2);
  // A capture reads the victim with the mover's bases: on the same square the terms cancel.
  EXPECT_EQ(MoveGainEstimate(w, *p, bx, Black), 200);
  // Truncation toward zero: -33 / 32 is -1.
  SetDiagonal(pawnOwn + 31, -33);
  EXPECT_EQ(MoveGainEstimate(w, *bq, M(*bq, "5e5d", Black), Black), -1);
  // A promotion adds its material gain.
  auto r = test::MakePosition("sfen 4k4/9/4P4/9/9/9/9/9/4K4 b - 1");
  EXPECT_EQ(MoveGainEstimate(w, *r, M(*r, "5c5b+", Black), Black), PromotionGain[BPawn]);
  // Drops carry no material.
  auto d = test::MakePosition("sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1");
  EXPECT_EQ(MoveGainEstimate(w, *d, M(*d, "G*5e", Black), Black), 0);
}

TEST_F(MoveGainTest, BoundsPerMoveClass) {
  auto p = test::MakePosition("sfen 4k4/9/9/4p4/4P4/9/9/9/4K4 b G 1");
  const int a = mcg * 6 / 16 + m->materialMargin.load() + p->material;
  // A quiet king move: gain 0, bounded by eval + m->kingMargin + MCG * 2 / 16.
  const Move king = M(*p, "5i5h", Black);
  EXPECT_EQ(MoveGainEstimate(w, *p, king, Black), 0);
  EXPECT_EQ(m->Bound(Black, 10, 0, *p, king), std::min(a, 10 + m->kingMargin.load() + mcg * 2 / 16));
  // A capture: the material bound includes the captured piece.
  const Move cap = M(*p, "5e5d", Black);
  EXPECT_EQ(m->Bound(Black, 10, 200, *p, cap),
            std::min(a + CaptureGain[WPawn], 10 + 200 + m->captureMargin.load() + mcg / 16));
  // A drop and a quiet move; a large eval makes the material bound decide.
  const Move drop = M(*p, "G*5f", Black);
  EXPECT_EQ(m->Bound(Black, 0, 0, *p, drop), std::min(a, m->dropMargin.load() + mcg / 16));
  EXPECT_EQ(m->Bound(Black, 5000, 0, *p, drop), a);
  EXPECT_EQ(m->Bound(White, 0, 0, *p, M(*p, "5d5e", White)),
            std::min(mcg * 6 / 16 + m->materialMargin.load() - p->material + CaptureGain[BPawn],
                     m->captureMargin.load() + mcg / 16));
}

TEST_F(MoveGainTest, LearningAndDecay) {
  auto p = test::MakePosition("sfen 4k4/9/9/4p4/4P4/9/9/9/4K4 b G 1");
  const int f = mcg * 2 / 8;
  EXPECT_EQ(m->miscMargin.load(), f);
  // A quiet king move that gained 900: m->kingMargin follows the difference.
  m->Learn(w, *p, 0, 900, M(*p, "5i5h", Black), Black);
  EXPECT_EQ(m->kingMargin.load(), 900);
  // A drop learns against the estimate; the positional part raises m->materialMargin.
  m->Learn(w, *p, 0, 1500, M(*p, "G*5f", Black), Black);
  EXPECT_EQ(m->dropMargin.load(), 1500);
  EXPECT_EQ(m->materialMargin.load(), 1500 - p->material);
  // A capture: the estimate (200) is taken off, lower values never lower a margin.
  m->Learn(w, *p, 0, 900, M(*p, "5e5d", Black), Black);
  EXPECT_EQ(m->captureMargin.load(), 700);
  m->Learn(w, *p, 0, 300, M(*p, "5e5d", Black), Black);
  EXPECT_EQ(m->captureMargin.load(), 700);
  // Decay steps: misc/drop/capture by (MCG/16)/2, king by (MCG*2/16)/2, material by (MCG*6/16)/2.
  m->Decay();
  EXPECT_EQ(m->captureMargin.load(), 700 - (mcg / 16) / 2);
  EXPECT_EQ(m->kingMargin.load(), 900 - (mcg * 2 / 16) / 2);
  EXPECT_EQ(m->miscMargin.load(), f);  // never below the floor
  for (int i = 0; i < 50; ++i) m->Decay();
  for (auto* margin : {&m->miscMargin, &m->captureMargin, &m->dropMargin, &m->kingMargin, &m->kingCaptureMargin, &m->materialMargin})
    EXPECT_EQ(margin->load(), f);
}

}  // namespace
}  // namespace kestrel
