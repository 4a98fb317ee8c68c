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

// Tries the three shortcuts for the root position with `side` to move: a declaration
// (its "info" line given to `out`); the next move of the mate proved on an earlier turn
// while `mateSequenceActive`, read out of `mate`'s table; a book move when `bookAllowed`,
// chosen by `book`. A mate or book move comes back with its score and its "info" line
// given to `out`. A mate sequence that yields no move is given up (mateSequenceActive is
// cleared). When nothing applies the caller searches.
RootShortcutResult RootShortcuts(Position& pos, int side, bool bookAllowed, bool& mateSequenceActive, MateSolver& mate,
                                 Book& book, const LineSink& out);

}  // namespace kestrel
