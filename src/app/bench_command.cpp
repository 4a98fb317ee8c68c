// "kestrel bench": a fixed set of positions searched to a fixed depth from cleared tables.
// The node total is a signature of the search: the same binary always gives it
// (with one thread).
#include "app/commands.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "board/material.h"
#include "engine/engine_setup.h"
#include "eval/eval_params.h"
#include "game/game_text.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"

namespace kestrel {

namespace {

// Opening, middle game, endgame, in check, and positions full of drops.
const char* const BenchPositions[] = {
    "startpos",
    "startpos moves 7g7f 3c3d 2g2f 4c4d 2f2e 2b3c 3i4h 8b4b 5i6h 5a6b",
    "startpos moves 2g2f 8c8d 2f2e 8d8e 6i7h 4a3b 2e2d 2c2d 2h2d 8e8f 8g8f 8b8f 2d3d",
    "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1",
    "sfen ln1g3nl/1r1s1kg2/p1pppp1pp/6p2/1p7/2P1P4/PPSP1PPPP/2G2S1R1/LN2KG1NL b Bb 1",
    "sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1",
    "sfen ln3k1nl/1r3bg2/p2ppgspp/2ps1p3/1p5P1/2PPP1P2/PPSG1P2P/1B3S1R1/LN2KG1NL b - 1",
    "startpos moves 7g7f 8c8d 7i6h 3c3d 6h7g 7a6b 5g5f 5c5d 3i4h 3a4b",
    "sfen 8l/1l+R2P3/p2pBG1pp/kps1p4/Nn1P2G2/P1P1P2PP/1PS6/1KSG3+r1/LN2+p3L w Sbgn2p 1",
    "sfen 4k4/9/4P4/9/9/9/9/9/4K4 b 2GRr 1",
    "sfen ln1g4l/1r3kg2/p2pppn2/2ps2pp1/1p7/2P1PPP2/PPSP2N2/2G1KS3/LN5+rL b Bbgsp 1",
    "sfen 3gk4/9/4G4/9/9/9/9/9/4K4 w - 1",
    "sfen ln1g2gnl/1r2k2b1/p1sppp1pp/2p3p2/1p5P1/2P6/PPSPPPP1P/1BG4R1/LN2KGSNL b - 1",
    "sfen 1n5nl/2+R2kg2/p3ppsp1/2p3p1p/9/2P1P1P1P/P2P1P3/2G1G1S2/1N1K3NL w RB2L2Pbg2s2p 1",
    "sfen 9/9/4k4/9/4P4/9/9/9/4K4 b RB2G2S2N2L8Prb2g2s2n2l8p 1",
    "sfen lnsgkgsnl/9/ppppppppp/9/9/9/PPPPPPPPP/9/LNSGKGSNL b RBrb 1",
};

// The piece values of the shipped evaluation file, used when the directory bench runs
// in holds no evaluation data, so that the signature stays meaningful there too.
const char BenchValues[] =
    "VP = 100; VL = 300; VN = 350; VS = 500; VG = 550; VB = 750; VR = 900;"
    "VT = 550; Vl = 550; Vn = 550; Vs = 550; VH = 1000; VD = 1200; VK = 15000;";

// Searches every position to `depth` on `threads` threads and prints the counts.
int RunBench(int threads, int depth) {
  // The same data files as a USI session started here.
  Engine& engine = ProcessEngine();
  InitEngine(engine);
  std::string data;
  if (LoadDataFiles(engine)) {
    data = DescribeEvaluationData(engine);
  } else {
    ParseEvaluationText(BenchValues, sizeof BenchValues - 1);
    DeriveMaterialTables();
    ComputeSearchThresholds();
    data = "built-in piece values (no Evaluation/evaluation.txt here), no positional weights";
  }
  std::printf("Evaluation: %s\n", data.c_str());
  engine.table.Allocate(32000000);
  SearchModes modes;
  modes.silent = true;
  modes.threads = threads;
  uint64_t total = 0;
  const auto start = std::chrono::steady_clock::now();
  int index = 0;
  for (const char* text : BenchPositions) {
    ++index;
    GameCursor game;
    std::string err;
    if (!SetPositionFromText(engine.state.root, text, game, &err)) {
      std::fprintf(stderr, "bench: position %d: %s\n", index, err.c_str());
      return 1;
    }
    engine.state.sideToMove = game.side;
    engine.state.moveCount = game.moveCount;
    NewGameReset(engine);
    const auto t0 = std::chrono::steady_clock::now();
    const uint64_t nodes = SearchFixedDepth(engine, game.side, depth, modes);
    const int64_t t = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    std::printf("position %2d: %" PRIu64 " nodes, %" PRId64 " ms, best %s\n", index, nodes, t,
                MoveToUsi(engine.state.bestMove).c_str());
    std::fflush(stdout);
    total += nodes;
  }
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  engine.pool.StopHelpers();
  std::printf("Total nodes: %" PRIu64 "\n", total);
  std::printf("Total time (ms): %" PRId64 "\n", ms);
  std::printf("Nodes/second: %" PRIu64 "\n", ms > 0 ? total * 1000 / (uint64_t)ms : 0);
  return 0;
}

}  // namespace

ProgramCommand MakeBenchCommand() {
  struct Settings {
    int threads = 1, depth = 8;
  };
  auto s = std::make_shared<Settings>();
  CliOption words{"", "[THREADS] [DEPTH]",
                  "search threads (1 to 32, default 1) and plies (1 to 40, default 8); with one thread the "
                  "node total is the search's signature",
                  0, 2, [s](const std::vector<std::string>& v) {
                    int64_t x = 0;
                    std::string err;
                    if (v.size() >= 1 && (err = ReadInt("THREADS", v[0], 1, 32, &x)).empty()) s->threads = (int)x;
                    if (err.empty() && v.size() >= 2 && (err = ReadInt("DEPTH", v[1], 1, 40, &x)).empty())
                      s->depth = (int)x;
                    return err;
                  }};
  return {{"bench", "Searches sixteen fixed positions to a fixed depth and prints the nodes.",
           {words}},
          [] { return std::string(); },
          [s] { return RunBench(s->threads, s->depth); }};
}

}  // namespace kestrel
