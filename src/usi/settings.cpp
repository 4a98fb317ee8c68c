// Option handling: the settings file, "setoption" lines and the identification block.
#include "usi/settings.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "engine/engine_state.h"
#include "search/engine.h"
#include "search/search_modes.h"
#include "search/tt.h"
#include "usi/ini.h"

namespace kestrel {

namespace {

const char* const SettingsSection = "CustomSettings";

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Writes one key of the settings file; a failure is reported as an "info string" line.
void WriteSetting(const char* key, const std::string& value) {
  const std::string path = SettingsPath();
  if (!WriteIniString(path, SettingsSection, key, value))
    std::printf("info string cannot write %s to %s\n", key, path.c_str());
}

bool StartsWith(const std::string& line, const char* prefix, std::string* rest) {
  const size_t n = std::char_traits<char>::length(prefix);
  if (line.compare(0, n, prefix) != 0) return false;
  *rest = line.substr(n);
  return true;
}

}  // namespace

int threadNumber = DefaultThreadNumber;
int multiPvLines = 1;

std::string SettingsPath() { return startupDirectory + "/Kestrel.ini"; }

int TextToInt(const char* text) {
  const long long v = std::strtoll(text, nullptr, 10);
  return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : (int)v;
}

void ReadSettingsFile() {
  const std::string path = SettingsPath();
  engineLevel = Clamp(TextToInt(ReadIniString(path, SettingsSection, "KestrelLevel", "10").c_str()),
                      LevelMin, LevelMax);
  const std::string threads = std::to_string(DefaultThreadNumber);
  threadNumber =
      Clamp(TextToInt(ReadIniString(path, SettingsSection, "ThreadNumber", threads).c_str()), ThreadsMin, ThreadsMax);
  useBookUntilMove = Clamp(TextToInt(ReadIniString(path, SettingsSection, "UseBookUntilMove", "10").c_str()),
                           BookMovesMin, BookMovesMax);
}

void PrintIdentification() {
  std::printf("id name KestrelAlpha\n");
  std::printf("id author Vellacott\n");
  std::printf("option name KestrelLevel type spin default %d min 1 max %d\n", engineLevel, LevelMax);
  std::printf("option name ThreadNumber type spin default %d min 0 max 32\n", threadNumber);
  std::printf("option name UseBookUntilMove type spin default %d min 0 max 50\n", useBookUntilMove);
  std::printf("option name MultiPV type spin default %d min %d max %d\n", multiPvLines, MultiPvMin, MultiPvMax);
  std::printf("usiok\n");
}

void HandleSetOption(const std::string& line, int64_t* hashBytes, bool inGame) {
  std::string value;
  if (StartsWith(line, "setoption name MultiPV value ", &value)) {
    multiPvLines = Clamp(TextToInt(value.c_str()), MultiPvMin, MultiPvMax);
  } else if (inGame) {
    // The other options are for between games.
  } else if (line == "setoption name USI_Ponder value true") {
    usiPonder = true;
  } else if (line == "setoption name USI_Ponder value false") {
    usiPonder = false;
  } else if (StartsWith(line, "setoption name USI_Hash value ", &value)) {
    // Megabytes of a million bytes, in 64 bits; a size below the minimum only makes
    // the next new game allocate the default again.
    const int64_t bytes = (int64_t)TextToInt(value.c_str()) * 1000000;
    if (bytes < DefaultHashBytes) {
      *hashBytes = 0;
    } else if (ProcessEngine().table.Allocate((uint64_t)bytes)) {
      *hashBytes = bytes;
    } else {
      std::printf("info string cannot allocate %" PRId64 " bytes for the hash tables; keeping the previous tables\n",
                  bytes);
    }
  } else if (StartsWith(line, "setoption name UseBookUntilMove value ", &value)) {
    WriteSetting("UseBookUntilMove", value);
    useBookUntilMove = Clamp(TextToInt(value.c_str()), BookMovesMin, BookMovesMax);
  } else if (StartsWith(line, "setoption name ThreadNumber value ", &value)) {
    WriteSetting("ThreadNumber", value);
    threadNumber = Clamp(TextToInt(value.c_str()), ThreadsMin, ThreadsMax);
  } else if (StartsWith(line, "setoption name KestrelLevel value ", &value)) {
    WriteSetting("KestrelLevel", value);
    engineLevel = Clamp(TextToInt(value.c_str()), LevelMin, LevelMax);
  }
}

}  // namespace kestrel
