// Matches between two USI engines, played the way a GUI plays them: real clocks
// (byoyomi or Fischer increments), openings of random legal moves played once with
// each colour, every answer checked against the engine's own move rules, results as an
// Elo difference with its interval, and an optional sequential test that ends the match
// once the difference is clear.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

struct EngineSpec {
  std::string name;
  std::string binary;
  std::string dir;  // working directory: the engine's data files are read below it
  std::vector<std::pair<std::string, std::string>> options;  // sent as "setoption" lines
};

struct MatchClock {
  int64_t mainMs = 0;
  int64_t byoyomiMs = 1000;
  int64_t incrementMs = 0;
  int64_t toleranceMs = 0;  // time past the clock forgiven before a game is lost on time
};

// Think times and clocks of one engine.
struct ThinkTimes {
  int moves = 0;
  int64_t totalMs = 0, longestMs = 0;
  int64_t lowestClockMs = INT64_MAX;  // main time left at the moment of an answer
  void Add(int64_t used, int64_t clockLeft);
  void Add(const ThinkTimes& o);
};

struct GameOutcome {
  int winner = 0;  // engine index 0 or 1 of the winner, -1 for a draw
  int plies = 0;
  std::string reason;  // "mate", "resign", "declaration", "repetition", "perpetual check", ...
  bool illegal = false, timeLoss = false, crash = false;  // the loser's fault, when set
  std::string moves;  // the whole game in USI move text, opening included
  ThinkTimes think[2];  // by engine index
};

// Plays one game from the opening `openingMoves` (USI moves after the start position):
// engine `blackIndex` has Black. maxPlies ends it as a draw.
GameOutcome PlayMatchGame(const EngineSpec engines[2], int blackIndex, const MatchClock& clock,
                          const std::string& openingMoves, int maxPlies);

// What a match plays: two engines, the clock, the number of games and how many run at
// once, the openings' random plies and seed, the draw by length, the optional sequential
// test (5 % errors both ways) and the game log.
struct MatchSettings {
  EngineSpec engines[2];
  MatchClock clock;
  int games = 20;
  int concurrency = 2;
  int randomPlies = 8;
  int maxPlies = 320;
  uint64_t seed = 1;
  bool sprt = false;
  double elo0 = 0, elo1 = 10, alpha = 0.05, beta = 0.05;
  std::string logPath;
};

// Plays the match, printing each game and the result; returns the process exit status.
int RunMatch(MatchSettings s);

}  // namespace kestrel
