// The compact weight file: round trip through the "usi" loading sequence, the full file
// winning, bad files refused with one note, and expanded tables scoring positions
// exactly as the factors say.
#include <gtest/gtest.h>

#include "test_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "board/state.h"
#include "eval/eval_compact.h"
#include "eval/evaluate.h"

namespace kestrel {
namespace {

class CompactFile : public ::testing::Test {
 protected:
  void SetUp() override {
    test::InitTables();
    ASSERT_TRUE(scratch.Enter("kestrel_compact"));
    dir = scratch.dir;
    FILE* f = std::fopen((dir + "/Evaluation/evaluation.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("VP = 100; VL = 300; VN = 350; VS = 500; VG = 550; VB = 750; VR = 900; VK = 15000;"
               "VT = 550; Vl = 550; Vn = 550; Vs = 550; VH = 1000; VD = 1200;", f);
    std::fclose(f);
  }
  void TearDown() override {
    scratch.Leave();
    EvalWeightsPresent = false;
    std::memset(KppTable, 0, sizeof KppTable);
    std::memset(KkpTable, 0, sizeof KkpTable);
    std::memset(PieceValues, 0, sizeof PieceValues);
    DeriveMaterialTables();
  }
  std::string Path() const { return dir + "/Evaluation/eval_compact.bin"; }
  // Random factors small enough that no expanded weight saturates.
  CompactWeights RandomWeights(bool withKkp) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> d(-900, 900);
    CompactWeights w = ZeroCompactWeights();
    for (int16_t& v : w.pair) v = (int16_t)d(rng);
    for (int16_t& v : w.kingPiece) v = (int16_t)d(rng);
    if (withKkp) for (int16_t& v : w.kkp) v = (int16_t)d(rng);
    else w.kkp.clear();
    return w;
  }
  test::ScratchStartupDirectory scratch;
  std::string dir;
};

// The score the factors give, summed straight from them: pairs from the king-independent
// table, each entry with itself once more from its king's row, and the king-king-piece
// terms.
int FactoredScore(const CompactWeights& w, const Position& p, int side) {
  const int bk = (int)p.kingSquare[0], wk = (int)p.kingSquare[1];
  const int fbk = Flip(bk), fwk = Flip(wk);
  int l0[MaxFeatures + 2], l1[MaxFeatures + 2], unused = 0;
  const int n = BuildFeatureLists(p, l0, l1, &unused);
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= i; ++j) sum += w.pair[PairIndex(l0[i], l0[j])] - w.pair[PairIndex(l1[i], l1[j])];
    sum += w.kingPiece[bk * KppFeatureCount + l0[i]] - w.kingPiece[fwk * KppFeatureCount + l1[i]];
  }
  if (!w.kkp.empty()) {
    auto kkp = [&](int k1, int k2, int f) { return (int)w.kkp[((int64_t)k1 * SquareCount + k2) * KkpFeatureCount + f]; };
    for (int kind = 0; kind < HandKindCount; ++kind)
      sum += kkp(bk, wk, KkpHandBase[kind] + HandKindCountOf(p.hand[0], kind)) -
             kkp(fwk, fbk, KkpHandBase[kind] + HandKindCountOf(p.hand[1], kind));
    for (Square s = 0; s < SquareCount; ++s) {
      const int c = p.board[s];
      if (c == Empty || (c & ~1) == BKing) continue;
      const int base = KkpBoardBase[(c & ~1) >> 1];
      sum += IsBlackPiece(c) ? kkp(bk, wk, base + s) : -kkp(fwk, fbk, base + Flip(s));
    }
  }
  const int black = ComputeMaterial(p) + sum / 32;
  return side == Black ? black : -black;
}

TEST_F(CompactFile, LoadsInPlaceOfTheFullFileAndScoresAsTheFactorsSay) {
  for (bool withKkp : {true, false}) {
    const CompactWeights w = RandomWeights(withKkp);
    std::string err;
    ASSERT_TRUE(WriteCompactWeights(Path(), w, &err)) << err;
    struct stat st;
    ASSERT_EQ(stat(Path().c_str(), &st), 0);
    EXPECT_LE(st.st_size, 16 << 20);
    CompactWeights back;
    ASSERT_TRUE(ReadCompactWeights(Path(), &back, &err)) << err;
    EXPECT_TRUE(back.pair == w.pair && back.kingPiece == w.kingPiece && back.kkp == w.kkp);

    ASSERT_EQ(LoadEvaluationFiles(), 1);
    EXPECT_EQ(EvalWeightsOrigin, WeightsCompact);
    EXPECT_TRUE(EvalLoadNote.empty()) << EvalLoadNote;
    std::mt19937 rng(5);
    for (const std::string& text : test::SamplePositions()) {
      int side = Black;
      auto p = test::MakePosition(text, &side);
      if (p->kingSquare[0] >= SquareCount || p->kingSquare[1] >= SquareCount) continue;
      for (int step = 0; step < 6; ++step) {
        p->material = ComputeMaterial(*p);
        EXPECT_EQ(Evaluate(*p, side), FactoredScore(w, *p, side)) << text << " step " << step;
        side = test::RandomPlay(*p, side, 7, rng);
      }
    }
  }
  // A full weight file, when present, wins over the compact one.
  FILE* f = std::fopen((dir + "/Evaluation/eval_features.bin").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_EQ(truncate((dir + "/Evaluation/eval_features.bin").c_str(), EvalFeaturesFileSize), 0);
  ASSERT_EQ(LoadEvaluationFiles(), 1);
  EXPECT_EQ(EvalWeightsOrigin, WeightsFull);
  EXPECT_EQ(KppTable[40][PairIndex(100, 100)], 0);
}

TEST_F(CompactFile, BadFilesGiveOneNoteAndPieceValuesOnly) {
  std::string err;
  ASSERT_TRUE(WriteCompactWeights(Path(), RandomWeights(true), &err)) << err;
  std::string good;
  {
    FILE* f = std::fopen(Path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) good.append(buf, n);
    std::fclose(f);
  }
  auto writeBytes = [&](const std::string& bytes) {
    FILE* f = std::fopen(Path().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  auto flipped = [&](size_t at) {
    std::string b = good;
    b[at] ^= 0x40;
    return b;
  };
  std::string badSize = good;
  badSize[12] = 1;  // pair count
  const std::pair<std::string, std::string> cases[] = {
      {"", "shorter than its header"},
      {good.substr(0, 20), "shorter than its header"},
      {flipped(0), "not a compact weight file"},
      {flipped(8), "unknown format version"},
      {badSize, "table sizes"},
      {good.substr(0, good.size() - 1), "shorter than its tables"},
      {good + "x", "longer than its tables"},
      {flipped(good.size() / 2), "checksum"},
  };
  for (const auto& c : cases) {
    EvalWeightsPresent = true;  // left over from an earlier load
    writeBytes(c.first);
    ASSERT_EQ(LoadEvaluationFiles(), 1);
    EXPECT_EQ(EvalWeightsOrigin, WeightsNone) << c.second;
    EXPECT_FALSE(EvalWeightsPresent) << c.second;
    EXPECT_NE(EvalLoadNote.find(c.second), std::string::npos) << EvalLoadNote;
    EXPECT_EQ(EvalLoadNote.find('\n'), std::string::npos);
    auto p = test::MakePosition("startpos moves 7g7f 3c3d 8h2b+");
    p->material = ComputeMaterial(*p);
    EXPECT_EQ(Evaluate(*p, White), -p->material);
  }
  std::remove(Path().c_str());
  ASSERT_EQ(LoadEvaluationFiles(), 1);
  EXPECT_NE(EvalLoadNote.find("eval_compact.bin not found"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
