// Start-up and data loading shared by every mode of the engine.
#include "engine/engine_setup.h"

#include <unistd.h>

#include <climits>

#include "board/attack_tables.h"
#include "board/material.h"
#include "book/book.h"
#include "engine/engine_state.h"
#include "eval/eval_params.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/parallel.h"
#include "search/search.h"

namespace kestrel {

namespace {
// What the last LoadDataFiles found.
bool valuesLoaded = false;
}  // namespace

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
void InitEngine() {
  startupDirectory = FindStartupDirectory();
  AllocateEngineState();
  ProcessEngine().pool.MainBlock();
  ProcessEngine().book.Allocate();
  InitBoardTables();
  InitHashKeys();
  SetStartPosition(State->root);
  State->sideToMove = Black;
  State->moveCount = 0;
}

bool LoadDataFiles() {
  ProcessEngine().book.Load(startupDirectory);
  valuesLoaded = LoadEvaluationFiles() == 1;
  if (valuesLoaded) State->root.material = ComputeMaterial(State->root);
  ComputeSearchThresholds();
  return valuesLoaded;
}

std::string DescribeEvaluationData() {
  const std::string dir = startupDirectory + "/Evaluation/";
  if (!valuesLoaded) return "no " + dir + "evaluation.txt: every weight zero";
  std::string s = "piece values from " + dir + "evaluation.txt";
  if (EvalWeightsOrigin == WeightsFull) s += ", positional weights from " + dir + "eval_features.bin";
  else if (EvalWeightsOrigin == WeightsCompact) s += ", positional weights expanded from " + dir + "eval_compact.bin";
  else s += ", no positional weights";
  return s;
}

}  // namespace kestrel
