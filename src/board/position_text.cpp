// USI text of positions: board letters, squares, the sfen board and hands, both ways.
#include "board/position_text.h"

#include <cstring>

namespace kestrel {

int LetterToPieceCode(char c) {
  switch (c) {
    case 'P': return 0; case 'p': return 1; case 'L': return 2; case 'l': return 3;
    case 'N': return 4; case 'n': return 5; case 'S': return 6; case 's': return 7;
    case 'G': return 8; case 'g': return 9; case 'B': return 10; case 'b': return 11;
    case 'R': return 12; case 'r': return 13; case 'K': return 14; case 'k': return 15;
    default: return -1;
  }
}

int DropLetterToCode(char c, int side) {
  const int colour = side == Black ? 0 : 1;
  switch (c) {
    case 'P': return 0 + colour; case 'L': return 2 + colour; case 'N': return 4 + colour;
    case 'S': return 6 + colour; case 'G': return 8 + colour; case 'B': return 10 + colour;
    case 'R': return 12 + colour;
    default: return 0;
  }
}

// Reads a USI square ("7g"); NoSquare when the two characters are not one.
Square ParseUsiSquare(const char* t) {
  if (t[0] < '1' || t[0] > '9' || t[1] < 'a' || t[1] > 'i') return NoSquare;
  return 9 * (t[1] - 'a') + (9 - (t[0] - '0'));
}

bool IsTokenEnd(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

namespace {

// Most pieces of each unpromoted kind in the game (pawn .. king).
constexpr int KindLimit[8] = {18, 4, 4, 4, 4, 2, 2, 1};

}  // namespace

bool ParseSfenBoard(const char* sfen, Position& p, int* side, std::string* err) {
  int counts[9] = {};
  const char* t = sfen;
  // 1. Nine ranks of nine squares, separated by "/".
  for (int row = 0; row < 9; ++row) {
    int col = 0;
    while (col < 9) {
      char c = *t;
      if (c >= '1' && c <= '9') {
        int n = c - '0';
        if (col + n > 9) { *err = "rank " + std::string(1, (char)('a' + row)) + " has more than nine squares"; return false; }
        for (int i = 0; i < n; ++i) p.board[MakeSquare(row, col++)] = Empty;
        ++t;
        continue;
      }
      bool promoted = false;
      if (c == '+') {
        promoted = true;
        c = *++t;
      }
      int code = LetterToPieceCode(c);
      if (code < 0) {
        *err = std::string("unknown piece letter '") + (c ? std::string(1, c) : std::string("end of text")) + "' in board";
        return false;
      }
      if (promoted && !CanPromote(code)) { *err = std::string("piece '") + c + "' cannot be promoted"; return false; }
      // Kings are counted per side (one each); other kinds over both sides and hands.
      const int bucket = (code >> 1) == 7 ? 7 + (code & 1) : code >> 1;
      if (++counts[bucket] > KindLimit[code >> 1]) {
        *err = std::string("too many pieces of kind '") + DropLetterOf(code) + "'";
        return false;
      }
      if (promoted) code |= 16;
      p.board[MakeSquare(row, col++)] = (uint8_t)code;
      ++t;
    }
    if (row < 8) {
      if (*t != '/') { *err = "rank " + std::string(1, (char)('a' + row)) + " does not have nine squares"; return false; }
      ++t;
    }
  }
  if (*t != ' ') { *err = "board text does not end after nine ranks"; return false; }
  // 2. Side to move.
  ++t;
  if ((t[0] != 'b' && t[0] != 'w') || t[1] != ' ') { *err = "side to move must be 'b' or 'w'"; return false; }
  *side = t[0] == 'w' ? White : Black;
  t += 2;
  // 3. Hands: "-" or counts and letters.
  if (*t == '-' && IsTokenEnd(t[1])) return true;
  if (IsTokenEnd(*t)) { *err = "missing hand field"; return false; }
  while (!IsTokenEnd(*t)) {
    int n = 1;
    if (*t >= '0' && *t <= '9') {
      n = *t++ - '0';
      if (*t >= '0' && *t <= '9') n = 10 * n + (*t++ - '0');
      if (n == 0) { *err = "hand count of zero"; return false; }
    }
    int code = LetterToPieceCode(*t);
    if (code < 0 || (code >> 1) == 7) {
      *err = std::string("unknown piece letter '") + (*t ? std::string(1, *t) : std::string("end of text")) + "' in hand";
      return false;
    }
    counts[code >> 1] += n;
    if (counts[code >> 1] > KindLimit[code >> 1]) {
      *err = std::string("too many pieces of kind '") + DropLetterOf(code) + "'";
      return false;
    }
    for (int i = 0; i < n; ++i) HandAdd(p, code);
    ++t;
  }
  return true;
}

bool IsSfenText(const std::string& text) { return text.compare(0, 4, "sfen") == 0; }

std::string PositionToSfen(const Position& p, int side) {
  static const char letters[] = "PpLlNnSsGgBbRrKk";
  std::string s;
  for (int row = 0; row < 9; ++row) {
    int empty = 0;
    for (int col = 0; col < 9; ++col) {
      int c = p.board[MakeSquare(row, col)];
      if (c == Empty) { ++empty; continue; }
      if (empty) { s += (char)('0' + empty); empty = 0; }
      if (c & 16) s += '+';
      s += letters[c & 15];
    }
    if (empty) s += (char)('0' + empty);
    if (row < 8) s += '/';
  }
  s += side == Black ? " b " : " w ";
  std::string hands;
  static const int order[7] = {6, 5, 4, 3, 2, 1, 0};  // R B G S N L P
  for (int si = 0; si < 2; ++si)
    for (int kind : order) {
      int n = HandKindCountOf(p.hand[si], kind);
      if (n == 0) continue;
      if (n > 1) hands += std::to_string(n);
      hands += letters[2 * kind + si];
    }
  s += hands.empty() ? "-" : hands;
  s += " 1";
  return s;
}

}  // namespace kestrel
