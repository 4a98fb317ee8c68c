// A USI engine run as a child process: started in a working directory, fed lines on its
// standard input, its standard output read line by line with a timeout.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrel {

struct UsiProcess {
  pid_t pid = -1;
  int toChild = -1;
  int fromChild = -1;
  std::string pending;  // output read but not yet returned as lines

  UsiProcess() = default;
  UsiProcess(const UsiProcess&) = delete;
  UsiProcess& operator=(const UsiProcess&) = delete;
  // Kills a child that is still running.
  ~UsiProcess();

  // Starts `binary` with workDir as its current directory.
  bool Start(const std::string& workDir, const std::string& binary);
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

}  // namespace kestrel
