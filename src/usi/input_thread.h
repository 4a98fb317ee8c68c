// The input thread: reads standard input line by line, raises the interrupt flags at
// once, queues every line for the main thread, and ends the process on "quit" or at
// the end of input once the main thread has taken every queued line.
#pragma once

#include <cstdio>
#include <string>

namespace kestrel {

// Longest input line kept (characters, newline excluded). Longer lines are dropped whole
// with an "info string" line: a cut position or move list would be wrong, not shorter.
constexpr size_t MaxInputLine = 65535;

// Result of reading one line.
enum class LineRead { Line, TooLong, End };

// Reads one line into *line: the newline and one "\r" before it are removed; a last line
// without a newline keeps all its characters. Never stores more than MaxInputLine characters.
LineRead ReadInputLine(FILE* in, std::string* line);

struct Engine;

// The engine whose interrupt flags ("stop", "ponderhit", "gameover") queued lines raise;
// null raises none. Standard input is the process's one, so is its queue.
void RaiseFlagsOn(Engine* engine);

// Raises the flag a line's prefix asks for and appends the line to the command queue.
void QueueCommandLine(const std::string& line);

// Reads lines from in and queues them until a line beginning "quit" or the end of input.
void ReadCommandLines(FILE* in);

// Starts the thread that reads standard input, its lines raising the engine's flags;
// false when it cannot be created.
bool StartInputThread(Engine& engine);

// Blocks until a line is queued and returns the oldest one. While it waits, the main
// thread counts as idle, so a "quit" may end the process.
std::string NextCommand();

// Takes the oldest queued line without blocking; false when the queue is empty.
bool TryNextCommand(std::string* line);

// Number of queued lines.
size_t PendingCommandCount();

// Marks the stretch of a command during which "quit" ends the process at once
// (a search or a mate solve): begin before it, end after it. Meanwhile "isready" is
// answered at once, as soon as no other line waits before it.
void BeginInterruptibleWork();
void EndInterruptibleWork();

// Ends the process with status 0 at once (standard output is unbuffered).
[[noreturn]] void EndProcess();
// Sets each of the engine's interrupt flags to whether a line raising it is still
// waiting in the queue.
void ResetFlagsToQueue(Engine& engine);

}  // namespace kestrel
