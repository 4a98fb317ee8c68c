// Helpers shared by the unit tests: table set-up, positions from text, random play.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/makemove.h"
#include "board/material.h"
#include "board/position.h"
#include "search/engine.h"
#include "game/game_text.h"
#include "movegen/attacks.h"
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

// Copies the repository's data/Evaluation/evaluation.txt into dir/Evaluation.
inline void CopyEvaluationData(const std::string& dir) {
  const std::string cmd = "mkdir -p '" + dir + "/Evaluation' && cp '" KESTREL_DATA_DIR "/Evaluation/evaluation.txt' '" +
                          dir + "/Evaluation/'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not copy evaluation data\n");
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
// Round piece values several suites use: promoted minors worth alike, bishop 700.
constexpr int32_t TestPieceValues[ValueKindCount] = {100, 300, 350, 500, 550, 700, 800, 15000,
                                                     520, 520, 520, 550, 950, 1100};
constexpr const char* ShippedValuesText =
    "VP = 100; VL = 300; VN = 350; VS = 500; VG = 550; VB = 750; VR = 900; VK = 15000;"
    "VT = 550; Vl = 550; Vn = 550; Vs = 550; VH = 1000; VD = 1200;";

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
  EXPECT_TRUE(SetPositionFromText(*p, text, game, &err)) << text << ": " << err;
  if (side) *side = game.side;
  return p;
}

inline std::vector<Move> LegalMoves(Position& p, int side) {
  Move buf[MaxMoves];
  return std::vector<Move>(buf, GenerateLegalMoves(p, buf, side));
}

// The move of USI text for `side`; fails the test when the text does not read.
inline Move ParseMove(const Position& p, const std::string& text, int side) {
  Move m = 0;
  std::string err;
  EXPECT_GT(ParseUsiMove(p, text.c_str(), side, &m, &err), 0) << text << " " << err;
  return m;
}

// The texts of moves, an unpromoted choice marked with "=" ("6h6b=" beside "6h6b+").
inline std::vector<std::string> MoveTexts(const Move* b, const Move* e) {
  std::vector<std::string> v;
  for (; b != e; ++b) v.push_back(MoveToUsi(*b) + (MoveFlag(*b) == FlagNoPromote ? "=" : ""));
  return v;
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

// Snapshots of `games` random games from `start`, one every `every` plies up to `plies`
// (a game ends early at a mate), each with its side to move.
using SidedPositions = std::vector<std::pair<std::unique_ptr<Position>, int>>;
inline SidedPositions RandomPositions(const std::string& start, int games, int plies, int every, uint32_t seed) {
  SidedPositions out;
  std::mt19937 rng(seed);
  for (int g = 0; g < games; ++g) {
    int side;
    auto p = MakePosition(start, &side);
    for (int ply = every; ply <= plies && !LegalMoves(*p, side).empty(); ply += every) {
      side = RandomPlay(*p, side, every, rng);
      out.emplace_back(std::make_unique<Position>(*p), side);
    }
  }
  return out;
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

// For the evasion, checking-move and mate tests: problems set up from bare sfen text,
// random legal play taken back again and the make/unmake wrapper.
inline std::unique_ptr<Position> NewPosition() {
  auto p = std::make_unique<Position>();  // zeroed
  SetStartPosition(*p);
  return p;
}

// Sets p from "<board> <b|w> <hands> <n>" (kings may be missing); returns the side to
// move, 0 on bad text.
inline int SetSfen(Position& p, const std::string& sfen) {
  GameCursor game;
  std::string err;
  return SetPositionFromText(p, "sfen " + sfen, game, &err) ? game.side : 0;
}

// The legal move printed as `text` (NoMove when there is none).
inline Move FindLegal(Position& p, int side, const std::string& text) {
  for (Move m : LegalMoves(p, side))
    if (MoveToUsi(m) == text) return m;
  return NoMove;
}

// Plays `games` random legal games of up to `plies` plies from p (seeded), calling
// visit(p, side, legalMoves) at every position reached, and takes every game back
// again; returns the sum of what visit returned.
template <class Visit>
int RandomWalk(Position& p, int side, int games, int plies, uint32_t seed, Visit visit) {
  std::mt19937 rng(seed);
  int total = 0;
  for (int g = 0; g < games; ++g) {
    std::vector<std::pair<Move, MoveUndo>> played;
    int s = side;
    for (int ply = 0; ply < plies; ++ply, s = -s) {
      std::vector<Move> moves = LegalMoves(p, s);
      if (moves.empty()) break;
      total += visit(p, s, moves);
      const Move m = moves[rng() % moves.size()];
      played.emplace_back(m, PlayMove(p, m));
    }
    for (auto it = played.rbegin(); it != played.rend(); ++it) TakeBackMove(p, it->first, it->second);
  }
  return total;
}

inline bool GivesCheck(Position& p, Move m, int side) {
  const MoveUndo k = PlayMove(p, m);
  const bool check = InCheck(p, -side);
  TakeBackMove(p, m, k);
  return check;
}

// Sfen texts with many pieces in hand, varied kings and sliders: drop-heavy checks.
inline const std::vector<std::string>& HandHeavySfens() {
  static const std::vector<std::string> s = {
      "4k4/9/9/9/9/9/9/9/4K4 b RBGSNLPrbgsnlp 1",
      "8k/9/9/9/9/9/9/9/K8 b 2R2B4G4S4N4L9P 1",
      "lnsgk2nl/6g2/p1pppp1pp/9/1r7/2P6/PP1PPPPPP/1SG4R1/LN2KGSNL w BSPbp 1",
      "3gk4/9/4P4/9/9/9/9/9/4K4 b 2G2S2N2L3Pr 1",
      "l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1",
      "ln1g5/1r2S1k2/p2pppn2/2ps2p2/1p7/2P6/PPSPPPPLP/2G2K1pr/LN4G1b w BGSLPnp 1",
      "4k4/4l4/9/9/4B4/9/9/4R4/4K4 w RBGSNL2Pgsnl 1",
      "k8/9/9/9/4K4/9/9/9/9 w 2R2B4G4S4N4L18P 1",
  };
  return s;
}

}  // namespace kestrel::test
