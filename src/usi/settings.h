// The engine's options: the three kept in "Kestrel.ini" (section "CustomSettings") and the
// two standard USI options kept in memory, with the identification block that shows them.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// Ranges announced by the option lines; values outside are clamped into them.
constexpr int LevelMin = 1, LevelMax = 10;
constexpr int ThreadsMin = 0, ThreadsMax = 32;
constexpr int BookMovesMin = 0, BookMovesMax = 50;
// Smallest transposition table size in bytes; also the size of a new game's default table.
constexpr int64_t DefaultHashBytes = 32000000;

// "ThreadNumber": the threads of each search the USI loop starts.
extern int threadNumber;

// "<start-up directory>/Kestrel.ini".
std::string SettingsPath();

// Decimal text to integer as the classic conversion does (leading blanks and a sign,
// digits up to the first other character, 0 when none); saturates at the int range.
int TextToInt(const char* text);

// Reads KestrelLevel, ThreadNumber and UseBookUntilMove (defaults 10, 1, 10), clamped.
void ReadSettingsFile();

// Prints "id name", "id author", the three option lines with current values and "usiok".
void PrintIdentification();

// Handles a line beginning "setoption" in the waiting state. *hashBytes is the size of the
// table last allocated, 0 when none is remembered.
void HandleSetOption(const std::string& line, int64_t* hashBytes);

}  // namespace kestrel
