// The engine's options: the three kept in "Kestrel.ini" (section "CustomSettings"), the
// two standard USI options and "MultiPV" kept in memory, with the identification block
// that shows them.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// Ranges announced by the option lines; values outside are clamped into them.
constexpr int LevelMin = 1, LevelMax = 10;
constexpr int ThreadsMin = 0, ThreadsMax = 32;
constexpr int BookMovesMin = 0, BookMovesMax = 50;
// MultiPV: more lines than the position has root moves are as many as it has.
constexpr int MultiPvMin = 1, MultiPvMax = 600;
// Smallest transposition table size in bytes; also the size of a new game's default table.
constexpr int64_t DefaultHashBytes = 32000000;

// "ThreadNumber": the threads of each search the USI loop starts.
extern int threadNumber;
// "MultiPV": the lines each search of the USI loop shows (kept in memory only).
extern int multiPvLines;

// "<start-up directory>/Kestrel.ini".
std::string SettingsPath();

// Decimal text to integer as the classic conversion does (leading blanks and a sign,
// digits up to the first other character, 0 when none); saturates at the int range.
int TextToInt(const char* text);

// Reads KestrelLevel, ThreadNumber and UseBookUntilMove (defaults 10, 1, 10), clamped.
void ReadSettingsFile();

// Prints "id name", "id author", the option lines with current values and "usiok".
void PrintIdentification();

// Handles a line beginning "setoption". *hashBytes is the size of the table last
// allocated, 0 when none is remembered. During a game (`inGame`) only "MultiPV" is taken,
// which analysis GUIs change between searches; every other option waits for the game's end.
void HandleSetOption(const std::string& line, int64_t* hashBytes, bool inGame);

}  // namespace kestrel
