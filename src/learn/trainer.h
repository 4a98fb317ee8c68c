// The trainer: mini-batch Adam over the factored model, on both cores, with a held-out
// validation set, a progress line and a CSV learning curve; writes the compact file and
// a full eval_features.bin.
#pragma once

#include <string>
#include <vector>

#include "learn/train_model.h"

namespace kestrel {

struct TrainSettings {
  LossSettings loss;       // scale 0: fitted to the training data
  int epochs = 8;
  int batchSize = 16384;
  double learningRate = 0.5;  // Adam step, points
  double lrDecay = 0.8;       // learning rate factor per epoch
  double l2 = 1e-6;           // L2 on each parameter a batch touches, per point squared
  // Adam's epsilon, in units of the batch's summed gradient. Set well above the gradients
  // of rarely seen features, it makes their steps proportional to their gradient (as plain
  // gradient descent would) instead of a full learning-rate step each time they appear,
  // which fills the tables with noise that no other game confirms. Scale it with the
  // batch size.
  double adamEpsilon = 1e-2;
  int threads = 2;
  // Learn a position and its left-right mirror image as one: each parameter and its mirror
  // share one value (the starting weights are averaged with their mirror images, and every
  // step gives both the sum of their gradients).
  bool mirror = false;
  uint64_t seed = 1;
  std::string csvPath;        // learning curve; empty: none
  bool quiet = false;
};

// One line of the learning curve.
struct EpochStats {
  int epoch;  // 0: before training
  double trainLoss, validationLoss;
  double validationExcess;        // validation loss less the entropy of its targets
  double validationTeacherError;  // mean distance of the model's score from the teacher's, points
  double learningRate, seconds, positionsPerSecond;
};

// Trains `w` (ParamCount floats, the starting point) on `train`, scoring `validation`
// after every epoch; on return `w` holds the parameters of the epoch with the lowest
// validation loss. Returns the curve, epoch 0 first.
std::vector<EpochStats> TrainModel(const TrainSettings& s, const std::vector<TrainSample>& train,
                                   const std::vector<TrainSample>& validation, std::vector<float>& w);

// Mean loss, mean loss above the targets' entropy and mean distance from the teacher's
// score of a sample set under `w`, on `threads` threads.
struct SetStats {
  double loss = 0, excess = 0, teacherError = 0;
};
SetStats MeasureSet(const std::vector<TrainSample>& samples, const float* w, const LossSettings& ls, int threads);
// The mean loss alone.
double MeanLoss(const std::vector<TrainSample>& samples, const float* w, const LossSettings& ls, int threads);

// What "kestrel train" is asked to do: the settings, where the weight files go, the
// compact file to start from (empty: from zero), the share of each shard's games held
// out for validation, whether the full feature file is written too, and the shards.
struct TrainCommand {
  TrainSettings settings;
  std::string outDir = ".";
  std::string initPath;
  double validationFraction = 0.05;
  bool writeFull = true;
  std::vector<std::string> shards;
};

// Reads the shards, trains (the scale fitted when settings.loss.scale is 0) and writes
// the weight files; returns the exit status.
int RunTrain(const TrainCommand& command);

}  // namespace kestrel
