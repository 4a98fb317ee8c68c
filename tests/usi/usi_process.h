// Test helper: runs the engine executable as a child process in a working directory,
// talks to it over pipes, and reads its output line by line with a timeout.
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

#include <sys/types.h>

#include <string>
#include <vector>

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

struct UsiProcess {
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
  std::string pending;  // output read but not yet returned as lines

  UsiProcess() = default;
  UsiProcess(const UsiProcess&) = delete;
  UsiProcess& operator=(const UsiProcess&) = delete;
  ~UsiProcess();

  // Starts KESTREL_BINARY (or binary) with workDir as its current directory.
  bool Start(const std::string& workDir, const std::string& binary = KESTREL_BINARY);
  // Writes text as it is (no newline added); false when the pipe is closed.
  bool Write(const std::string& text);
  // Writes one line followed by "\n".
  bool Send(const std::string& line) { return Write(line + "\n"); }
  // Closes the child's standard input (end of input).
  void CloseInput();
  // Next output line without its newline; false on timeout or when the output ended.
  bool ReadLine(std::string* line, int timeoutMs = 20000);
  // Reads lines up to and including the first that starts with prefix.
  bool ReadUntil(const std::string& prefix, std::vector<std::string>* lines, int timeoutMs = 20000);
  // Reads the lines of a search up to and including its "bestmove" line; false on a
  // timeout or when a line before it is not an "info" line.
  bool ReadBestMove(std::vector<std::string>* lines, int timeoutMs = 30000);
  // Reads every line until the output ends (the child closed it or exited).
  std::vector<std::string> ReadAll(int timeoutMs = 20000);
  // Waits for the child to end; its exit status, or -1 after a timeout (it is then killed)
  // or when it was ended by a signal.
  int WaitExit(int timeoutMs = 20000);
};

}  // namespace kestrel_test
