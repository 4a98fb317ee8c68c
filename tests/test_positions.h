// Test helpers shared by the evasion, checking-move and mate tests: a lenient sfen
// reader (problems may hold more pieces than a game), random legal play and the
// make/unmake wrapper.
#pragma once

#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/hashkeys.h"
#include "board/makemove.h"
#include "board/position.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "test_util.h"

namespace kestrel::testing {

using test::InitTables;
using test::LegalMoves;

inline std::unique_ptr<Position> NewPosition() {
  auto p = std::make_unique<Position>();
  std::memset(static_cast<void*>(p.get()), 0, sizeof(Position));
  SetStartPosition(*p);
  return p;
}

// Reads "<board> <b|w> <hands>" into p; returns the side to move, 0 on bad text or on
// more pieces of a kind than a game has (hand counts beyond them have no hash keys).
inline int SetSfen(Position& p, const std::string& sfen) {
  ClearBoard(p);
  int counts[8] = {};
  size_t i = 0;
  int row = 0, col = 0;
  for (; i < sfen.size() && sfen[i] != ' '; ++i) {
    char c = sfen[i];
    if (c == '/') { ++row; col = 0; continue; }
    if (std::isdigit((unsigned char)c)) { col += c - '0'; continue; }
    bool promoted = false;
    if (c == '+') { promoted = true; c = sfen[++i]; }
    const char* letters = "PpLlNnSsGgBbRrKk";
    const char* at = std::strchr(letters, c);
    if (!at || row > 8 || col > 8) return 0;
    int code = (int)(at - letters);
    ++counts[code >> 1];
    if (promoted) code |= 16;
    p.board[MakeSquare(row, col)] = (uint8_t)code;
    ++col;
  }
  if (i + 2 >= sfen.size()) return 0;
  const int side = sfen[i + 1] == 'w' ? White : Black;
  for (i += 3; i < sfen.size() && sfen[i] != ' '; ++i) {
    int count = 1;
    if (std::isdigit((unsigned char)sfen[i])) {
      count = sfen[i] - '0';
      if (i + 1 < sfen.size() && std::isdigit((unsigned char)sfen[i + 1])) count = count * 10 + sfen[++i] - '0';
      ++i;
    }
    const char* letters = "PpLlNnSsGgBbRr";
    const char* at = std::strchr(letters, sfen[i]);
    if (!at) continue;
    counts[(at - letters) >> 1] += count;
    for (int n = 0; n < count; ++n) HandAdd(p, (int)(at - letters));
  }
  static constexpr int Limit[7] = {18, 4, 4, 4, 4, 2, 2};
  for (int kind = 0; kind < 7; ++kind)
    if (counts[kind] > Limit[kind]) return 0;
  p.historyCount = 0;
  FinishSetup(p, side);
  return side;
}

// Finds the legal move with the given USI text (flag 3 preferred over 0 is irrelevant:
// only one legal move prints as a given text unless it is an unpromoted choice).
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
    std::vector<Move> played;
    std::vector<MoveUndo> keys;
    int s = side;
    for (int ply = 0; ply < plies; ++ply) {
      std::vector<Move> moves = LegalMoves(p, s);
      if (moves.empty()) break;
      total += visit(p, s, moves);
      const Move m = moves[rng() % moves.size()];
      keys.push_back(PlayMove(p, m));
      played.push_back(m);
      s = -s;
    }
    while (!played.empty()) {
      TakeBackMove(p, played.back(), keys.back());
      played.pop_back();
      keys.pop_back();
    }
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

}  // namespace kestrel::testing
