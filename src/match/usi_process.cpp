// Child-process plumbing: pipes to and from a USI engine, read with poll and a deadline.
#include "match/usi_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace kestrel {

UsiProcess::~UsiProcess() {
  if (toChild >= 0) close(toChild);
  if (fromChild >= 0) close(fromChild);
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

bool UsiProcess::Start(const std::string& workDir, const std::string& binary) {
  int in[2], out[2];
  if (pipe(in) != 0) return false;
  if (pipe(out) != 0) return false;
  pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    execl(binary.c_str(), binary.c_str(), (char*)nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  toChild = in[1];
  fromChild = out[0];
  signal(SIGPIPE, SIG_IGN);
  return true;
}

bool UsiProcess::Write(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(toChild, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

void UsiProcess::CloseInput() {
  if (toChild >= 0) close(toChild);
  toChild = -1;
}

bool UsiProcess::ReadLine(std::string* line, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t nl = pending.find('\n');
    if (nl != std::string::npos) {
      *line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || fromChild < 0) return false;
    pollfd pfd{fromChild, POLLIN, 0};
    if (poll(&pfd, 1, (int)left) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(fromChild, buf, sizeof buf);
    if (n <= 0) {
      close(fromChild);
      fromChild = -1;
      return false;
    }
    pending.append(buf, (size_t)n);
  }
}

bool UsiProcess::ReadBestMove(std::vector<std::string>* lines, int timeoutMs) {
  if (!ReadUntil("bestmove", lines, timeoutMs)) return false;
  for (size_t i = 0; i + 1 < lines->size(); ++i)
    if ((*lines)[i].compare(0, 5, "info ") != 0) return false;
  return true;
}

bool UsiProcess::ReadUntil(const std::string& prefix, std::vector<std::string>* lines, int timeoutMs) {
  std::string line;
  while (ReadLine(&line, timeoutMs)) {
    lines->push_back(line);
    if (line.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

std::vector<std::string> UsiProcess::ReadAll(int timeoutMs) {
  std::vector<std::string> lines;
  std::string line;
  while (ReadLine(&line, timeoutMs)) lines.push_back(line);
  if (!pending.empty()) lines.push_back(pending);
  pending.clear();
  return lines;
}

int UsiProcess::WaitExit(int timeoutMs) {
  if (pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 || std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kestrel
