// The static evaluation: material with zero weights, the feature lists against a direct
// reading of the rules, colour-reversal symmetry with random weights, and truncation.
#include "eval/eval_accumulator.h"
#include "eval/evaluate.h"
#include "test_util.h"

namespace kestrel {
namespace {

class Evaluation : public ::testing::Test {
 protected:
  void SetUp() override {
    test::InitTables();
    test::SetPieceValues(test::ShippedPieceValues);
    ASSERT_TRUE(w.Allocate());  // every weight zero; the tests fill what they need
  }
  // Fills one king's pair-table row with deterministic random weights (a quick generator:
  // some tests fill every row).
  void FillRow(int king) {
    if (!filledRows.insert(king).second) return;
    uint64_t x = 88172645463325252ull + king;
    for (int i = 0; i < KppPairCount; ++i) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      w.KppRow(king)[i] = (int16_t)((int)(x % 4001) - 2000);
    }
  }
  void FillKkp() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> d(-2000, 2000);
    int16_t* kkp = w.KkpRow(0, 0);
    for (int64_t i = 0; i < KkpElementCount; ++i) kkp[i] = (int16_t)d(rng);
  }
  // The position of "<board> <side> <hands> <n>" text.
  std::unique_ptr<Position> Setup(const std::string& sfen) { return test::MakePosition("sfen " + sfen); }
  std::set<int> filledRows;
  EvalWeights w;
};

// The colour-reversed mirror: every piece changes owner and moves to the flipped square.
std::unique_ptr<Position> Mirror(const Position& p) {
  auto m = std::make_unique<Position>();
  ClearBoard(*m);
  for (Square s = 0; s < SquareCount; ++s) {
    const int c = p.board[s];
    m->board[Flip(s)] = (uint8_t)(c == Empty ? Empty : c ^ 1);
  }
  m->hand[0] = p.hand[1];
  m->hand[1] = p.hand[0];
  FinishSetup(*m, Black);
  return m;
}

// Feature sets read directly off the board, in no particular order.
void DirectFeatures(const EvalWeights& w, const Position& p, std::vector<int>* f0, std::vector<int>* f1, int* kkp) {
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  for (int kind = 0; kind < HandKindCount; ++kind) {
    const int bc = HandKindCountOf(p.hand[0], kind), wc = HandKindCountOf(p.hand[1], kind);
    f0->push_back(HandBaseOwn[kind] + bc);
    f0->push_back(HandBaseEnemy[kind] + wc);
    f1->push_back(HandBaseOwn[kind] + wc);
    f1->push_back(HandBaseEnemy[kind] + bc);
    *kkp += w.KkpRow(bk, wk)[KkpHandBase[kind] + bc] - w.KkpRow(Flip(wk), Flip(bk))[KkpHandBase[kind] + wc];
  }
  for (Square s = 0; s < SquareCount; ++s) {
    const int c = p.board[s];
    if (c == Empty || (c & ~1) == BKing) continue;
    const int kind = c >> 1;
    if (IsBlackPiece(c)) {
      f0->push_back(FeatureBaseOwn[kind] + s);
      f1->push_back(FeatureBaseEnemy[kind] + Flip(s));
      *kkp += w.KkpRow(bk, wk)[KkpBoardBase[kind] + s];
    } else {
      f0->push_back(FeatureBaseEnemy[kind] + s);
      f1->push_back(FeatureBaseOwn[kind] + Flip(s));
      *kkp -= w.KkpRow(Flip(wk), Flip(bk))[KkpBoardBase[kind] + Flip(s)];
    }
  }
}

// The evaluation written straight from its definition, for cross-checking.
int DirectEvaluate(const EvalWeights& w, const Position& p) {
  std::vector<int> f0, f1;
  int kkp = 0;
  DirectFeatures(w, p, &f0, &f1, &kkp);
  const int bk = (int)p.kingSquare[0], fwk = Flip((int)p.kingSquare[1]);
  int kpp = 0;
  for (size_t i = 0; i < f0.size(); ++i)
    for (size_t j = 0; j <= i; ++j)
      kpp += w.KppRow(bk)[PairIndex(f0[i], f0[j])] - w.KppRow(fwk)[PairIndex(f1[i], f1[j])];
  return p.material + (kpp + kkp) / 32;
}

TEST_F(Evaluation, ZeroWeightsOrNoKingGiveTheMaterialBalance) {
  // Both rooks left the board, Black holds one in hand, and Black's bishop is a horse.
  auto p = Setup("lnsgkgsnl/7b1/ppppppppp/9/9/9/PPPPPPPPP/1+B7/LNSGKGSNL b R 1");
  EXPECT_EQ(Evaluate(w, *p, Black), 900 + 1000 - 750);
  EXPECT_EQ(p->lastEval, 1150);
  EXPECT_EQ(Evaluate(w, *p, White), -1150);
  EXPECT_EQ(p->lastEval, -1150);
  FillKkp();
  auto q = Setup("9/9/9/9/9/9/9/9/4K3L b P 1");
  FillRow((int)q->kingSquare[0]);
  EXPECT_EQ(Evaluate(w, *q, Black), q->material);
  EXPECT_EQ(Evaluate(w, *q, White), -q->material);
}

// Random weights: the evaluation equals its definition (feature lists, pairs and
// king-king-piece terms summed directly) and is the same for the colour-reversed mirror.
TEST_F(Evaluation, RandomWeightsMatchTheDefinitionAndTheMirror) {
  FillKkp();
  test::SidedPositions positions = test::RandomPositions("startpos", 3, 80, 10, 12345);
  positions.emplace_back(Setup("lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1"), Black);
  positions.emplace_back(Setup("ln1g3nl/1r1sk1gs1/p1pppp1pp/6p2/1p7/2P4P1/PPSPPPP1P/2G2S1R1/LN2KG1NL w Bb 1"), White);
  int nonMaterial = 0;
  for (auto& [p, side] : positions) {
    FillRow((int)p->kingSquare[0]);
    FillRow(Flip((int)p->kingSquare[1]));
    auto m = Mirror(*p);
    const int score = Evaluate(w, *p, Black);
    EXPECT_EQ(score, DirectEvaluate(w, *p));
    EXPECT_EQ(Evaluate(w, *m, White), score);
    EXPECT_EQ(Evaluate(w, *p, White), -score);
    EXPECT_EQ(Evaluate(w, *m, Black), -score);
    if (score != p->material) ++nonMaterial;
    EXPECT_EQ(Evaluate(NoEvalWeights(), *p, Black), p->material);  // no weights: material only
  }
  EXPECT_GT(nonMaterial, (int)positions.size() / 2);  // the weights really take part
}

// Accumulators carried along random games (captures, promotions, drops, king moves and
// king captures of pieces) give the from-scratch value at every step, and a fresh
// accumulator gives the same sums as the carried one.
TEST_F(Evaluation, CarriedAccumulatorMatchesScratchEverywhere) {
  FillKkp();
  for (int king = 0; king < SquareCount; ++king) FillRow(king);
  std::mt19937 rng(99);
  int steps = 0, kingMoves = 0, captures = 0, drops = 0;
  for (int game = 0; game < 12; ++game) {
    auto p = test::MakePosition(game % 2 ? "startpos" : test::SamplePositions()[2]);
    int side = game % 2 ? Black : White;
    auto acc = std::make_unique<EvalAccumulator>();
    auto next = std::make_unique<EvalAccumulator>();
    ComputeAccumulator(w, *p, *acc);
    for (int ply = 0; ply < 150; ++ply) {
      std::vector<Move> moves = test::LegalMoves(*p, side);
      if (moves.empty()) break;
      Move m = moves[rng() % moves.size()];
      for (int tries = 0; tries < 3 && !MoveIsCapture(m); ++tries) m = moves[rng() % moves.size()];
      MakeMove(*p, m);
      side = -side;
      ASSERT_TRUE(UpdateAccumulator(w, *p, m, *acc, *next));
      std::swap(acc, next);
      ComputeAccumulator(w, *p, *next);
      ASSERT_EQ(acc->kpp0, next->kpp0) << MoveToUsi(m);
      ASSERT_EQ(acc->kpp1, next->kpp1) << MoveToUsi(m);
      ASSERT_EQ(acc->kkp, next->kkp) << MoveToUsi(m);
      const int scratch = Evaluate(w, *p, side);
      ASSERT_EQ(EvaluateWithAccumulator(*p, side, *acc), scratch);
      ++steps;
      kingMoves += (MovePiece(m) & ~1) == BKing;
      captures += MoveIsCapture(m);
      drops += MoveIsDrop(m);
    }
  }
  EXPECT_GT(steps, 1000);
  EXPECT_GT(kingMoves, 20);
  EXPECT_GT(captures, 100);
  EXPECT_GT(drops, 50);
}

}  // namespace
}  // namespace kestrel
