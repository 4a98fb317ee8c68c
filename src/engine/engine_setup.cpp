// Start-up and data loading shared by every mode of the engine.
#include "engine/engine_setup.h"

#include <unistd.h>

#include <climits>
#include <memory>

#include "board/attack_tables.h"
#include "board/material.h"
#include "book/book.h"
#include "eval/eval_params.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/parallel.h"
#include "search/search.h"

namespace kestrel {

// The directory the data files are read from: the working directory, where GUIs start
// engines; when it holds no "Evaluation/evaluation.txt" but the program's own directory
// does (an engine started from elsewhere by its full path), that one.
static std::string FindStartupDirectory() {
  char cwd[PATH_MAX];
  const std::string here = getcwd(cwd, sizeof cwd) ? cwd : ".";
  if (access((here + "/Evaluation/evaluation.txt").c_str(), R_OK) == 0) return here;
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return here;
  exe[n] = '\0';
  std::string dir(exe);
  dir.erase(dir.find_last_of('/') == std::string::npos ? 0 : dir.find_last_of('/'));
  if (!dir.empty() && access((dir + "/Evaluation/evaluation.txt").c_str(), R_OK) == 0) return dir;
  return here;
}

// The hash keys are drawn here too: they come from a fixed generator, so drawing them
// early gives the same keys, and correct keys for every position.
void InitEngine(Engine& engine) {
  engine.directory = FindStartupDirectory();
  engine.pool.MainBlock();
  engine.book.Allocate();
  InitBoardTables();
  InitHashKeys();
  SetStartPosition(engine.state.root);
  engine.state.sideToMove = Black;
  engine.state.moveCount = 0;
}

bool LoadDataFiles(Engine& engine) {
  engine.book.Load(engine.directory);
  // The old tables go first, so that a reload never holds two sets at once.
  engine.UseWeights(nullptr);
  auto weights = std::make_shared<EvalWeights>();
  engine.valuesLoaded = LoadEvaluationFiles(engine.directory, *weights) == 1;
  engine.UseWeights(std::move(weights));
  if (engine.valuesLoaded) engine.state.root.material = ComputeMaterial(engine.state.root);
  ComputeSearchThresholds();
  return engine.valuesLoaded;
}

std::string DescribeEvaluationData(const Engine& engine) {
  const std::string dir = engine.directory + "/Evaluation/";
  if (!engine.valuesLoaded) return "no " + dir + "evaluation.txt: every weight zero";
  std::string s = "piece values from " + dir + "evaluation.txt";
  const EvalWeightsSource origin = engine.Weights().Present() ? engine.Weights().origin : WeightsNone;
  if (origin == WeightsFull) s += ", positional weights from " + dir + "eval_features.bin";
  else if (origin == WeightsCompact) s += ", positional weights expanded from " + dir + "eval_compact.bin";
  else s += ", no positional weights";
  return s;
}

}  // namespace kestrel
