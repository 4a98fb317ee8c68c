// Parsing and formatting of USI position and move text.
#include "usi/notation.h"

#include <cstring>

#include "board/makemove.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"

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

namespace {

// Reads a USI square ("7g"); NoSquare when the two characters are not one.
Square ParseSquare(const char* t) {
  if (t[0] < '1' || t[0] > '9' || t[1] < 'a' || t[1] > 'i') return NoSquare;
  return 9 * (t[1] - 'a') + (9 - (t[0] - '0'));
}

bool IsSpaceOrEnd(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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
  if (*t == '-' && IsSpaceOrEnd(t[1])) return true;
  if (IsSpaceOrEnd(*t)) { *err = "missing hand field"; return false; }
  while (!IsSpaceOrEnd(*t)) {
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

int ParseUsiMove(const Position& p, const char* text, int side, Move* out, std::string* err) {
  auto bad = [&](const char* why) {
    std::string tok;
    for (const char* t = text; !IsSpaceOrEnd(*t) && tok.size() < 16; ++t) tok += *t;
    *err = "bad move '" + tok + "': " + why;
    return 0;
  };
  const int colour = side == Black ? 0 : 1;
  Move m;
  int consumed;
  if (text[0] != '\0' && text[1] == '*') {
    const int piece = DropLetterToCode(text[0], side);
    if (text[0] == 'K' || (piece == 0 && text[0] != 'P')) return bad("unknown drop letter");
    const Square to = ParseSquare(text + 2);
    if (to == NoSquare) return bad("square out of range");
    if (!IsSpaceOrEnd(text[4])) return bad("unexpected text after the move");
    if (HandCount(p, piece) == 0) return bad("piece not in hand");
    if (p.board[to] != Empty) return bad("drop on an occupied square");
    m = EncodeMove(FlagNone, Empty, piece, to, NoSquare);
    consumed = 4;
  } else {
    if (std::strlen(text) < 4) return bad("too short");
    const Square from = ParseSquare(text), to = ParseSquare(text + 2);
    if (from == NoSquare || to == NoSquare) return bad("square out of range");
    const int piece = p.board[from];
    if (piece == Empty || (piece & 1) != colour) return bad("no piece of the side to move on the from-square");
    const int captured = p.board[to];
    if (captured != Empty && (captured & 1) == colour) return bad("destination holds an own piece");
    int flag;
    if (text[4] == '+') {
      flag = FlagPromote;
      consumed = 5;
    } else {
      const bool zone = side == Black ? (from < 27 || to < 27) : (from >= 54 || to >= 54);
      flag = CanPromote(piece) && zone ? FlagNoPromote : FlagNone;
      consumed = 4;
    }
    if (!IsSpaceOrEnd(text[consumed])) return bad("unexpected text after the move");
    m = EncodeMove(flag, captured, piece, to, from);
  }
  // The move must be one the generators know (geometry, promotion and drop rules).
  Move list[MaxMoves];
  Move* end = GenerateAllMoves(p, list, side);
  end = GenerateDrops(end, p, side);
  bool found = false;
  for (Move* q = list; q != end && !found; ++q) found = *q == m;
  if (!found) {
    if (MoveFlag(m) == FlagPromote) return bad("promotion not possible");
    return bad("not a possible move in this position");
  }
  *out = m;
  // A move's text is followed by a space, so one more character is consumed.
  return consumed + 1;
}

int PlayUsiMove(Position& p, const char* text, GameCursor& game, std::string* err) {
  Move m;
  int n = ParseUsiMove(p, text, game.side, &m, err);
  if (n == 0) return 0;
  PlayGameMove(p, game, m);
  return n;
}

bool ApplyMovesText(Position& p, const char* text, GameCursor& game, std::string* err) {
  const char* t = text;
  for (;;) {
    while (*t == ' ' || *t == '\t' || *t == '\r' || *t == '\n') ++t;
    if (*t == '\0') return true;
    int n = PlayUsiMove(p, t, game, err);
    if (n == 0) return false;
    t += n - 1;
  }
}

bool IsSfenText(const std::string& text) { return text.compare(0, 4, "sfen") == 0; }

bool SetPositionFromText(Position& p, const std::string& text, GameCursor& game, std::string* err) {
  SetStartPosition(p);
  game.side = Black;
  game.moveCount = 0;
  size_t movesAt = text.find(" moves");
  if (text.compare(0, 8, "startpos") == 0 && (text.size() == 8 || text[8] == ' ')) {
    // nothing more to set up
  } else if (text.compare(0, 5, "sfen ") == 0) {
    std::string sfen = text.substr(5, movesAt == std::string::npos ? std::string::npos : movesAt - 5);
    ClearBoard(p);
    int side = Black;
    if (!ParseSfenBoard(sfen.c_str(), p, &side, err)) {
      SetStartPosition(p);
      *err = "position: " + *err;
      return false;
    }
    FinishSetup(p, side);
    game.side = side;
  } else {
    *err = "position: expected 'startpos' or 'sfen'";
    return false;
  }
  if (movesAt == std::string::npos) return true;
  if (!ApplyMovesText(p, text.c_str() + movesAt + 6, game, err)) {
    *err = "position: " + *err;
    return false;
  }
  return true;
}

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
