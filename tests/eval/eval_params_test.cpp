// The evaluation text, the full and the compact weight files: loaders on their edge
// cases, and compact factors expanded into weights that score as the factors say.
#include "eval/eval_compact.h"
#include "eval/eval_params.h"
#include "eval/evaluate.h"
#include "test_util.h"

namespace kestrel {
namespace {

// Each test gets its own start-up directory with an empty Evaluation folder, so that the
// loaders read the files the test writes.
class EvalFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = test::MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/Evaluation").c_str(), 0755), 0);
    saved = ProcessEngine().directory;
    ProcessEngine().directory = dir;
    std::memset(PieceValues, 0, sizeof PieceValues);
    std::memset(MobilityTables, 0, sizeof MobilityTables);
    std::memset(HandTables, 0, sizeof HandTables);
  }
  void TearDown() override {
    ProcessEngine().directory = saved;
    test::RemoveTree(dir);
    std::memset(PieceValues, 0, sizeof PieceValues);
    DeriveMaterialTables();
  }
  void WriteText(const std::string& text) { test::WriteFileText(dir + "/Evaluation/evaluation.txt", text); }
  const int32_t* Table(const char* key) { return FindListKey(key)->table; }
  std::string CompactPath() const { return dir + "/Evaluation/eval_compact.bin"; }
  // The shipped piece values and random factors small enough that no weight saturates.
  CompactWeights RandomWeights(bool withKkp) {
    WriteText(test::ShippedValuesText);
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> d(-900, 900);
    CompactWeights c = ZeroCompactWeights();
    if (!withKkp) c.kkp.clear();
    for (std::vector<int16_t>* v : {&c.pair, &c.kingPiece, &c.kkp})
      for (int16_t& x : *v) x = (int16_t)d(rng);
    return c;
  }

  std::string dir, saved;
  EvalWeights w;
};

// Piece values: a missing file changes nothing, one value derives only its own tables,
// every key is read, unknown text is skipped, values have no sign and saturate.
TEST_F(EvalFiles, PieceValuesAndTheDerivedTables) {
  PieceValues[VKPawn] = 77;
  EXPECT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 0);
  EXPECT_EQ(PieceValues[VKPawn], 77);
  WriteText("VP = 100;");
  ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
  EXPECT_EQ(CaptureGain[WPawn], 200);
  EXPECT_EQ(PromotionGain[BPawn], -100);
  EXPECT_EQ(CaptureGain[BTokin], 100);  // tokin value 0 plus the pawn it becomes in hand
  for (int code = 0; code < PieceCodeCount; ++code)
    EXPECT_EQ((code & ~17) == BPawn || (PieceValue[code] | CaptureGain[code] | PromotionGain[code]) == 0, true) << code;

  WriteText("# Values\nVX VVK=15000;VD=1200;VR=900;VH=1000;VB=750;VG=550;Vs=540;VS=500;Vn=530;Vz PQ MRQ\n"
            "VN=  350 ;Vl=520;VL=300;VT=510;VP=100;");
  ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
  const int32_t expect[ValueKindCount] = {100, 300, 350, 500, 550, 750, 900, 15000, 510, 520, 530, 540, 1000, 1200};
  for (int k = 0; k < ValueKindCount; ++k) EXPECT_EQ(PieceValues[k], expect[k]) << k;
  EXPECT_EQ(MaxCaptureGain, 2100);
  EXPECT_EQ(CaptureGain[WDragon], 2100);
  EXPECT_EQ(CaptureGain[BKing], 15000);
  EXPECT_EQ(PromotionGain[BSilver], 40);
  WriteText("VL = -300; VB = 99999999999999;");
  ASSERT_EQ(LoadEvaluationText(ProcessEngine().directory), 1);
  EXPECT_EQ(PieceValues[VKLance], 0);  // no sign: the number reads as nothing
  EXPECT_EQ(PieceValues[VKBishop], 2147483647);  // saturates instead of overflowing

  // The file shipped in data/ loads and gives every piece a value; promotions never lose.
  ProcessEngine().directory = KESTREL_DATA_DIR;
  ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
  for (int k = 0; k < ValueKindCount; ++k) EXPECT_GT(PieceValues[k], 0) << k;
  for (int code = 0; code < 14; ++code) EXPECT_GE(PromotionGain[code], 0) << code;
}

// The table lists of the text file (read, though the evaluation does not use them yet):
// empty, signed and ending at the semicolon, cut off by the end of the file, cleared by
// a reload, and never written past a table's room.
TEST_F(EvalFiles, TableListsStayInTheirRoom) {
  WriteText("PP = ;\nPL = -3 4 ;\nHB = 0 5 9;HP = 8;\nVP = 90; PR = 1 2");
  ASSERT_EQ(LoadEvaluationText(ProcessEngine().directory), 1);
  EXPECT_EQ(std::vector<int32_t>(Table("PL"), Table("PL") + 11), (std::vector<int32_t>{-3, 4, 0, 0, 0, 0, 0, 0, 0, -3, 4}));
  EXPECT_EQ(std::vector<int32_t>(Table("HB"), Table("HB") + 3), (std::vector<int32_t>{0, 5, 9}));
  EXPECT_EQ(PieceValues[VKPawn], 90);
  EXPECT_EQ(Table("PR")[1], 2);
  std::string many;
  for (int k = 0; k < 60; ++k) many += std::to_string(k + 1) + " ";
  WriteText("PD = " + many + ";\nHR = " + many + ";\nPH = " + many + ";\nML = " + many + ";");
  ASSERT_EQ(LoadEvaluationText(ProcessEngine().directory), 1);
  for (int k = 0; k < 36; ++k) EXPECT_EQ(Table("PR")[k], 0) << k;  // after PH, and cleared by the reload
  EXPECT_EQ(Table("PD")[53], 54);  // the last table of the block: 54 entries, the rest dropped
  EXPECT_EQ(Table("PH")[17], 18);
  EXPECT_EQ(std::vector<int32_t>(Table("HR"), Table("HR") + 3), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Table("HP")[0], 8);  // the hand tables are kept over a reload
  EXPECT_EQ(Table("ML")[8], 9);
  for (int k = 43; k < MobilityBlockSize; ++k) EXPECT_EQ(MobilityTables[k], 0) << k;
}

// The full weight file: missing or one byte short leaves the tables as they were; a
// complete (sparse) file is read with each weight at its place. Loaded with the text
// file, a short one leaves no weights at all, as the origin then says.
TEST_F(EvalFiles, WeightFileMissingShortOrComplete) {
  const std::string bin = dir + "/Evaluation/eval_features.bin";
  ASSERT_TRUE(w.Allocate());
  w.KppRow(3)[5] = 11;
  EXPECT_EQ(LoadEvalFeatures(ProcessEngine().directory, w), -2);
  test::WriteFileText(bin, "");
  ASSERT_EQ(truncate(bin.c_str(), EvalFeaturesFileSize - 1), 0);
  EXPECT_EQ(LoadEvalFeatures(ProcessEngine().directory, w), -2);
  EXPECT_EQ(w.KppRow(3)[5], 11);
  ASSERT_EQ(truncate(bin.c_str(), EvalFeaturesFileSize + 10), 0);
  FILE* f = std::fopen(bin.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  const std::pair<int64_t, int16_t> marks[] = {{7LL * KppPairCount + 1234, -321},
                                               {KppElementCount - 1, 77},
                                               {KppElementCount + (5LL * 81 + 6) * KkpFeatureCount + 700, 4321},
                                               {KppElementCount + KkpElementCount - 1, -5}};
  for (const auto& [element, v] : marks) {
    std::fseek(f, element * 2, SEEK_SET);
    std::fwrite(&v, 2, 1, f);
  }
  std::fclose(f);
  EXPECT_EQ(LoadEvalFeatures(ProcessEngine().directory, w), 1);
  EXPECT_EQ(w.origin, WeightsFull);
  EXPECT_EQ(w.KppRow(7)[1234], -321);
  EXPECT_EQ(w.KppRow(80)[KppPairCount - 1], 77);
  EXPECT_EQ(w.KkpRow(5, 6)[700], 4321);
  EXPECT_EQ(w.KkpRow(80, 80)[737], -5);
  EXPECT_EQ(w.KppRow(3)[5], 0);
  WriteText(test::ShippedValuesText);
  ASSERT_EQ(truncate(bin.c_str(), EvalFeaturesFileSize - 2), 0);
  ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
  EXPECT_FALSE(w.Present());
  EXPECT_EQ(w.origin, WeightsNone);
}

// The compact file round trip and its load: each weight is the king-independent pair
// factor, plus the king's own factor on the diagonal (an entry paired with itself), and
// the king-king-piece table when the file has one. (The trainer's test checks that the
// expanded weights score positions as its model of the factors does.)
TEST_F(EvalFiles, CompactFileLoadsInPlaceOfTheFullFile) {
  for (bool withKkp : {true, false}) {
    const CompactWeights c = RandomWeights(withKkp);
    std::string err;
    ASSERT_TRUE(WriteCompactWeights(CompactPath(), c, &err)) << err;
    struct stat st;
    ASSERT_EQ(stat(CompactPath().c_str(), &st), 0);
    EXPECT_LE(st.st_size, 16 << 20);
    CompactWeights back;
    ASSERT_TRUE(ReadCompactWeights(CompactPath(), &back, &err)) << err;
    EXPECT_TRUE(back.pair == c.pair && back.kingPiece == c.kingPiece && back.kkp == c.kkp);

    ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
    EXPECT_EQ(w.origin, WeightsCompact);
    EXPECT_TRUE(w.loadNote.empty()) << w.loadNote;
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
      const int k = (int)(rng() % SquareCount), a = (int)(rng() % KppFeatureCount), b = i % 5 ? (int)(rng() % (a + 1)) : a;
      EXPECT_EQ(w.KppRow(k)[PairIndex(a, b)],
                c.pair[PairIndex(a, b)] + (a == b ? c.kingPiece[k * KppFeatureCount + a] : 0));
      const int k2 = (int)(rng() % SquareCount), f = (int)(rng() % KkpFeatureCount);
      EXPECT_EQ(w.KkpRow(k, k2)[f], withKkp ? c.kkp[((int64_t)k * SquareCount + k2) * KkpFeatureCount + f] : 0);
    }
  }
  // A full weight file, when present, wins over the compact one.
  test::WriteFileText(dir + "/Evaluation/eval_features.bin", "");
  ASSERT_EQ(truncate((dir + "/Evaluation/eval_features.bin").c_str(), EvalFeaturesFileSize), 0);
  ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
  EXPECT_EQ(w.origin, WeightsFull);
  EXPECT_EQ(w.KppRow(40)[PairIndex(100, 100)], 0);
}

TEST_F(EvalFiles, BadFilesGiveOneNoteAndPieceValuesOnly) {
  std::string err;
  ASSERT_TRUE(WriteCompactWeights(CompactPath(), RandomWeights(true), &err)) << err;
  const std::string good = test::ReadFileText(CompactPath());
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
    ASSERT_TRUE(w.Allocate());  // left over from an earlier load
    test::WriteFileText(CompactPath(), c.first);
    ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
    EXPECT_EQ(w.origin, WeightsNone) << c.second;
    EXPECT_FALSE(w.Present()) << c.second;
    EXPECT_NE(w.loadNote.find(c.second), std::string::npos) << w.loadNote;
    EXPECT_EQ(w.loadNote.find('\n'), std::string::npos);
    auto p = test::MakePosition("startpos moves 7g7f 3c3d 8h2b+");
    p->material = ComputeMaterial(*p);
    EXPECT_EQ(Evaluate(w, *p, White), -p->material);
  }
  std::remove(CompactPath().c_str());
  ASSERT_EQ(LoadEvaluationFiles(ProcessEngine().directory, w), 1);
  EXPECT_NE(w.loadNote.find("eval_compact.bin not found"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
