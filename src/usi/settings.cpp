// Option handling: the settings file, "setoption" lines and the identification block.
#include "usi/settings.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "search/engine.h"
#include "search/search_modes.h"
#include "search/tt.h"
#include "usi/ini.h"

namespace kestrel {

const SpinOption SpinOptions[5] = {
    {"KestrelLevel", LevelMin, LevelMax, 10, &Engine::level, true, false},
    {"ThreadNumber", ThreadsMin, ThreadsMax, DefaultThreadNumber, &Engine::threads, true, false},
    {"UseBookUntilMove", BookMovesMin, BookMovesMax, 10, &Engine::useBookUntilMove, true, false},
    {"MultiPV", MultiPvMin, MultiPvMax, 1, &Engine::multiPv, false, true},
    {"ByoyomiMargin", ByoyomiMarginMin, ByoyomiMarginMax, DefaultByoyomiMarginMs, &Engine::byoyomiMargin, false,
     false},
};

namespace {

const char* const SettingsSection = "CustomSettings";

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Writes one key of the settings file; a failure is reported as an "info string" line.
void WriteSetting(const Engine& engine, const char* key, const std::string& value) {
  const std::string path = SettingsPath(engine);
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

std::string SettingsPath(const Engine& engine) { return engine.directory + "/Kestrel.ini"; }

int TextToInt(const char* text) {
  const long long v = std::strtoll(text, nullptr, 10);
  return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : (int)v;
}

void ReadSettingsFile(Engine& engine) {
  const std::string path = SettingsPath(engine);
  for (const SpinOption& o : SpinOptions) {
    if (!o.persistent) continue;
    const std::string text = ReadIniString(path, SettingsSection, o.name, std::to_string(o.fallback));
    engine.*o.setting = Clamp(TextToInt(text.c_str()), o.min, o.max);
  }
}

void PrintIdentification(const Engine& engine) {
  std::printf("id name KestrelAlpha\n");
  std::printf("id author Vellacott\n");
  for (const SpinOption& o : SpinOptions)
    std::printf("option name %s type spin default %d min %d max %d\n", o.name, engine.*o.setting, o.min, o.max);
  std::printf("usiok\n");
}

void HandleSetOption(Engine& engine, const std::string& line, int64_t* hashBytes, bool inGame) {
  std::string value;
  for (const SpinOption& o : SpinOptions) {
    if (!StartsWith(line, (std::string("setoption name ") + o.name + " value ").c_str(), &value)) continue;
    if (inGame && !o.inGame) return;  // for between games
    if (o.persistent) WriteSetting(engine, o.name, value);
    engine.*o.setting = Clamp(TextToInt(value.c_str()), o.min, o.max);
    return;
  }
  if (inGame) {
    // The other options are for between games.
  } else if (line == "setoption name USI_Ponder value true") {
    engine.usiPonder = true;
  } else if (line == "setoption name USI_Ponder value false") {
    engine.usiPonder = false;
  } else if (StartsWith(line, "setoption name USI_Hash value ", &value)) {
    // Megabytes of a million bytes, in 64 bits; a size below the minimum only makes
    // the next new game allocate the default again.
    const int64_t bytes = (int64_t)TextToInt(value.c_str()) * 1000000;
    if (bytes < DefaultHashBytes) {
      *hashBytes = 0;
    } else if (engine.table.Allocate((uint64_t)bytes)) {
      *hashBytes = bytes;
    } else {
      std::printf("info string cannot allocate %" PRId64 " bytes for the hash tables; keeping the previous tables\n",
                  bytes);
    }
  }
}

}  // namespace kestrel
