// Formatting of moves as USI text.
#include "board/move_text.h"

#include "board/bitboard.h"

namespace kestrel {

namespace {

void SquareText(char* out, Square s) {
  out[0] = (char)('0' + 9 - ColOfSquare(s));
  out[1] = (char)('a' + RowOfSquare(s));
}

}  // namespace

char* FormatUsiMove(char* buf, Move m) {
  char* t = buf;
  if (MoveFrom(m) == NoSquare) {
    *t++ = DropLetterOf(MovePiece(m));
    *t++ = '*';
  } else {
    SquareText(t, MoveFrom(m));
    t += 2;
  }
  SquareText(t, MoveTo(m));
  t += 2;
  if (MoveFlag(m) == FlagPromote) *t++ = '+';
  *t = '\0';
  return buf;
}

std::string MoveToUsi(Move m) {
  char buf[8];
  return FormatUsiMove(buf, m);
}

}  // namespace kestrel
