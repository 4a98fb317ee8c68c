// Input thread and command queue. The queue is guarded by one mutex; the main thread
// waits on a condition variable instead of polling.
#include "usi/input_thread.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "board/clock.h"
#include "search/engine.h"

namespace kestrel {

namespace {

std::mutex queueLock;
std::condition_variable queueChanged;
std::deque<std::string> CommandQueue;
// True while the main thread waits for a line or runs interruptible work.
bool mainIdle = false;
// True while the main thread runs interruptible work (a search or a mate solve): an
// "isready" with no other line before it is answered at once then.
bool mainBusy = false;
// The engine whose interrupt flags the lines raise.
Engine* flagged = nullptr;

bool IsReadyLine(const std::string& line) { return line == "isready"; }

// Answers the "isready" lines at the front of the queue (the lock is held).
void AnswerQueuedIsReady() {
  while (!CommandQueue.empty() && IsReadyLine(CommandQueue.front())) {
    CommandQueue.pop_front();
    std::printf("readyok\n");
  }
}

void* InputThreadMain(void*) {
  ReadCommandLines(stdin);
  // "quit" or the end of input: leave once the main thread has taken every queued line
  // and is waiting for the next one (or is searching).
  std::unique_lock<std::mutex> lock(queueLock);
  while (!(CommandQueue.empty() && mainIdle)) queueChanged.wait_for(lock, std::chrono::milliseconds(200));
  EndProcess();
}

}  // namespace

LineRead ReadInputLine(FILE* in, std::string* line) {
  line->clear();
  bool any = false, tooLong = false;
  int c;
  while ((c = std::getc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line->size() < MaxInputLine) {
      line->push_back((char)c);
    } else {
      tooLong = true;
    }
  }
  if (!any) return LineRead::End;
  if (tooLong) {
    line->clear();
    return LineRead::TooLong;
  }
  if (c == '\n' && !line->empty() && line->back() == '\r') line->pop_back();
  return LineRead::Line;
}

void QueueCommandLine(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(queueLock);
    if (flagged) {
      if (line.compare(0, 4, "stop") == 0) flagged->stopRequested = true;
      if (line.compare(0, 9, "ponderhit") == 0) {
        // The engine's clock starts when the line arrives, not when the search sees it.
        flagged->ponderhitAtMs = NowMs();
        flagged->ponderhitReceived = true;
      }
      if (line.compare(0, 8, "gameover") == 0) flagged->gameoverReceived = true;
    }
    // While a search runs the main thread reads no lines: a ping is answered here, as
    // long as no line before it is still waiting (that line is answered first).
    if (mainBusy && CommandQueue.empty() && IsReadyLine(line)) {
      std::printf("readyok\n");
      return;
    }
    CommandQueue.push_back(line);
  }
  queueChanged.notify_all();
}

void ReadCommandLines(FILE* in) {
  std::string line;
  for (;;) {
    const LineRead r = ReadInputLine(in, &line);
    if (r == LineRead::End) return;
    if (r == LineRead::TooLong) {
      std::printf("info string input line longer than %zu characters ignored\n", MaxInputLine);
      continue;
    }
    if (line.compare(0, 4, "quit") == 0) return;
    QueueCommandLine(line);
  }
}

void RaiseFlagsOn(Engine* engine) {
  std::lock_guard<std::mutex> lock(queueLock);
  flagged = engine;
}

bool StartInputThread(Engine& engine) {
  RaiseFlagsOn(&engine);
  // A plain thread handle, so that a failure is a return code rather than an exception.
  pthread_t thread;
  if (pthread_create(&thread, nullptr, InputThreadMain, nullptr) != 0) return false;
  pthread_detach(thread);
  return true;
}

std::string NextCommand() {
  std::unique_lock<std::mutex> lock(queueLock);
  mainIdle = true;
  queueChanged.notify_all();
  queueChanged.wait(lock, [] { return !CommandQueue.empty(); });
  std::string line = std::move(CommandQueue.front());
  CommandQueue.pop_front();
  mainIdle = false;
  return line;
}

bool TryNextCommand(std::string* line) {
  std::lock_guard<std::mutex> lock(queueLock);
  if (CommandQueue.empty()) return false;
  *line = std::move(CommandQueue.front());
  CommandQueue.pop_front();
  return true;
}

size_t PendingCommandCount() {
  std::lock_guard<std::mutex> lock(queueLock);
  return CommandQueue.size();
}

void BeginInterruptibleWork() {
  {
    std::lock_guard<std::mutex> lock(queueLock);
    mainIdle = true;
    mainBusy = true;
    // Pings sent right behind the line that started this work would otherwise wait
    // for its end.
    AnswerQueuedIsReady();
  }
  queueChanged.notify_all();
}

void EndInterruptibleWork() {
  std::lock_guard<std::mutex> lock(queueLock);
  mainIdle = false;
  mainBusy = false;
}

void ResetFlagsToQueue(Engine& engine) {
  std::lock_guard<std::mutex> lock(queueLock);
  bool stop = false, ponderhit = false, gameover = false;
  for (const std::string& line : CommandQueue) {
    stop |= line.compare(0, 4, "stop") == 0;
    ponderhit |= line.compare(0, 9, "ponderhit") == 0;
    gameover |= line.compare(0, 8, "gameover") == 0;
  }
  engine.stopRequested = stop;
  engine.ponderhitReceived = ponderhit;
  engine.gameoverReceived = gameover;
}

void EndProcess() {
  std::fflush(stdout);
  std::_Exit(0);
}

}  // namespace kestrel
