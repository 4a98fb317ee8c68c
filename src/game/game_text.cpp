// USI text of moves and whole positions: moves are checked against the position's
// possible moves before they are played.
#include "game/game_text.h"

#include <cstring>

#include "movegen/movegen.h"

namespace kestrel {

int ParseUsiMove(const Position& p, const char* text, int side, Move* out, std::string* err) {
  auto bad = [&](const char* why) {
    std::string tok;
    for (const char* t = text; !IsTokenEnd(*t) && tok.size() < 16; ++t) tok += *t;
    *err = "bad move '" + tok + "': " + why;
    return 0;
  };
  const int colour = side == Black ? 0 : 1;
  Move m;
  int consumed;
  if (text[0] != '\0' && text[1] == '*') {
    const int piece = DropLetterToCode(text[0], side);
    if (text[0] == 'K' || (piece == 0 && text[0] != 'P')) return bad("unknown drop letter");
    const Square to = ParseUsiSquare(text + 2);
    if (to == NoSquare) return bad("square out of range");
    if (!IsTokenEnd(text[4])) return bad("unexpected text after the move");
    if (HandCount(p, piece) == 0) return bad("piece not in hand");
    if (p.board[to] != Empty) return bad("drop on an occupied square");
    m = EncodeMove(FlagNone, Empty, piece, to, NoSquare);
    consumed = 4;
  } else {
    if (std::strlen(text) < 4) return bad("too short");
    const Square from = ParseUsiSquare(text), to = ParseUsiSquare(text + 2);
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
    if (!IsTokenEnd(text[consumed])) return bad("unexpected text after the move");
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

}  // namespace kestrel
