// Training records and shards (round trips, bad files), the model's gradient against
// finite differences, and a tiny generation run whose records train a lower
// validation loss.
#include <cmath>

#include "engine/engine_setup.h"
#include "learn/generate.h"
#include "learn/train_model.h"
#include "learn/trainer.h"
#include "search/engine.h"
#include "search/tt.h"
#include "test_util.h"

namespace kestrel {
namespace {

// Random positions reached from the sample positions, with their sides to move.
test::SidedPositions RandomPositions(int perStart, unsigned seed) {
  test::SidedPositions out;
  for (const std::string& text : test::SamplePositions())
    for (auto& sided : test::RandomPositions(text, 1, 9 * perStart, 9, seed++)) out.push_back(std::move(sided));
  return out;
}

TEST(TrainingRecords, RoundTripsAndBadShards) {
  test::SetPieceValues(test::ShippedPieceValues);
  std::vector<TrainingRecord> records;
  auto back = std::make_unique<Position>();
  for (auto& [p, side] : RandomPositions(4, 11)) {
    TrainingRecord r{};
    PackPosition(*p, side, r.position);
    int s2 = 0;
    ASSERT_TRUE(UnpackPosition(r.position, *back, &s2));
    EXPECT_EQ(s2, side);
    EXPECT_EQ(back->keyFull, p->keyFull);  // board and hands
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
  const std::string dir = test::MakeTempDir(), path = dir + "/a.bin";
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
  const std::string good = test::ReadFileText(path);
  for (const char* tail : {"", "partial"}) {
    std::vector<TrainingRecord> read;
    test::WriteFileText(path, good + tail);
    ASSERT_TRUE(ReadShard(path, &read, &err)) << err;
    ASSERT_EQ(read.size(), records.size());
    EXPECT_EQ(std::memcmp(read.data(), records.data(), records.size() * sizeof(TrainingRecord)), 0);
  }
  // Bad shards are refused with a message, leaving the output as it was: empty, a short
  // header, a bad magic, version or count, a short last record, board code 31 in the
  // first square, a result of 2.
  auto patched = [&](size_t at, char value) {
    std::string b = good;
    b[at] = value;
    return b;
  };
  const std::string bad[] = {"", good.substr(0, 16), patched(0, 'X'), patched(8, 2), good.substr(0, good.size() - 1),
                             patched(16, (char)(records.size() + 1)),
                             patched(ShardHeaderSize, good[ShardHeaderSize] | 0x1F), patched(ShardHeaderSize + 62, 2)};
  std::vector<TrainingRecord> out(3);
  for (const std::string& b : bad) {
    test::WriteFileText(path, b);
    err.clear();
    EXPECT_FALSE(ReadShard(path, &out, &err)) << b.size();
    EXPECT_FALSE(err.empty()) << b.size();
    EXPECT_EQ(out.size(), 3u) << b.size();
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
    for (std::vector<int16_t>* v : {&c.pair, &c.kingPiece, &c.kkp})
      for (int16_t& x : *v) x = (int16_t)small(rng);
    std::vector<float> exact(ParamCount);
    FromCompact(c, exact.data());
    EvalWeights expanded;
    ASSERT_TRUE(ExpandCompactWeights(c, expanded));
    for (size_t i = 0; i < positions.size(); ++i) {
      Position& p = *positions[i].first;
      p.material = ComputeMaterial(p);
      const int eval = Evaluate(expanded, p, positions[i].second);
      EXPECT_LT(std::abs(PredictScore(exact.data(), samples[i]) - eval), 1.0) << i;
    }
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

// The sfen text of a position seen in a mirror: each rank's squares in reverse order.
std::string MirroredSfen(const std::string& sfen) {
  const size_t end = sfen.find(' ');
  std::string out, rank;
  std::vector<std::string> squares;
  auto flush = [&] {
    std::string row;
    int empty = 0;
    for (auto it = squares.rbegin(); it != squares.rend(); ++it) {
      if (*it == "1") {
        ++empty;
        continue;
      }
      if (empty) row += std::to_string(empty), empty = 0;
      row += *it;
    }
    if (empty) row += std::to_string(empty);
    out += row;
    squares.clear();
  };
  for (size_t i = 0; i < end; ++i) {
    const char c = sfen[i];
    if (c == '/') {
      flush();
      out += '/';
    } else if (c >= '1' && c <= '9') {
      squares.insert(squares.end(), c - '0', "1");
    } else if (c == '+') {
      squares.push_back(sfen.substr(i, 2));
      ++i;
    } else {
      squares.push_back(std::string(1, c));
    }
  }
  flush();
  return out + sfen.substr(end);
}

// Mirror sharing: the parameter table is its own inverse and keeps each table's entries
// in that table, and a model whose mirrored parameters are equal scores a position and
// its mirror image alike (the rules are the same with the files reversed).
TEST(TrainerModel, MirrorSharesWhatTheRulesShare) {
  test::SetPieceValues(test::ShippedPieceValues);
  EXPECT_EQ(MirrorSquare(0), 8);   // 9a and 1a
  EXPECT_EQ(MirrorSquare(40), 40); // 5e
  EXPECT_EQ(MirrorSquare(75), 77); // 6i and 4i
  const std::vector<uint32_t> m = MirrorParameterTable();
  ASSERT_EQ((int64_t)m.size(), ParamCount);
  auto block = [](int64_t i) { return i < ParamKingPieceOffset ? 0 : i < ParamKkpOffset ? 1 : 2; };
  int64_t moved = 0;
  for (int64_t i = 0; i < ParamCount; ++i) {
    ASSERT_EQ(m[m[i]], (uint32_t)i) << i;
    ASSERT_EQ(block(m[i]), block(i)) << i;
    moved += m[i] != (uint32_t)i;
  }
  EXPECT_GT(moved, ParamCount * 3 / 4);
  std::vector<float> w(ParamCount);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-2.0f, 2.0f);
  for (float& x : w) x = d(rng);
  for (int64_t i = 0; i < ParamCount; ++i)
    if (m[i] > (uint32_t)i) w[i] = w[m[i]] = 0.5f * (w[i] + w[m[i]]);
  auto scratch = std::make_unique<Position>();
  int compared = 0, differs = 0;
  for (auto& [p, side] : RandomPositions(3, 11)) {
    const std::string text = PositionToSfen(*p, side);
    int mirrorSide;
    auto q = test::MakePosition("sfen " + MirroredSfen(text), &mirrorSide);
    TrainSample a, b;
    TrainingRecord ra{}, rb{};
    PackPosition(*p, side, ra.position);
    PackPosition(*q, mirrorSide, rb.position);
    ASSERT_TRUE(MakeSample(ra, *scratch, &a) && MakeSample(rb, *scratch, &b)) << text;
    EXPECT_NEAR(PredictScore(w.data(), a), PredictScore(w.data(), b), 0.05) << text;
    ++compared;
    differs += MirroredSfen(text) != text;
  }
  EXPECT_GE(compared, 20);
  EXPECT_GE(differs, compared - 1);
}

TEST(Generation, TinyRunGivesQuietRecordsThatTrainALowerValidationLoss) {
  const std::string dir = test::MakeTempDir();
  ASSERT_EQ(mkdir((dir + "/Evaluation").c_str(), 0755), 0);
  test::WriteFileText(dir + "/Evaluation/evaluation.txt", test::ShippedValuesText);
  InitEngine(ProcessEngine());
  ProcessEngine().directory = dir;
  ASSERT_TRUE(LoadDataFiles(ProcessEngine()));
  ASSERT_TRUE(ProcessEngine().table.Allocate(4 << 20));
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
  ASSERT_TRUE(GeneratePositions(ProcessEngine(), gs, shard, &totals));
  ASSERT_TRUE(CloseShard(shard));
  EXPECT_EQ(totals.games, 6u);
  std::vector<TrainingRecord> records;
  ASSERT_TRUE(ReadShard(gs.outPath, &records, &err)) << err;
  ASSERT_EQ(records.size(), totals.records);
  ASSERT_GT(records.size(), 100u);
  // Quiet positions only: not in check, a legal non-capturing best move, an undecided
  // score. The teacher of a piece-values-only engine adds little to the material there;
  // give it a positional rule to learn (advanced pawns are worth 40 points each) and hold
  // out the last games: the rule must carry over to games never seen.
  std::vector<TrainSample> samples(records.size());
  auto p = std::make_unique<Position>();
  for (size_t i = 0; i < records.size(); ++i) {
    TrainingRecord r = records[i];
    int side;
    ASSERT_TRUE(UnpackPosition(r.position, *p, &side));
    const Move m = UnpackMove(*p, side, r.move);
    EXPECT_TRUE(!InCheck(*p, side) && m != NoMove && !MoveIsCapture(m) && std::abs(r.score) < gs.resignScore) << i;
    int advanced = 0;
    for (Square sq = 0; sq < SquareCount; ++sq)
      advanced += (p->board[sq] == BPawn && sq / 9 <= 5) - (p->board[sq] == WPawn && sq / 9 >= 3);
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
  // compact file that reads back, into an output directory it makes; one it cannot write
  // to (a file's name) is refused before any training.
  const std::string command = "cd " + dir + " && " KESTREL_BINARY " train --epochs 1 --validation 0.25 --no-full --quiet";
  EXPECT_NE(std::system((command + " --out-dir shard.bin shard.bin 2> bad.txt").c_str()), 0);
  EXPECT_EQ(test::ReadFileText(dir + "/bad.txt"), "train: cannot write to the directory shard.bin\n");
  const std::string train = command + " --out-dir out/weights shard.bin 2> train.txt";
  ASSERT_EQ(std::system(train.c_str()), 0) << test::ReadFileText(dir + "/train.txt");
  const size_t held = (size_t)(records.size() * 0.25);
  EXPECT_NE(test::ReadFileText(dir + "/train.txt").find(" and " + std::to_string(held) + " validation positions"),
            std::string::npos) << test::ReadFileText(dir + "/train.txt");
  CompactWeights c;
  EXPECT_TRUE(ReadCompactWeights(dir + "/out/weights/eval_compact.bin", &c, &err)) << err;
  test::RemoveTree(dir);
}

// A run on two threads writes, for each thread, the shard a one-thread run with that
// thread's seed writes, byte for byte, each at its own path.
TEST(Generation, ThreadsWriteTheShardsOfTheirSeeds) {
  GenerateSettings s;
  s.outPath = "r/shard.bin";
  s.seed = 41;
  s.threads = 3;
  EXPECT_EQ(ThreadShardPath(s, 0), "r/shard-41.bin");
  EXPECT_EQ(ThreadShardPath(s, 2), "r/shard-43.bin");
  s.outPath = "a.b/shard";
  EXPECT_EQ(ThreadShardPath(s, 1), "a.b/shard-42");
  s.threads = 1;
  EXPECT_EQ(ThreadShardPath(s, 0), "a.b/shard");
  const std::string dir = test::MakeTempDir();
  ASSERT_EQ(mkdir((dir + "/Evaluation").c_str(), 0755), 0);
  test::WriteFileText(dir + "/Evaluation/evaluation.txt", test::ShippedValuesText);
  const std::string run = "cd " + dir + " && " KESTREL_BINARY " generate --records 150 --depth 2 --quiet";
  ASSERT_EQ(std::system((run + " --threads 2 --seed 7 --out two.bin 2> two.txt").c_str()), 0)
      << test::ReadFileText(dir + "/two.txt");
  for (int seed : {7, 8}) {
    const std::string one = "one-" + std::to_string(seed) + ".bin";
    ASSERT_EQ(std::system((run + " --seed " + std::to_string(seed) + " --out " + one + " 2> /dev/null").c_str()), 0);
    const std::string alone = test::ReadFileText(dir + "/" + one);
    EXPECT_GT(alone.size(), 150u * sizeof(TrainingRecord) - 1);
    EXPECT_EQ(test::ReadFileText(dir + "/two-" + std::to_string(seed) + ".bin"), alone) << seed;
  }
  test::RemoveTree(dir);
}

}  // namespace
}  // namespace kestrel
