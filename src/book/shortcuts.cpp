// Root shortcuts: declaration win, stored mate play-out, book move.
#include "book/shortcuts.h"

#include <cstdio>

#include "board/state.h"
#include "book/book.h"
#include "book/book_choice.h"
#include "book/declaration.h"

namespace kestrel {

namespace {

// USI text of a move ("7g7f", "2b3a+", "P*5e") into buf (at least 6 bytes).
char* MoveText(char* buf, Move m) {
  char* t = buf;
  auto square = [&t](int s) {
    *t++ = (char)('9' - s % 9);
    *t++ = (char)('a' + s / 9);
  };
  if (MoveIsDrop(m)) {
    *t++ = DropLetterOf(MovePiece(m));
    *t++ = '*';
  } else {
    square(MoveFrom(m));
  }
  square(MoveTo(m));
  if (MovePromotes(m)) *t++ = '+';
  *t = '\0';
  return buf;
}

}  // namespace

RootShortcutResult RootShortcuts(Position& pos) {
  const int side = State->sideToMove;
  // 1. Time is charged to the side to move at the root.
  State->rootSide = side;
  // 2. A win by declaration needs no move.
  if (CanDeclareWin(side, pos)) {
    State->resultCode = ResultDeclaration;
    return {ShortcutDeclaration, 0, ShortcutScoreDeclaration};
  }
  // 3. A result already known leaves nothing to try.
  if (State->resultCode != 0) return {ShortcutNone, 0, ShortcutScoreNone};
  // 4. Book move, while the game is young enough.
  State->bestMove = 0;
  mateSequenceActive = false;
  if (State->moveCount < useBookUntilMove) {
    CollectBookCandidates(pos, side);
    if (bookCandidateCount > 0) State->bestMove = ChooseBookMove();
  }
  if (State->bestMove != 0) {
    char text[8];
    std::printf("info time 0 depth 0 nodes 0 score cp 0 pv %s\n", MoveText(text, State->bestMove));
    std::fflush(stdout);
    State->rootScore = ShortcutScoreBook;
    shortcutScore = ShortcutScoreBook;
    return {ShortcutBook, State->bestMove, ShortcutScoreBook};
  }
  return {ShortcutNone, 0, ShortcutScoreNone};
}

}  // namespace kestrel
