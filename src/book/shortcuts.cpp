// Root shortcuts: declaration win, stored mate play-out, book move.
#include "book/shortcuts.h"

#include <string>

#include "board/move_text.h"
#include "book/book.h"
#include "book/book_choice.h"
#include "book/declaration.h"
#include "mate/solver.h"

namespace kestrel {

// Tries the declaration, the stored mate and the book, in that order.
RootShortcutResult RootShortcuts(Position& pos, int side, bool bookAllowed, bool& mateSequenceActive, MateSolver& mate,
                                 Book& book, const LineSink& out) {
  // 1. A win by declaration needs no move.
  if (CanDeclareWin(side, pos)) {
    // Shown as a win at once, as a mate is: the game ends with the declaration.
    Report(out, "info time 0 depth 0 nodes 0 score mate 1 string declaration");
    return {ShortcutDeclaration, 0, ShortcutScoreDeclaration};
  }
  // 2. The next move of a mate proved on an earlier turn: the first move of the line
  // read out of the table from here, reported with the rest of it; only a line that
  // mates is played. The entry of the position the move leads to is then forgotten,
  // so that a later turn that comes back here does not loop on it.
  std::string line;
  Move first = NoMove;
  if (mateSequenceActive && mate.HasRun() && mate.AppendLine(pos, side, line, &first)) {
    // The depth goes before the line: USI readers take everything after "pv" as moves.
    // The score is the mate's length in plies, what is left of the line; no node of a
    // search was spent and no table entry written for this move.
    const std::string length = std::to_string(mate.LineLength());
    Report(out, "info time 0 depth " + length + " seldepth " + length + " nodes 0 nps 0 hashfull 0 score mate " + length +
                    " pv " + line);
    mate.ForgetChild(side, pos, first);
    return {ShortcutMate, first, ShortcutScoreMate};
  }
  // 3. The stored sequence is used up; a book move, while the game is young enough.
  mateSequenceActive = false;
  if (bookAllowed) {
    book.CollectCandidates(pos, side);
    const Move move = book.Candidates().empty() ? 0 : book.Choose();
    if (move != 0) {
      Report(out, "info time 0 depth 0 seldepth 0 nodes 0 nps 0 hashfull 0 score cp 0 pv " + MoveToUsi(move));
      return {ShortcutBook, move, ShortcutScoreBook};
    }
  }
  return {ShortcutNone, 0, ShortcutScoreNone};
}

}  // namespace kestrel
