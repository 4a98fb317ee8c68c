// Training-position generation: self-play games with a fixed-depth (or fixed-node)
// search on one thread, written as training records to one shard file. The root list's
// mate-threat tests are off and there is no book or mate pre-search: every move costs a
// plain search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "learn/training_record.h"

namespace kestrel {

struct GenerateSettings {
  std::string outPath;
  uint64_t games = 0;           // stop after this many games (0: no limit)
  uint64_t records = 0;         // stop after this many records (0: no limit)
  uint64_t seconds = 0;         // stop after the game running at this many seconds (0: no limit)
  int depth = 6;                // plies per move, when nodes is 0
  uint64_t nodes = 0;           // when not 0: search each move as deep as this many nodes allow
  uint64_t maxNodes = 200000;   // with a fixed depth: a search past this is cut short
  uint64_t seed = 1;
  int randomPliesMin = 8;       // uniformly random legal moves at the start of a game,
  int randomPliesMax = 16;      // their number drawn from [min, max]
  int plyCap = 320;             // a game this long is a draw
  int resignScore = 3000;       // a search score this far from 0 ends the game
  int hashMb = 16;              // of each thread's engine
  int threads = 1;              // engines playing at once, each on its own thread and shard
  std::vector<std::string> startPositions;  // USI position texts; empty: the start position
  bool quiet = false;           // no progress lines
};

// What a generation run produced.
struct GenerateTotals {
  uint64_t games = 0, records = 0, moves = 0, skippedInCheck = 0, skippedCapture = 0, skippedMate = 0;
  uint64_t skippedRepetition = 0;  // the search's score was the draw value of a repetition
  uint64_t cutSearches = 0;  // fixed-depth searches cut at maxNodes
  uint64_t repetitionDraws = 0, plyCapDraws = 0;
  uint64_t perpetualChecks = 0, perpetualCheckRecords = 0;  // games lost by perpetual check, their records
  uint64_t blackWins = 0, whiteWins = 0, draws = 0;
  double seconds = 0;
};

struct Engine;

// Plays games with the engine (set up and data loaded by the caller) and appends their
// records to `shard`. Returns false when the shard cannot be written.
bool GeneratePositions(Engine& engine, const GenerateSettings& s, ShardWriter& shard, GenerateTotals* totals);

// The shard thread `index` of a run on several threads writes: the output path with the
// thread's seed (the run's seed + index) before its extension ("r4/s.bin", seed 403:
// "r4/s-403.bin"). One thread writes the output path itself.
std::string ThreadShardPath(const GenerateSettings& s, int index);

// "kestrel generate": reads the start positions of `startFile` (one USI position text a
// line; none when empty), loads the engine data of the current directory and runs, on
// s.threads threads, each with its own engine (the loaded weights are shared) and seed,
// each writing the shard a one-thread run with its seed writes; returns the exit status.
int RunGenerate(GenerateSettings s, const std::string& startFile);

}  // namespace kestrel
