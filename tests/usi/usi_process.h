// Test helper: the engine executable as a child process in a scratch working directory,
// talked to over pipes and read line by line with generous timeouts (they only keep a
// broken engine from hanging the run; no test asserts on durations).
#pragma once

#include <string>

#include "match/usi_process.h"
#include "test_util.h"

namespace kestrel_test {

using kestrel::test::MakeTempDir;
using kestrel::test::ReadFileText;
using kestrel::test::RemoveTree;
using kestrel::test::WriteFileText;

// Copies the repository's data/Evaluation files into dir/Evaluation.
inline void CopyEvaluationData(const std::string& dir) {
  const std::string cmd = "mkdir -p '" + dir + "/Evaluation' && cp '" KESTREL_DATA_DIR "/Evaluation/evaluation.txt' '" +
                          dir + "/Evaluation/'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not copy evaluation data\n");
}

// The engine process of the tests: KESTREL_BINARY unless another binary is named.
struct UsiProcess : kestrel::UsiProcess {
  bool Start(const std::string& workDir, const std::string& binary = KESTREL_BINARY) {
    return kestrel::UsiProcess::Start(workDir, binary);
  }
};

}  // namespace kestrel_test
