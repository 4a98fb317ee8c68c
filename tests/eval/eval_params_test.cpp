// The evaluation text and weight file loaders on their edge cases.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/material.h"
#include "board/state.h"
#include "eval/eval_params.h"
#include "test_util.h"

namespace kestrel {
namespace {

// Each test gets its own start-up directory with an Evaluation folder.
class EvalFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch.Enter("kestrel_eval"));
    dir = scratch.dir;
    std::memset(PieceValues, 0, sizeof PieceValues);
    std::memset(MobilityTables, 0, sizeof MobilityTables);
    std::memset(HandTables, 0, sizeof HandTables);
  }
  void TearDown() override {
    scratch.Leave();
    std::memset(PieceValues, 0, sizeof PieceValues);
    DeriveMaterialTables();
  }
  void WriteText(const std::string& text) {
    FILE* f = std::fopen((dir + "/Evaluation/evaluation.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const int32_t* Table(const char* key) { return FindListKey(key)->table; }

  test::ScratchStartupDirectory scratch;
  std::string dir;
};

TEST_F(EvalFiles, MissingTextFileChangesNothing) {
  PieceValues[VKPawn] = 77;
  EXPECT_EQ(LoadEvaluationText(), 0);
  EXPECT_EQ(LoadEvaluationFiles(), 0);
  EXPECT_EQ(PieceValues[VKPawn], 77);
}

TEST_F(EvalFiles, PawnValueAloneDerivesPawnTablesOnly) {
  WriteText("VP = 100;");
  ASSERT_EQ(LoadEvaluationFiles(), 1);
  EXPECT_EQ(PieceValue[BPawn], 100);
  EXPECT_EQ(PieceValue[WPawn], 100);
  EXPECT_EQ(CaptureGain[BPawn], 200);
  EXPECT_EQ(CaptureGain[WPawn], 200);
  EXPECT_EQ(PromotionGain[BPawn], -100);
  EXPECT_EQ(PromotionGain[WPawn], -100);
  EXPECT_EQ(CaptureGain[BTokin], 100);  // tokin value 0 plus the pawn it becomes in hand
  for (int code = 0; code < PieceCodeCount; ++code) {
    if (code == BPawn || code == WPawn || code == BTokin || code == WTokin) continue;
    EXPECT_EQ(PieceValue[code], 0) << code;
    EXPECT_EQ(CaptureGain[code], 0) << code;
    EXPECT_EQ(PromotionGain[code], 0) << code;
  }
  EXPECT_EQ(MaxCaptureGain, 0);
}

TEST_F(EvalFiles, AllValueKeysAndTheShippedFile) {
  WriteText("VK=15000;VD=1200;VR=900;VH=1000;VB=750;VG=550;Vs=540;VS=500;Vn=530;VN=350;"
            "Vl=520;VL=300;VT=510;VP=100;");
  ASSERT_EQ(LoadEvaluationFiles(), 1);
  const int32_t expect[ValueKindCount] = {100, 300, 350, 500, 550, 750, 900, 15000, 510, 520, 530, 540, 1000, 1200};
  for (int k = 0; k < ValueKindCount; ++k) EXPECT_EQ(PieceValues[k], expect[k]) << k;
  EXPECT_EQ(MaxCaptureGain, 2100);
  EXPECT_EQ(CaptureGain[WDragon], 2100);
  EXPECT_EQ(PromotionGain[BSilver], 40);

  // The file shipped in data/ loads and gives every piece a value; promotions never lose.
  startupDirectory = KESTREL_DATA_DIR;
  ASSERT_EQ(LoadEvaluationFiles(), 1);
  for (int k = 0; k < ValueKindCount; ++k) EXPECT_GT(PieceValues[k], 0) << k;
  for (int code = 0; code < 14; ++code) {
    if (CanPromote(code)) {
      EXPECT_GE(PromotionGain[code], 0) << code;
    }
  }
  EXPECT_GT(PieceValues[VKKing], 10 * PieceValues[VKDragon]);
}

TEST_F(EvalFiles, ListsEmptySignedAndEndingAtTheSemicolon) {
  WriteText("PP = ;\nPL = -3 4 ;\nHB = 0 5 9;\nMRV=1 2 3 4 5 6 7 8 9;MRH = -1;\nVP = 90;");
  ASSERT_EQ(LoadEvaluationText(), 1);
  for (int k = 0; k < 18; ++k) EXPECT_EQ(Table("PP")[k], 0) << k;
  EXPECT_EQ(Table("PL")[0], -3);
  EXPECT_EQ(Table("PL")[9], -3);
  EXPECT_EQ(Table("PL")[1], 4);
  EXPECT_EQ(Table("PL")[10], 4);
  EXPECT_EQ(Table("PL")[2], 0);
  EXPECT_EQ(Table("HB")[0], 0);
  EXPECT_EQ(Table("HB")[1], 5);
  EXPECT_EQ(Table("HB")[2], 9);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(Table("MRV")[k], k + 1);
  EXPECT_EQ(Table("MRH")[0], -1);
  EXPECT_EQ(PieceValues[VKPawn], 90);  // reading went on after the lists
}

TEST_F(EvalFiles, UnknownTextIsSkippedAndValuesHaveNoSign) {
  WriteText("# Values and weights\nVX VVP = 80; Vz PQ MRQ\nVL = -300; VN=  350 ;\nVB = 99999999999999;");
  ASSERT_EQ(LoadEvaluationText(), 1);
  EXPECT_EQ(PieceValues[VKPawn], 80);
  EXPECT_EQ(PieceValues[VKLance], 0);  // no sign: the number reads as nothing
  EXPECT_EQ(PieceValues[VKKnight], 350);
  EXPECT_EQ(PieceValues[VKBishop], 2147483647);  // saturates instead of overflowing
}

TEST_F(EvalFiles, ValuesBeyondATablesRoomAreIgnored) {
  int32_t guardMobility[MobilityBlockSize];
  std::string many;
  for (int k = 0; k < 60; ++k) many += std::to_string(k + 1) + " ";
  WriteText("PD = " + many + ";\nHR = " + many + ";\nPH = " + many + ";\nML = " + many + ";");
  ASSERT_EQ(LoadEvaluationText(), 1);
  // PD is the last table of the positional block: 54 entries, the rest dropped.
  const int32_t* pd = Table("PD");
  for (int k = 0; k < 9; ++k) EXPECT_EQ(pd[k], k + 1);
  for (int k = 9; k < 54; ++k) EXPECT_EQ(pd[k], k + 1);  // later numbers overwrite the copies
  // HR (last hand table): three entries, HandTables holds exactly 45 entries.
  EXPECT_EQ(Table("HR")[0], 1);
  EXPECT_EQ(Table("HR")[2], 3);
  EXPECT_EQ(Table("HB")[0], 0);  // the neighbour before it is untouched
  // PH has room 18: the table after it (PR) is untouched.
  EXPECT_EQ(Table("PH")[17], 18);
  for (int k = 0; k < 36; ++k) EXPECT_EQ(Table("PR")[k], 0) << k;
  // ML (9 entries) leaves MRV after it untouched.
  EXPECT_EQ(Table("ML")[8], 9);
  std::memcpy(guardMobility, MobilityTables, sizeof guardMobility);
  for (int k = 43; k < MobilityBlockSize; ++k) EXPECT_EQ(guardMobility[k], 0) << k;
}

TEST_F(EvalFiles, EndOfFileInsideAnEntryKeepsWhatWasRead) {
  WriteText("VP = 100; PP = 1 2");
  ASSERT_EQ(LoadEvaluationText(), 1);
  EXPECT_EQ(PieceValues[VKPawn], 100);
  EXPECT_EQ(Table("PP")[0], 1);
  EXPECT_EQ(Table("PP")[1], 2);
  WriteText("VR =");
  ASSERT_EQ(LoadEvaluationText(), 1);
  EXPECT_EQ(PieceValues[VKPawn], 100);
}

TEST_F(EvalFiles, ReloadClearsOnlyThePositionalBlock) {
  WriteText("VP = 100; PP = 5 6; PD = 7; HP = 8; MB = 9;");
  ASSERT_EQ(LoadEvaluationText(), 1);
  EXPECT_EQ(Table("PP")[10], 6);
  WriteText("VL = 300;");
  ASSERT_EQ(LoadEvaluationText(), 1);
  for (int k = 0; k < PositionalBlockSize; ++k) EXPECT_EQ(PositionalTables[k], 0) << k;
  EXPECT_EQ(Table("HP")[0], 8);
  EXPECT_EQ(Table("MB")[0], 9);
  EXPECT_EQ(PieceValues[VKPawn], 100);
  EXPECT_EQ(PieceValues[VKLance], 300);
}

TEST_F(EvalFiles, WeightFileMissingShortOrComplete) {
  const std::string bin = dir + "/Evaluation/eval_features.bin";
  KppTable[0][0] = 0;  // whatever an earlier test in this process left there
  KppTable[3][5] = 11;
  KkpTable[1][2][3] = 12;
  EXPECT_EQ(LoadEvalFeatures(), -2);  // missing
  // A short file is refused before reading: the tables keep what they held.
  FILE* f = std::fopen(bin.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const int16_t ones[64] = {1, 1, 1, 1, 1, 1, 1, 1};
  std::fwrite(ones, 2, 64, f);
  std::fclose(f);
  EXPECT_EQ(LoadEvalFeatures(), -2);
  EXPECT_EQ(KppTable[0][0], 0);
  EXPECT_EQ(KppTable[3][5], 11);
  EXPECT_EQ(KkpTable[1][2][3], 12);
  // One byte short of the full size is still short.
  ASSERT_EQ(truncate(bin.c_str(), EvalFeaturesFileSize - 1), 0);
  EXPECT_EQ(LoadEvalFeatures(), -2);
  EXPECT_EQ(KppTable[3][5], 11);
  // A complete (sparse) file with a few marked weights at known offsets.
  ASSERT_EQ(truncate(bin.c_str(), EvalFeaturesFileSize + 10), 0);
  f = std::fopen(bin.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  auto put = [&](int64_t element, int16_t v) {
    std::fseek(f, element * 2, SEEK_SET);
    std::fwrite(&v, 2, 1, f);
  };
  put(0, 0);  // overwrite the ones at the start
  for (int k = 1; k < 64; ++k) put(k, 0);
  put(7LL * KppPairCount + 1234, -321);
  put(KppElementCount - 1, 77);
  put(KppElementCount + (5LL * 81 + 6) * KkpFeatureCount + 700, 4321);
  put(KppElementCount + KkpElementCount - 1, -5);
  std::fclose(f);
  EXPECT_EQ(LoadEvalFeatures(), 1);
  EXPECT_EQ(KppTable[7][1234], -321);
  EXPECT_EQ(KppTable[80][KppPairCount - 1], 77);
  EXPECT_EQ(KkpTable[5][6][700], 4321);
  EXPECT_EQ(KkpTable[80][80][737], -5);
  EXPECT_EQ(KppTable[3][5], 0);
  EXPECT_EQ(KkpTable[1][2][3], 0);
  // Leave the tables zero for the other tests.
  KppTable[7][1234] = 0;
  KppTable[80][KppPairCount - 1] = 0;
  KkpTable[5][6][700] = 0;
  KkpTable[80][80][737] = 0;
}

}  // namespace
}  // namespace kestrel
