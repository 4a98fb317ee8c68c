// Test helper: the engine executable as a child process in a working directory, talked
// to over pipes and read line by line with a timeout.
//
//   std::string dir = MakeTempDir();          // fresh empty directory, removed by the test
//   UsiProcess engine;
//   ASSERT_TRUE(engine.Start(dir));            // KESTREL_BINARY, cwd = dir
//   engine.Send("usi");                        // writes "usi\n"
//   std::vector<std::string> lines;
//   ASSERT_TRUE(engine.ReadUntil("usiok", &lines));   // lines up to and including "usiok"
//   engine.Send("quit");
//   EXPECT_EQ(engine.WaitExit(), 0);           // exit status, -1 on timeout (child killed)
//
// The destructor kills a child that is still running. Timeouts are generous (they only
// keep a broken engine from hanging the test run); no test asserts on durations.
#pragma once

#include <string>
#include <vector>

#include "match/usi_process.h"

namespace kestrel_test {

// Creates a new empty directory under the system temporary directory.
std::string MakeTempDir();
// Removes a directory tree (used for directories made by MakeTempDir).
void RemoveTree(const std::string& dir);
// Copies the repository's data/Evaluation files into dir/Evaluation.
void CopyEvaluationData(const std::string& dir);
// Whole file as text ("" when missing); writes text to a file.
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// The engine process of the tests: KESTREL_BINARY unless another binary is named.
struct UsiProcess : kestrel::UsiProcess {
  bool Start(const std::string& workDir, const std::string& binary = KESTREL_BINARY) {
    return kestrel::UsiProcess::Start(workDir, binary);
  }
};

}  // namespace kestrel_test
