// Helpers shared by the unit tests: table set-up, positions from text, random play.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/makemove.h"
#include "board/material.h"
#include "board/position.h"
#include "engine/engine_state.h"
#include "game/game_text.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"

namespace kestrel::test {

// Builds the geometry tables and draws the hash keys once.
inline void InitTables() {
  InitBoardTables();
  InitHashKeys();
}

// A new empty directory under the system temporary directory ("" on failure).
inline std::string MakeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/kestrel_test_XXXXXX";
  return mkdtemp(templ.data()) ? templ : std::string();
}

// Removes a directory tree made by MakeTempDir.
inline void RemoveTree(const std::string& dir) {
  if (dir.size() < 8) return;
  const std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

// A whole file as bytes ("" when missing); writes bytes to a file.
inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
inline void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The piece values of the shipped evaluation file, pawn .. dragon in value-kind order.
constexpr int32_t ShippedPieceValues[ValueKindCount] = {100, 300, 350, 500, 550, 750, 900, 15000,
                                                        550, 550, 550, 550, 1000, 1200};

// A scratch start-up directory holding an empty Evaluation folder, so that the loaders
// read the files a test writes: Enter makes it the start-up directory, Leave restores the
// previous one and removes it.
struct ScratchStartupDirectory {
  std::string dir, saved;
  bool Enter(const char* prefix) {
    std::string templ = std::string("/tmp/") + prefix + "_XXXXXX";
    if (!mkdtemp(templ.data())) return false;
    dir = templ;
    if (mkdir((dir + "/Evaluation").c_str(), 0755) != 0) return false;
    saved = startupDirectory;
    startupDirectory = dir;
    return true;
  }
  void Leave() {
    startupDirectory = saved;
    const std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  }
};

// Sets the fourteen piece values (pawn .. dragon, in value-kind order) and derives the
// material tables from them.
inline void SetPieceValues(const int32_t (&values)[ValueKindCount]) {
  for (int k = 0; k < ValueKindCount; ++k) PieceValues[k] = values[k];
  DeriveMaterialTables();
}

// A heap-allocated position set up from USI text; fails the test on bad text.
inline std::unique_ptr<Position> MakePosition(const std::string& text, int* side = nullptr) {
  InitTables();
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  bool ok = SetPositionFromText(*p, text, game, &err);
  EXPECT_TRUE(ok) << text << ": " << err;
  if (side) *side = game.side;
  return p;
}

inline std::vector<Move> LegalMoves(Position& p, int side) {
  Move buf[MaxMoves];
  Move* end = GenerateLegalMoves(p, buf, side);
  return std::vector<Move>(buf, end);
}

// Plays up to `plies` random legal moves (stops when there is none); returns the side to move.
inline int RandomPlay(Position& p, int side, int plies, std::mt19937& rng) {
  for (int i = 0; i < plies; ++i) {
    std::vector<Move> moves = LegalMoves(p, side);
    if (moves.empty()) break;
    // Prefer captures a little so that hands fill up and drops appear.
    Move m = moves[rng() % moves.size()];
    for (int tries = 0; tries < 2 && !MoveIsCapture(m); ++tries) m = moves[rng() % moves.size()];
    MakeMove(p, m);
    side = -side;
  }
  return side;
}

// Positions rich in checks, pins, promotions and drops, used by several suites.
inline const std::vector<std::string>& SamplePositions() {
  static const std::vector<std::string> v = {
      "startpos",
      "sfen R8/2K1S1SSk/4B4/9/9/9/9/9/1L1L1L3 b RBGSNLP3g3n17p 1",
      "sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1",
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1",
      "sfen 8k/9/9/9/9/9/9/9/K8 b RBGSNLPrbgsnlp 1",
      "sfen 4k4/9/4P4/9/9/9/9/9/4K4 b GP 1",
      "sfen ln1g3nl/1r1s1kg2/p1pppp1pp/6p2/1p7/2P1P4/PPSP1PPPP/2G2S1R1/LN2KG1NL b Bb 1",
      "sfen 4k4/4r4/9/9/4B4/9/9/4R4/4K4 w - 1",
      "sfen k8/1G7/9/9/9/9/9/9/8K w - 1",
      "sfen 3sks3/9/4P4/9/9/9/9/9/4K4 b P 1",
  };
  return v;
}

}  // namespace kestrel::test
