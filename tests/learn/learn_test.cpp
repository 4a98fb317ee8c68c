// Training records and shards (round trips, bad files), the model's gradient against
// finite differences, and a tiny generation run whose records train a lower
// validation loss.
#include <gtest/gtest.h>

#include "test_util.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "board/move_text.h"
#include "engine/engine_setup.h"
#include "engine/engine_state.h"
#include "learn/generate.h"
#include "learn/train_model.h"
#include "learn/trainer.h"
#include "movegen/attacks.h"
#include "search/tt.h"

namespace kestrel {
namespace {

// Random positions reached from the sample positions, with their sides to move.
std::vector<std::pair<std::unique_ptr<Position>, int>> RandomPositions(int perStart, unsigned seed) {
  std::vector<std::pair<std::unique_ptr<Position>, int>> out;
  std::mt19937 rng(seed);
  for (const std::string& text : test::SamplePositions()) {
    int side = Black;
    auto p = test::MakePosition(text, &side);
    if (p->kingSquare[0] >= SquareCount || p->kingSquare[1] >= SquareCount) continue;
    for (int k = 0; k < perStart; ++k) {
      side = test::RandomPlay(*p, side, 9, rng);
      auto copy = std::make_unique<Position>(*p);
      out.emplace_back(std::move(copy), side);
    }
  }
  return out;
}

TEST(TrainingRecords, PositionsMovesAndShardsRoundTrip) {
  test::SetPieceValues(test::ShippedPieceValues);
  auto positions = RandomPositions(4, 11);
  std::vector<TrainingRecord> records;
  auto back = std::make_unique<Position>();
  for (auto& [p, side] : positions) {
    TrainingRecord r{};
    PackPosition(*p, side, r.position);
    int s2 = 0;
    ASSERT_TRUE(UnpackPosition(r.position, *back, &s2));
    EXPECT_EQ(s2, side);
    EXPECT_EQ(std::memcmp(back->board, p->board, sizeof p->board), 0);
    EXPECT_EQ(back->hand[0], p->hand[0]);
    EXPECT_EQ(back->hand[1], p->hand[1]);
    EXPECT_EQ(back->keyFull, p->keyFull);
    EXPECT_EQ(back->material, ComputeMaterial(*p));
    // Every legal move has its own 16-bit form and comes back from it.
    std::set<uint16_t> forms;
    for (Move m : test::LegalMoves(*p, side)) {
      forms.insert(PackMove(m));
      EXPECT_EQ(UnpackMove(*back, side, PackMove(m)), m) << MoveToUsi(m);
    }
    EXPECT_EQ(forms.size(), test::LegalMoves(*p, side).size());
    r.score = (int16_t)(records.size() * 37 % 2000 - 1000);
    r.ply = (uint16_t)records.size();
    r.result = (int8_t)(records.size() % 3 - 1);
    records.push_back(r);
  }
  // A shard written in two flushes reads back whole; a cut-off tail is ignored.
  const std::string dir = test::MakeTempDir();
  const std::string path = dir + "/a.bin";
  ShardWriter w;
  std::string err;
  ASSERT_TRUE(OpenShard(w, path, &err)) << err;
  for (size_t i = 0; i < records.size(); ++i) {
    AppendRecord(w, records[i]);
    if (i == 5) {
      ASSERT_TRUE(FlushShard(w));
    }
  }
  ASSERT_TRUE(CloseShard(w));
  std::vector<TrainingRecord> read;
  ASSERT_TRUE(ReadShard(path, &read, &err)) << err;
  ASSERT_EQ(read.size(), records.size());
  EXPECT_EQ(std::memcmp(read.data(), records.data(), records.size() * sizeof(TrainingRecord)), 0);
  FILE* f = std::fopen(path.c_str(), "ab");
  std::fputs("partial", f);
  std::fclose(f);
  read.clear();
  EXPECT_TRUE(ReadShard(path, &read, &err)) << err;
  EXPECT_EQ(read.size(), records.size());
  test::RemoveTree(dir);
}

TEST(TrainingRecords, BadShardsAreRefusedWithoutChangingTheOutput) {
  test::SetPieceValues(test::ShippedPieceValues);
  auto positions = RandomPositions(1, 3);
  const std::string dir = test::MakeTempDir();
  const std::string path = dir + "/s.bin";
  ShardWriter w;
  std::string err;
  ASSERT_TRUE(OpenShard(w, path, &err));
  for (auto& [p, side] : positions) {
    TrainingRecord r{};
    PackPosition(*p, side, r.position);
    AppendRecord(w, r);
  }
  ASSERT_TRUE(CloseShard(w));
  std::string good = test::ReadFileText(path);
  auto patched = [&](size_t at, char value) {
    std::string b = good;
    b[at] = value;
    return b;
  };
  const size_t firstRecord = ShardHeaderSize;
  // Board code 31 in the first square; a third king; a result of 2.
  std::string badCode = good;
  badCode[firstRecord] |= 0x1F;
  std::string bad[] = {
      "",
      good.substr(0, 16),
      patched(0, 'X'),
      patched(8, 2),
      good.substr(0, good.size() - 1),
      patched(16, (char)(positions.size() + 1)),
      badCode,
      patched(firstRecord + 62, 2),
  };
  std::vector<TrainingRecord> out(3);
  for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
    test::WriteFileText(path, bad[i]);
    err.clear();
    EXPECT_FALSE(ReadShard(path, &out, &err)) << i;
    EXPECT_FALSE(err.empty()) << i;
    EXPECT_EQ(out.size(), 3u) << i;
  }
  EXPECT_FALSE(ReadShard(dir + "/missing.bin", &out, &err));
  test::RemoveTree(dir);
}

TEST(TrainerModel, GradientAgreesWithFiniteDifferences) {
  test::SetPieceValues(test::ShippedPieceValues);
  std::vector<float> w(ParamCount);
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> d(-0.5f, 0.5f);
  for (float& x : w) x = d(rng);
  auto positions = RandomPositions(2, 5);
  std::vector<TrainSample> samples;
  auto scratch = std::make_unique<Position>();
  for (size_t i = 0; i < positions.size(); ++i) {
    TrainingRecord r{};
    PackPosition(*positions[i].first, positions[i].second, r.position);
    r.score = (int16_t)((int)(rng() % 1200) - 600);
    r.result = (int8_t)(rng() % 3 - 1);
    TrainSample s;
    ASSERT_TRUE(MakeSample(r, *scratch, &s));
    samples.push_back(s);
  }
  // The model with the weights of a compact file scores as the evaluation does with the
  // file expanded, short of the evaluation's truncation to whole points.
  {
    CompactWeights c = ZeroCompactWeights();
    std::uniform_int_distribution<int> small(-300, 300);
    for (int16_t& x : c.pair) x = (int16_t)small(rng);
    for (int16_t& x : c.kingPiece) x = (int16_t)small(rng);
    for (int16_t& x : c.kkp) x = (int16_t)small(rng);
    std::vector<float> exact(ParamCount);
    FromCompact(c, exact.data());
    ExpandCompactWeights(c);
    for (size_t i = 0; i < positions.size(); ++i) {
      Position& p = *positions[i].first;
      p.material = ComputeMaterial(p);
      const int eval = Evaluate(p, positions[i].second);
      EXPECT_LT(std::abs(PredictScore(exact.data(), samples[i]) - eval), 1.0) << i;
    }
    EvalWeightsPresent = false;
    std::memset(KppTable, 0, sizeof KppTable);
    std::memset(KkpTable, 0, sizeof KkpTable);
  }
  LossSettings ls{500, 0.3};
  auto total = [&] {
    double sum = 0;
    for (const TrainSample& s : samples) sum += SampleLoss(w.data(), s, ls, nullptr);
    return sum;
  };
  std::vector<float> grad(ParamCount, 0.0f);
  for (const TrainSample& s : samples) {
    double dLds;
    SampleLoss(w.data(), s, ls, &dLds);
    AddGradient(s, (float)dLds, grad.data());
  }
  // Touched parameters of every block, including pair entries that several lists share.
  std::vector<int64_t> picks;
  for (int64_t lo : {ParamPairOffset, ParamKingPieceOffset, ParamKkpOffset}) {
    const int64_t hi = lo == ParamPairOffset ? ParamKingPieceOffset : lo == ParamKingPieceOffset ? ParamKkpOffset : ParamCount;
    int found = 0;
    for (int64_t i = lo; i < hi && found < 12; i += 1 + (int64_t)(rng() % 97))
      if (grad[i] != 0.0f) picks.push_back(i), ++found;
    EXPECT_GE(found, 6);
  }
  for (int64_t i : picks) {
    const float saved = w[i], h = 0.25f;
    w[i] = saved + h;
    const double up = total();
    w[i] = saved - h;
    const double down = total();
    w[i] = saved;
    const double numeric = (up - down) / (2 * h);
    EXPECT_NEAR(grad[i], numeric, 1e-3 * std::abs(numeric) + 2e-6) << "parameter " << i;
  }
  // A parameter no sample touches has no gradient and does not move the loss.
  int64_t untouched = ParamKkpOffset;
  while (grad[untouched] != 0.0f) ++untouched;
  const double before = total();
  w[untouched] += 3;
  EXPECT_EQ(total(), before);
}

TEST(Generation, TinyRunGivesQuietRecordsThatTrainALowerValidationLoss) {
  const std::string dir = test::MakeTempDir();
  ASSERT_EQ(mkdir((dir + "/Evaluation").c_str(), 0755), 0);
  test::WriteFileText(dir + "/Evaluation/evaluation.txt",
             "VP = 100; VL = 300; VN = 350; VS = 500; VG = 550; VB = 750; VR = 900; VK = 15000;"
             "VT = 550; Vl = 550; Vn = 550; Vs = 550; VH = 1000; VD = 1200;");
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  InitEngine();
  const bool loaded = LoadDataFiles();
  ASSERT_EQ(chdir(cwd), 0);
  ASSERT_TRUE(loaded);
  ASSERT_TRUE(AllocateTable(4 << 20));
  GenerateSettings gs;
  gs.outPath = dir + "/shard.bin";
  gs.games = 6;
  gs.depth = 2;
  gs.seed = 7;
  gs.plyCap = 160;
  gs.quiet = true;
  ShardWriter shard;
  std::string err;
  ASSERT_TRUE(OpenShard(shard, gs.outPath, &err)) << err;
  GenerateTotals totals;
  ASSERT_TRUE(GeneratePositions(gs, shard, &totals));
  ASSERT_TRUE(CloseShard(shard));
  EXPECT_EQ(totals.games, 6u);
  std::vector<TrainingRecord> records;
  ASSERT_TRUE(ReadShard(gs.outPath, &records, &err)) << err;
  ASSERT_EQ(records.size(), totals.records);
  ASSERT_GT(records.size(), 100u);
  // Quiet positions only: not in check, a legal non-capturing best move, an undecided score.
  auto p = std::make_unique<Position>();
  for (const TrainingRecord& r : records) {
    int side;
    ASSERT_TRUE(UnpackPosition(r.position, *p, &side));
    EXPECT_FALSE(InCheck(*p, side));
    const Move m = UnpackMove(*p, side, r.move);
    EXPECT_NE(m, NoMove);
    EXPECT_FALSE(MoveIsCapture(m));
    EXPECT_LT(std::abs(r.score), gs.resignScore);
  }
  // The teacher of a piece-values-only engine adds little to the material in quiet
  // positions; give it a positional rule to learn (advanced pawns are worth 40 points
  // each) and hold out the last games: the rule must carry over to games never seen.
  std::vector<TrainSample> samples(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    int side;
    ASSERT_TRUE(UnpackPosition(records[i].position, *p, &side));
    int advanced = 0;
    for (Square sq = 0; sq < SquareCount; ++sq) {
      if (p->board[sq] == BPawn && sq / 9 <= 5) ++advanced;
      if (p->board[sq] == WPawn && sq / 9 >= 3) --advanced;
    }
    TrainingRecord r = records[i];
    r.score = (int16_t)(r.score + side * 40 * advanced);
    ASSERT_TRUE(MakeSample(r, *p, &samples[i]));
  }
  std::vector<TrainSample> validation(samples.end() - samples.size() / 4, samples.end());
  samples.resize(samples.size() - validation.size());
  TrainSettings ts;
  ts.loss.scale = 600;
  ts.loss.lambda = 1;
  ts.epochs = 4;
  ts.batchSize = 64;
  ts.learningRate = 0.5;
  ts.adamEpsilon *= 64.0 / 16384;  // the same threshold per position as the default batch
  ts.quiet = true;
  std::vector<float> w(ParamCount, 0.0f);
  const auto curve = TrainModel(ts, samples, validation, w);
  ASSERT_EQ(curve.size(), 5u);
  size_t best = 0;
  for (size_t e = 1; e < curve.size(); ++e)
    if (curve[e].validationLoss < curve[best].validationLoss) best = e;
  EXPECT_GT(best, 0u);
  EXPECT_LT(curve[best].validationTeacherError, curve[0].validationTeacherError * 0.8);
  // The parameters handed back are those of the best epoch.
  EXPECT_NEAR(MeanLoss(validation, w.data(), ts.loss, 2), curve[best].validationLoss, 1e-9);
  // The train command, as a user runs it, holds out the last quarter and writes a
  // compact file that reads back.
  const std::string train = "cd " + dir + " && " KESTREL_BINARY " train --epochs 1 --validation 0.25 --no-full --quiet"
                            " shard.bin 2> train.txt";
  ASSERT_EQ(std::system(train.c_str()), 0) << test::ReadFileText(dir + "/train.txt");
  const size_t held = records.size() - (records.size() - (size_t)(records.size() * 0.25));
  EXPECT_NE(test::ReadFileText(dir + "/train.txt").find(" and " + std::to_string(held) + " validation positions"),
            std::string::npos) << test::ReadFileText(dir + "/train.txt");
  CompactWeights c;
  EXPECT_TRUE(ReadCompactWeights(dir + "/eval_compact.bin", &c, &err)) << err;
  test::RemoveTree(dir);
}

}  // namespace
}  // namespace kestrel
