// The engine's options: the three kept in "Kestrel.ini" (section "CustomSettings"), the
// two standard USI options, "MultiPV" and "ByoyomiMargin" kept in memory, with the
// identification block that shows them. The spin options are one table: name, range,
// default, the engine setting it sets, and whether it is kept in the file and taken
// during a game.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

struct Engine;

// Ranges announced by the option lines; values outside are clamped into them.
constexpr int LevelMin = 1, LevelMax = 10;
constexpr int ThreadsMin = 0, ThreadsMax = 32;
constexpr int BookMovesMin = 0, BookMovesMax = 50;
// MultiPV: more lines than the position has root moves are as many as it has.
constexpr int MultiPvMin = 1, MultiPvMax = 600;
// ByoyomiMargin, in milliseconds.
constexpr int ByoyomiMarginMin = 0, ByoyomiMarginMax = 10000;
// Smallest transposition table size in bytes; also the size of a new game's default table.
constexpr int64_t DefaultHashBytes = 32000000;

// One spin option: its USI name, range and default, the engine setting it changes, and
// whether the settings file keeps it (and seeds it at start-up) and a game may change it.
struct SpinOption {
  const char* name;
  int min, max, fallback;
  int Engine::*setting;
  bool persistent;
  bool inGame;
};
// The spin options in the order the identification block shows them.
extern const SpinOption SpinOptions[5];

// "<engine directory>/Kestrel.ini".
std::string SettingsPath(const Engine& engine);

// Decimal text to integer as the classic conversion does (leading blanks and a sign,
// digits up to the first other character, 0 when none); saturates at the int range.
int TextToInt(const char* text);

// Reads KestrelLevel, ThreadNumber and UseBookUntilMove (defaults 10, 1, 10), clamped,
// into the engine's settings.
void ReadSettingsFile(Engine& engine);

// Prints "id name", "id author", the option lines with the engine's current values and
// "usiok".
void PrintIdentification(const Engine& engine);

// Handles a line beginning "setoption" for the engine. *hashBytes is the size of the
// table last allocated, 0 when none is remembered. During a game (`inGame`) only
// "MultiPV" is taken, which analysis GUIs change between searches; every other option
// waits for the game's end.
void HandleSetOption(Engine& engine, const std::string& line, int64_t* hashBytes, bool inGame);

}  // namespace kestrel
