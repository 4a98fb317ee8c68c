// Training loop, data loading and output of the trainer.
#include "learn/trainer.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "engine/engine_setup.h"
#include "search/engine.h"
#include "learn/elapsed.h"

namespace kestrel {

namespace {

// Runs f(thread, begin, end) over [0, n) cut into `threads` contiguous parts.
template <class F>
void ParallelFor(int threads, size_t n, const F& f) {
  if (threads < 1) threads = 1;
  const size_t part = (n + threads - 1) / threads;
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) {
    const size_t lo = std::min(n, part * t), hi = std::min(n, part * (t + 1));
    helpers.emplace_back([&f, t, lo, hi] { f(t, lo, hi); });
  }
  f(0, 0, std::min(n, part));
  for (std::thread& h : helpers) h.join();
}

constexpr double Beta1 = 0.9, Beta2 = 0.999;

}  // namespace

SetStats MeasureSet(const std::vector<TrainSample>& samples, const float* w, const LossSettings& ls, int threads) {
  SetStats out;
  if (samples.empty()) return out;
  std::vector<SetStats> parts(std::max(threads, 1));
  ParallelFor(threads, samples.size(), [&](int t, size_t lo, size_t hi) {
    SetStats& p = parts[t];
    for (size_t i = lo; i < hi; ++i) {
      const double loss = SampleLoss(w, samples[i], ls, nullptr);
      const double target = TargetOf(samples[i], ls);
      const double entropy = target <= 0 || target >= 1 ? 0 : -(target * std::log(target) + (1 - target) * std::log(1 - target));
      p.loss += loss;
      p.excess += loss - entropy;
      p.teacherError += std::abs(PredictScore(w, samples[i]) - samples[i].teacher);
    }
  });
  for (const SetStats& p : parts) {
    out.loss += p.loss / samples.size();
    out.excess += p.excess / samples.size();
    out.teacherError += p.teacherError / samples.size();
  }
  return out;
}

double MeanLoss(const std::vector<TrainSample>& samples, const float* w, const LossSettings& ls, int threads) {
  return MeasureSet(samples, w, ls, threads).loss;
}

std::vector<EpochStats> TrainModel(const TrainSettings& s, const std::vector<TrainSample>& train,
                                   const std::vector<TrainSample>& validation, std::vector<float>& w) {
  const int threads = std::max(1, s.threads);
  const LossSettings& ls = s.loss;
  std::vector<std::vector<float>> grads(threads, std::vector<float>(ParamCount, 0.0f));
  // Shared mirror parameters start equal, and stay so: each step gives both the same
  // gradient (the sum of theirs), so Adam's state and the L2 term stay equal too.
  std::vector<uint32_t> mirror;
  if (s.mirror) {
    mirror = MirrorParameterTable();
    for (uint32_t i = 0; i < (uint32_t)ParamCount; ++i)
      if (mirror[i] > i) w[i] = w[mirror[i]] = 0.5f * (w[i] + w[mirror[i]]);
  }
  std::vector<float> m(ParamCount, 0.0f), sq(ParamCount, 0.0f);
  std::vector<uint32_t> order(train.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = (uint32_t)i;
  std::mt19937_64 rng(s.seed);
  FILE* csv = s.csvPath.empty() ? nullptr : std::fopen(s.csvPath.c_str(), "w");
  if (csv)
    std::fprintf(csv, "epoch,train_loss,validation_loss,validation_excess_loss,validation_teacher_error,"
                      "learning_rate,seconds,positions_per_second\n");
  std::vector<EpochStats> curve;
  auto record = [&](const EpochStats& e) {
    curve.push_back(e);
    if (csv) {
      std::fprintf(csv, "%d,%.6f,%.6f,%.6f,%.2f,%.6g,%.1f,%.0f\n", e.epoch, e.trainLoss, e.validationLoss,
                   e.validationExcess, e.validationTeacherError, e.learningRate, e.seconds, e.positionsPerSecond);
      std::fflush(csv);
    }
    if (!s.quiet)
      std::fprintf(stderr,
                   "epoch %d: train loss %.6f, validation loss %.6f (%.6f above the targets' entropy, %.1f points "
                   "from the teacher), lr %.4g, %.0f positions/s\n",
                   e.epoch, e.trainLoss, e.validationLoss, e.validationExcess, e.validationTeacherError, e.learningRate,
                   e.positionsPerSecond);
  };
  const auto start = std::chrono::steady_clock::now();
  SetStats v = MeasureSet(validation, w.data(), ls, threads);
  record({0, MeanLoss(train, w.data(), ls, threads), v.loss, v.excess, v.teacherError, s.learningRate,
          SecondsSince(start), 0});
  std::vector<float> best = w;
  double bestLoss = curve.back().validationLoss;
  double lr = s.learningRate;
  uint64_t step = 0;
  const size_t batch = (size_t)std::max(1, s.batchSize);
  const size_t batchesPerEpoch = (train.size() + batch - 1) / batch;
  double lastReport = 0;
  for (int epoch = 1; epoch <= s.epochs && !train.empty(); ++epoch) {
    const auto epochStart = std::chrono::steady_clock::now();
    std::shuffle(order.begin(), order.end(), rng);
    double epochLoss = 0;
    std::vector<double> parts(threads, 0.0);
    for (size_t b = 0; b < train.size(); b += batch) {
      const size_t size = std::min(batch, train.size() - b);
      // 1. Gradients of the batch's summed loss, one buffer per thread.
      ParallelFor(threads, size, [&](int t, size_t lo, size_t hi) {
        float* g = grads[t].data();
        double sum = 0;
        for (size_t i = lo; i < hi; ++i) {
          const TrainSample& smp = train[order[b + i]];
          double d;
          sum += SampleLoss(w.data(), smp, ls, &d);
          AddGradient(smp, (float)d, g);
        }
        parts[t] = sum;
      });
      for (double p : parts) epochLoss += p;
      if (s.mirror) {
        ParallelFor(threads, (size_t)ParamCount, [&](int, size_t lo, size_t hi) {
          for (size_t i = lo; i < hi; ++i) {
            const uint32_t j = mirror[i];
            if (j <= i) continue;
            for (int t = 0; t < threads; ++t) {
              float& a = grads[t][i];
              float& c = grads[t][j];
              if (a != 0.0f || c != 0.0f) a = c = a + c;
            }
          }
        });
      }
      // 2. Adam on every parameter the batch touched, with L2 on those parameters.
      ++step;
      const double c1 = 1 - std::pow(Beta1, (double)step), c2 = 1 - std::pow(Beta2, (double)step);
      const float stepSize = (float)(lr * std::sqrt(c2) / c1);
      const float epsilon = (float)s.adamEpsilon;
      ParallelFor(threads, (size_t)ParamCount, [&](int, size_t lo, size_t hi) {
        for (size_t i = lo; i < hi; ++i) {
          float g = 0;
          bool touched = false;
          for (int t = 0; t < threads; ++t) {
            float& x = grads[t][i];
            if (x != 0.0f) {
              g += x;
              x = 0.0f;
              touched = true;
            }
          }
          if (!touched) continue;
          g += (float)s.l2 * w[i];
          m[i] = (float)(Beta1 * m[i] + (1 - Beta1) * g);
          sq[i] = (float)(Beta2 * sq[i] + (1 - Beta2) * g * g);
          w[i] -= stepSize * m[i] / (std::sqrt(sq[i]) + epsilon);
        }
      });
      const double elapsed = SecondsSince(start);
      if (!s.quiet && elapsed - lastReport >= 10) {
        lastReport = elapsed;
        const size_t done = b / batch + 1;
        const double rate = (b + size) / SecondsSince(epochStart);
        const double left = ((double)(batchesPerEpoch - done) * batch + (double)(s.epochs - epoch) * train.size()) /
                            (rate > 0 ? rate : 1);
        std::fprintf(stderr, "epoch %d batch %zu/%zu: loss %.6f, %.0f positions/s, about %.0f s left\n", epoch, done,
                     batchesPerEpoch, epochLoss / (b + size), rate, left);
      }
    }
    const double seconds = SecondsSince(epochStart);
    v = MeasureSet(validation, w.data(), ls, threads);
    const double validationLoss = v.loss;
    record({epoch, epochLoss / train.size(), v.loss, v.excess, v.teacherError, lr, SecondsSince(start),
            train.size() / seconds});
    if (validationLoss < bestLoss || validation.empty()) {
      bestLoss = validationLoss;
      best = w;
    }
    lr *= s.lrDecay;
  }
  if (csv) std::fclose(csv);
  w.swap(best);
  return curve;
}

// Makes `dir` (and its parents) when missing; true when a file can be created in it.
static bool OutputDirectoryWritable(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir, ec)) return false;
  const std::string probe = dir + "/.kestrel-train-probe";
  FILE* f = std::fopen(probe.c_str(), "wb");
  if (!f) return false;
  std::fclose(f);
  std::remove(probe.c_str());
  return true;
}

int RunTrain(const TrainCommand& command) {
  TrainSettings s = command.settings;
  const std::string& outDir = command.outDir;
  const std::string& initPath = command.initPath;
  const double validationFraction = command.validationFraction;
  const bool writeFull = command.writeFull;
  const std::vector<std::string>& shards = command.shards;
  // 1. The piece values the evaluation adds to the learned sums.
  Engine& engine = ProcessEngine();
  InitEngine(engine);
  if (!LoadDataFiles(engine)) {
    std::fprintf(stderr, "train: no Evaluation/evaluation.txt in this directory\n");
    return 1;
  }
  // The output directory is made, and a file tried in it, before any training: a run of
  // hours must not end unable to write its result.
  if (!OutputDirectoryWritable(outDir)) {
    std::fprintf(stderr, "train: cannot write to the directory %s\n", outDir.c_str());
    return 1;
  }
  // 2. Every shard, then the samples (on all threads). Positions of one game share most
  //    of their features, so the validation set is the last share of each shard's games
  //    (records are stored game after game), not a random pick of positions.
  std::vector<TrainingRecord> records, held;
  for (const std::string& path : shards) {
    std::string err;
    std::vector<TrainingRecord> shard;
    if (!ReadShard(path, &shard, &err)) {
      std::fprintf(stderr, "train: %s\n", err.c_str());
      return 1;
    }
    std::fprintf(stderr, "%s: %zu records\n", path.c_str(), shard.size());
    const size_t cut = shard.size() - (size_t)(shard.size() * validationFraction);
    records.insert(records.end(), shard.begin(), shard.begin() + cut);
    held.insert(held.end(), shard.begin() + cut, shard.end());
  }
  auto toSamples = [&](const std::vector<TrainingRecord>& from) {
    std::vector<TrainSample> out(from.size());
    std::vector<char> good(from.size(), 0);
    ParallelFor(s.threads, from.size(), [&](int, size_t lo, size_t hi) {
      auto scratch = std::make_unique<Position>();
      for (size_t i = lo; i < hi; ++i) good[i] = MakeSample(from[i], *scratch, &out[i]) ? 1 : 0;
    });
    size_t kept = 0;
    for (size_t i = 0; i < out.size(); ++i)
      if (good[i]) out[kept++] = out[i];
    out.resize(kept);
    return out;
  };
  std::vector<TrainSample> samples = toSamples(records), validation = toSamples(held);
  std::vector<TrainingRecord>().swap(records);
  if (samples.empty()) {
    std::fprintf(stderr, "train: no training positions\n");
    return 1;
  }
  if (s.loss.scale <= 0) s.loss.scale = FitScale(samples);
  std::fprintf(stderr, "%zu training and %zu validation positions; scale %.1f, lambda %.2f\n", samples.size(),
               validation.size(), s.loss.scale, s.loss.lambda);
  // 3. Start from zero or from a compact file, train, keep the best epoch.
  std::vector<float> w(ParamCount, 0.0f);
  if (!initPath.empty()) {
    CompactWeights c;
    std::string err;
    if (!ReadCompactWeights(initPath, &c, &err)) {
      std::fprintf(stderr, "train: %s\n", err.c_str());
      return 1;
    }
    FromCompact(c, w.data());
  }
  TrainModel(s, samples, validation, w);
  // 4. The compact file and, from its expansion, the full weight file.
  const CompactWeights c = ToCompact(w.data());
  std::string err;
  const std::string compactPath = outDir + "/eval_compact.bin";
  if (!WriteCompactWeights(compactPath, c, &err)) {
    std::fprintf(stderr, "train: %s\n", err.c_str());
    return 1;
  }
  std::fprintf(stderr, "wrote %s\n", compactPath.c_str());
  if (writeFull) {
    EvalWeights full;
    const std::string fullPath = outDir + "/eval_features.bin";
    FILE* f = ExpandCompactWeights(c, full) ? std::fopen(fullPath.c_str(), "wb") : nullptr;
    bool ok = f && std::fwrite(full.KppRow(0), sizeof(int16_t), KppElementCount, f) == (size_t)KppElementCount &&
              std::fwrite(full.KkpRow(0, 0), sizeof(int16_t), KkpElementCount, f) == (size_t)KkpElementCount;
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) {
      std::fprintf(stderr, "train: cannot write %s\n", fullPath.c_str());
      return 1;
    }
    std::fprintf(stderr, "wrote %s\n", fullPath.c_str());
  }
  return 0;
}

}  // namespace kestrel
