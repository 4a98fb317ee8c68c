// "kestrel match": the option table of engine-against-engine matches.
#include <climits>
#include <cstdlib>
#include <memory>

#include "app/commands.h"
#include "match/match.h"

namespace kestrel {

ProgramCommand MakeMatchCommand() {
  struct Settings {
    MatchSettings m;
    int engines = 0;
  };
  auto s = std::make_shared<Settings>();
  MatchSettings& m = s->m;
  MatchClock& clock = m.clock;
  auto millis = [](const std::string& name, int64_t* out, const std::string& help) {
    return CliOption{name, "MS", help, 1, 1, [name, out](const std::vector<std::string>& v) {
                       return ReadInt(name, v[0], 0, (int64_t)1 << 40, out);
                     }};
  };
  CliCommand t{
      "match",
      "Plays two USI engines against each other the way a GUI does.",
      {
          {"--engine", "BINARY DIR [NAME]", "an engine, started in DIR (its data files are read there); give two",
           2, 3,
           [s](const std::vector<std::string>& v) {
             if (s->engines == 2) return std::string("--engine: only two engines play");
             EngineSpec& e = s->m.engines[s->engines++];
             // The engine starts in its own directory: a relative path is taken from here.
             char resolved[PATH_MAX];
             e.binary = realpath(v[0].c_str(), resolved) ? resolved : v[0];
             e.dir = v[1];
             e.name = v.size() > 2 ? v[2] : "engine" + std::to_string(s->engines);
             return std::string();
           }},
          {"--option", "NAME=VALUE", "a setoption line for the engine given last; may repeat", 1, 1,
           [s](const std::vector<std::string>& v) {
             const size_t eq = v[0].find('=');
             if (s->engines == 0) return std::string("--option comes after the --engine it is for");
             if (eq == std::string::npos) return "--option: '" + v[0] + "' is not NAME=VALUE";
             s->m.engines[s->engines - 1].options.push_back({v[0].substr(0, eq), v[0].substr(eq + 1)});
             return std::string();
           }},
          IntOption("--games", "N", "games to play (default 20)", 1, 1000000, &m.games),
          IntOption("--concurrency", "N", "games at once (default 2)", 1, 256, &m.concurrency),
          millis("--byoyomi", &clock.byoyomiMs, "byoyomi (default 1000)"),
          millis("--time", &clock.mainMs, "main time (default 0)"),
          millis("--inc", &clock.incrementMs, "Fischer increment per move (default 0)"),
          millis("--tolerance", &clock.toleranceMs, "time past the clock forgiven (default 0)"),
          IntOption("--random-plies", "N", "random legal moves of each opening (default 8)", 0, 200, &m.randomPlies),
          IntOption("--max-plies", "N", "a game this long is a draw (default 320)", 1, 100000, &m.maxPlies),
          Uint64Option("--seed", "S", "seed of the openings (default 1)", &m.seed),
          {"--sprt", "ELO0 ELO1", "stop once the sequential test accepts ELO0 or ELO1 (5 % errors)", 2, 2,
           [s](const std::vector<std::string>& v) {
             std::string err = ReadReal("--sprt", v[0], -2000, 2000, &s->m.elo0);
             if (err.empty()) err = ReadReal("--sprt", v[1], -2000, 2000, &s->m.elo1);
             if (err.empty() && s->m.elo1 <= s->m.elo0) err = "--sprt: ELO1 must be above ELO0";
             s->m.sprt = true;
             return err;
           }},
          TextOption("--log", "FILE", "write every game's moves", &m.logPath),
      }};
  return {t,
          [s] {
            if (s->engines != 2) return std::string("two --engine options are required");
            const MatchClock& c = s->m.clock;
            if (c.mainMs == 0 && c.byoyomiMs == 0 && c.incrementMs == 0)
              return std::string("the clock is empty: give --byoyomi, --time or --inc");
            return std::string();
          },
          [s] { return RunMatch(s->m); }};
}

}  // namespace kestrel
