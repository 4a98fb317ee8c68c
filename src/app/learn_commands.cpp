// "kestrel generate" and "kestrel train": the option tables of the training modes.
#include <memory>

#include "app/commands.h"
#include "learn/generate.h"
#include "learn/trainer.h"

namespace kestrel {

ProgramCommand MakeGenerateCommand() {
  struct Settings {
    GenerateSettings g;
    std::string startFile;
  };
  auto s = std::make_shared<Settings>();
  GenerateSettings& g = s->g;
  CliCommand t{"generate",
               "Writes training records from self-play games.",
               {
                   TextOption("--out", "FILE", "the shard file to write (required)", &g.outPath),
                   Uint64Option("--games", "N", "stop after N games", &g.games),
                   Uint64Option("--records", "N", "stop after N records", &g.records),
                   Uint64Option("--seconds", "N", "stop after the game running at N seconds", &g.seconds),
                   IntOption("--depth", "D", "plies searched per move, 1 to 30 (default 6)", 1, 30, &g.depth),
                   Uint64Option("--max-nodes", "N", "with --depth: a search past N nodes is cut short (default 200000)",
                                &g.maxNodes),
                   Uint64Option("--nodes", "N", "search each move as deep as N nodes allow, in place of --depth",
                                &g.nodes),
                   Uint64Option("--seed", "S", "seed of the random openings (default 1)", &g.seed),
                   {"--random-plies", "MIN MAX", "random legal moves opening each game, their number drawn from "
                    "[MIN, MAX] (default 8 16)", 2, 2,
                    [&g](const std::vector<std::string>& v) {
                      int64_t lo = 0, hi = 0;
                      std::string err = ReadInt("--random-plies", v[0], 0, 200, &lo);
                      if (err.empty()) err = ReadInt("--random-plies", v[1], lo, 200, &hi);
                      g.randomPliesMin = (int)lo;
                      g.randomPliesMax = (int)hi;
                      return err;
                    }},
                   IntOption("--ply-cap", "N", "a game this long is a draw (default 320)", 1, 100000, &g.plyCap),
                   IntOption("--resign", "SCORE", "a search score this far from 0 ends the game, 100 or more "
                             "(default 3000)", 100, 1000000, &g.resignScore),
                   IntOption("--hash", "MB", "hash table size of each thread (default 16)", 1, 1 << 20, &g.hashMb),
                   IntOption("--threads", "N", "games on N threads at once, each its own engine and shard: thread i "
                             "plays seed S+i into FILE with -<S+i> before its extension (default 1)", 1, 256,
                             &g.threads),
                   TextOption("--start-file", "FILE", "USI position texts, one a line, to start the games from",
                              &s->startFile),
                   FlagOption("--quiet", "no progress lines", &g.quiet),
               }};
  return {t,
          [s] {
            const GenerateSettings& g = s->g;
            if (g.outPath.empty()) return std::string("--out is required");
            if (g.games == 0 && g.records == 0 && g.seconds == 0)
              return std::string("one of --games, --records or --seconds is required");
            return std::string();
          },
          [s] { return RunGenerate(s->g, s->startFile); }};
}

ProgramCommand MakeTrainCommand() {
  auto c = std::make_shared<TrainCommand>();
  c->settings.loss.scale = 0;  // fitted to the data unless given
  TrainSettings& s = c->settings;
  CliCommand t{"train",
               "Learns the positional weights from training shards.",
               {
                   TextOption("--out-dir", "DIR", "where the weight files go (default .)", &c->outDir),
                   IntOption("--epochs", "N", "passes over the data (default 8)", 0, 100000, &s.epochs),
                   IntOption("--batch", "N", "positions per step (default 16384)", 1, 1 << 30, &s.batchSize),
                   RealOption("--lr", "X", "learning rate in points (default 0.5)", 1e-12, 1e9, &s.learningRate),
                   RealOption("--lr-decay", "X", "learning rate factor per epoch (default 0.8)", 0, 1e9, &s.lrDecay),
                   RealOption("--l2", "X", "L2 penalty per parameter a batch touches (default 1e-6)", 0, 1e9, &s.l2),
                   RealOption("--eps", "X", "Adam's epsilon in units of a batch's summed gradient (default 1e-2)",
                              1e-30, 1e9, &s.adamEpsilon),
                   RealOption("--lambda", "X", "weight of the teacher's score against the game result, 0 to 1 "
                              "(default 0.5)", 0, 1, &s.loss.lambda),
                   RealOption("--scale", "X", "score scale of the win probability (default: fitted)", 0, 1e9,
                              &s.loss.scale),
                   RealOption("--validation", "FRACTION", "share of each shard's games held out, 0 to below 1 "
                              "(default 0.05)", 0, 0.999999, &c->validationFraction),
                   IntOption("--threads", "N", "threads, 1 to 64 (default 2)", 1, 64, &s.threads),
                   Uint64Option("--seed", "S", "seed of the batch order (default 1)", &s.seed),
                   TextOption("--csv", "FILE", "write the learning curve", &s.csvPath),
                   TextOption("--init", "COMPACT_FILE", "start from these compact weights", &c->initPath),
                   FlagOption("--no-full", "write only the compact file", &c->writeFull, false),
                   FlagOption("--mirror", "learn each position and its left-right mirror image as one", &s.mirror),
                   FlagOption("--quiet", "no progress lines", &s.quiet),
                   {"", "SHARD...", "the training shards", 1, 1 << 20,
                    [c](const std::vector<std::string>& v) {
                      c->shards = v;
                      return std::string();
                    }},
               }};
  return {t, [] { return std::string(); }, [c] { return RunTrain(*c); }};
}

}  // namespace kestrel
