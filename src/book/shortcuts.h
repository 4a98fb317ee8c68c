// The shortcuts tried at the root before every search: a win by declaration, the
// next move of a mate proved on an earlier turn, and a move from the opening book.
#pragma once

#include "board/line_sink.h"
#include "board/position.h"
#include "book/book.h"
#include "mate/solver.h"

namespace kestrel {

enum ShortcutKind : int {
  ShortcutNone = 0,         // nothing applies: the search must run
  ShortcutDeclaration = 1,  // the side to move wins by declaration ("bestmove win")
  ShortcutMate = 2,         // the next move of a stored mate sequence
  ShortcutBook = 3          // a book move
};

// Score answered for each shortcut.
constexpr int ShortcutScoreDeclaration = ScoreRuleWin;
constexpr int ShortcutScoreMate = ScoreMate;
constexpr int ShortcutScoreBook = 0;
constexpr int ShortcutScoreNone = -ScoreNone;

struct RootShortcutResult {
  ShortcutKind kind;
  Move move;  // the move to play (0 for a declaration or when nothing applies)
  int score;  // 28888, 29999, 0 or -31111 as above
};

// Tries the three shortcuts for the root position with State->sideToMove to move.
// It records the root side; a declaration sets resultCode 6; a mate or book move
// is left in bestMove with rootScore and shortcutScore set and its "info" line
// given to `out`; the stored mate is read out of `mate`'s table, the book move chosen
// by `book`. A mate sequence that yields no move is given up (mateSequenceActive is
// cleared). The book is consulted while moveCount < useBookUntilMove.
// With resultCode already set on entry nothing is tried and ShortcutNone comes
// back at once. Otherwise, when nothing applies, the caller sets up the move's
// time budget and clears the ponder-move flags before it searches.
RootShortcutResult RootShortcuts(Position& pos, MateSolver& mate, Book& book, const LineSink& out);

}  // namespace kestrel
