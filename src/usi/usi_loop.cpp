// The command loop: start-up in order, then the waiting state (identification, options,
// new game) and the game state (positions, searches and their "bestmove" lines).
#include "usi/usi_loop.h"

#include <cstdio>
#include <string>
#include <utility>

#include "board/attack_tables.h"
#include "board/material.h"
#include "book/book.h"
#include "engine/engine_setup.h"
#include "eval/eval_params.h"
#include "game/game_text.h"
#include "mate/go_mate.h"
#include "mate/solver.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "usi/go_command.h"
#include "usi/input_thread.h"
#include "usi/settings.h"

namespace kestrel {

namespace {

// The answer a search still owes: every "go" and "go ponder" gets exactly one "bestmove"
// line. A "go" whose search has ended owes it while a "stop" or "gameover" is waiting
// (that line gives or drops it) and under "infinite" (only "stop" gives it, however soon
// the search ended); a "go ponder" owes it until "ponderhit" or "stop". A "stop" or
// "ponderhit" that finds nothing owed prints nothing.
enum class Owed { Nothing, Go, Ponder };

bool Begins(const std::string& line, const char* word) {
  return line.compare(0, std::char_traits<char>::length(word), word) == 0;
}

// One USI session: the engine it drives, the table size last allocated and what the
// last search still owes.
class UsiSession {
 public:
  explicit UsiSession(Engine& engine) : engine_(engine), st_(engine.state) {}

  // Plays games for ever: waits for "usinewgame" (or a "position" or "go" that comes
  // without one), then plays until "gameover".
  [[noreturn]] void Run() {
    for (;;) {
      WaitForGame();
      PlayGame();
    }
  }

 private:
  // Plays a move in the game on the root position; the engine record is its cursor.
  void PlayOnRoot(Move m) {
    GameCursor game{st_.sideToMove, st_.moveCount, st_.lastMovePlayed};
    PlayGameMove(st_.root, game, m);
    st_.sideToMove = game.side;
    st_.moveCount = game.moveCount;
    st_.lastMovePlayed = game.lastMove;
  }

  // "bestmove <move>[ ponder <move>]", or "bestmove resign" when there is no move.
  void PrintBestMove() {
    if (st_.bestMove == 0) {
      std::printf("bestmove resign\n");
      return;
    }
    std::string line = "bestmove " + MoveToUsi(st_.bestMove);
    if (engine_.usiPonder && engine_.ponderMove != 0) line += " ponder " + MoveToUsi(engine_.ponderMove);
    line += '\n';
    std::fputs(line.c_str(), stdout);
  }

  bool ResignNeeded() {
    return st_.searchStatus == StatusLoss || st_.bestMove == 0;
  }

  // Runs the search under the limits of its "go" line; "quit" may end the process while it
  // runs, and "isready" is answered at once meanwhile.
  void RunThink(const GoLimits& limits) {
    BeginInterruptibleWork();
    SearchModes modes;
    modes.threads = engine_.threads;
    modes.multiPv = engine_.multiPv;
    modes.depthLimit = limits.depth;
    modes.nodeLimit = limits.nodes;
    modes.exactNodeLimit = limits.nodes != 0;
    modes.moveTimeMs = limits.moveTimeMs;
    Think(engine_, st_.sideToMove, modes);
    EndInterruptibleWork();
  }

  // The answer to a "stop" (a "go" told to move now, or a pondering search given up):
  // the best move found, not played, with no ponder move of the answer before; a win by
  // declaration is announced as one.
  void AnswerStop() {
    if (st_.resultCode == ResultDeclaration) {
      std::printf("bestmove win\n");
    } else {
      PrintBestMove();
    }
  }

  // Gives an answer still owed_, as a "stop" does: on the "stop" itself, and before a line
  // that starts over (a GUI that sends a new position or search without stopping the last).
  void SettleOwedAnswer() {
    if (owed_ == Owed::Nothing) return;
    owed_ = Owed::Nothing;
    AnswerStop();
  }

  // "usi": identification, then the book, the evaluation files and the thresholds.
  void HandleUsi() {
    PrintIdentification(engine_);
    // Without its data files the engine plays with every weight zero: say so, and where
    // it looked.
    if (!LoadDataFiles(engine_)) std::printf("info string %s\n", DescribeEvaluationData(engine_).c_str());
    const std::string& note = engine_.Weights().loadNote;
    if (!note.empty()) {
      std::printf("info string %s\n", note.c_str());
      std::fflush(stdout);
    }
  }

  // The default table when no size is remembered.
  void EnsureTable() {
    if (hashBytes_ != 0) return;
    if (engine_.table.Allocate(DefaultHashBytes)) {
      hashBytes_ = DefaultHashBytes;
    } else {
      std::printf("info string cannot allocate %lld bytes for the hash tables\n", (long long)DefaultHashBytes);
    }
  }

  // "isready" between games: the first time, the table is allocated and everything a new
  // game clears is cleared once. Touching that memory for the first time takes up to a
  // tenth of a second on a loaded machine; done here, it is not charged to the first move
  // of the game, whose "go" often follows "usinewgame" at once.
  void HandleIsReady() {
    if (hashBytes_ == 0) {
      EnsureTable();
      NewGameReset(engine_);
    }
    std::printf("readyok\n");
  }

  // "usinewgame": the table (when "isready" did not allocate it), a new-game reset, and
  // every flag and move of the last game cleared so that nothing carries over into this one.
  void HandleNewGame() {
    EnsureTable();
    NewGameReset(engine_);
    engine_.mateSequenceActive = false;
    owed_ = Owed::Nothing;
    // Flags left from lines already handled are dropped; a line still waiting in the
    // queue keeps its flag, so a "stop" sent right behind the first "go" still counts.
    ResetFlagsToQueue(engine_);
    st_.bestMove = 0;
    engine_.ponderMove = 0;
  }

  // "position ...": sets up the root; bad text is reported on one "info string" line.
  void HandlePosition(const std::string& line) {
    const std::string text = line.size() > 9 ? line.substr(9) : std::string();
    GameCursor game;
    std::string err;
    if (!SetPositionFromText(st_.root, text, game, &err)) std::printf("info string %s\n", err.c_str());
    st_.sideToMove = game.side;
    st_.moveCount = game.moveCount;
    st_.lastMovePlayed = game.lastMove;
    // After a position given as sfen the book stays off until the option is set again.
    if (IsSfenText(text)) engine_.useBookUntilMove = 0;
  }

  // "go": search, then play and announce the move (or win, or resign); under "infinite", or
  // with a "stop" or "gameover" already queued, the answer is left to that line.
  void HandleGo(const std::string& line) {
    SettleOwedAnswer();
    const GoLimits limits = ParseGoClock(line, st_);
    engine_.ponderMove = 0;
    st_.pondering = 0;
    RunThink(limits);
    if (limits.infinite || engine_.stopRequested || engine_.gameoverReceived) {
      owed_ = Owed::Go;
      return;
    }
    if (st_.resultCode == ResultDeclaration) {
      std::printf("bestmove win\n");
    } else if (ResignNeeded()) {
      std::printf("bestmove resign\n");
    } else {
      PlayOnRoot(st_.bestMove);
      if (st_.rootScore != ScoreMate) SelectPonderMove(engine_);
      PrintBestMove();
    }
  }

  // "go ponder": search on the opponent's time; the answer comes with "ponderhit" or "stop".
  // The ponder move of the answer before belongs to another position: a "stop" must not
  // repeat it.
  void HandleGoPonder(const std::string& line) {
    SettleOwedAnswer();
    const GoLimits limits = ParseGoClock(line, st_);
    engine_.ponderMove = 0;
    st_.pondering = 1;
    RunThink(limits);
    owed_ = Owed::Ponder;
  }

  // "go mate": the mate solver, answered with the mating line, "checkmate nomate", or
  // "checkmate timeout" when its time ran out or a "stop" ended it.
  void HandleGoMate(const std::string& line) {
    SettleOwedAnswer();
    EnsureTable();
    // The solve has the search's idle table as well; the table is cleared afterwards, and
    // a mate sequence stored by an earlier search is gone with the mate table's entries.
    engine_.table.LendToMateSolver();
    BeginInterruptibleWork();
    const std::string answer = AnswerGoMate(line, st_.root, st_.sideToMove, engine_.mate);
    EndInterruptibleWork();
    engine_.table.TakeBackFromMateSolver();
    engine_.mateSequenceActive = false;
    std::fputs(answer.c_str(), stdout);
    std::fflush(stdout);
  }

  // "ponderhit": play the pondered answer and announce it; nothing when no "go ponder" owes one.
  void HandlePonderhit() {
    if (owed_ != Owed::Ponder) {
      ResetFlagsToQueue(engine_);
      return;
    }
    owed_ = Owed::Nothing;
    if (st_.bestMove != 0) {
      PlayOnRoot(st_.bestMove);
      SelectPonderMove(engine_);
    }
    if (ResignNeeded()) {
      std::printf("bestmove resign\n");
    } else {
      PrintBestMove();
    }
    // Only this line's flag goes down: the GUI may already have sent the next "go ponder"
    // and its "ponderhit" in answer to the line above, and that flag must stay up.
    ResetFlagsToQueue(engine_);
  }

  // Waiting state: returns when "usinewgame" starts a game. A "position" or "go" sent
  // without one (a GUI's analysis or mate problem, a script) starts the game as
  // "usinewgame" would and is kept for the game state to handle: dropped, its "go" would
  // never be answered.
  void WaitForGame() {
    for (;;) {
      const std::string line = NextCommand();
      if (line == "usi") {
        HandleUsi();
      } else if (line == "quit") {
        EndProcess();
      } else if (line == "isready") {
        HandleIsReady();
      } else if (Begins(line, "setoption")) {
        HandleSetOption(engine_, line, &hashBytes_, false);
      } else if (line == "usinewgame") {
        HandleNewGame();
        return;
      } else if (Begins(line, "position") || Begins(line, "go")) {
        HandleNewGame();
        carried_ = line;
        return;
      }
    }
  }

  // Game state: returns on "gameover".
  void PlayGame() {
    for (;;) {
      const std::string line = carried_.empty() ? NextCommand() : std::move(carried_);
      carried_.clear();
      if (Begins(line, "position")) {
        SettleOwedAnswer();
        HandlePosition(line);
      } else if (Begins(line, "go") && !Begins(line, "go ponder") && !Begins(line, "go mate")) {
        HandleGo(line);
      } else if (Begins(line, "go ponder")) {
        HandleGoPonder(line);
      } else if (Begins(line, "go mate")) {
        HandleGoMate(line);
      } else if (Begins(line, "stop")) {
        SettleOwedAnswer();
        // Only this line's flag goes down; a "stop" or "gameover" still queued keeps its
        // own, so that a "go" queued before it ends at once.
        ResetFlagsToQueue(engine_);
      } else if (Begins(line, "ponderhit")) {
        HandlePonderhit();
      } else if (Begins(line, "quit")) {
        EndProcess();
      } else if (Begins(line, "gameover")) {
        // The game is over: an answer still owed_ is not wanted any more.
        owed_ = Owed::Nothing;
        return;
      } else if (line == "isready") {
        std::printf("readyok\n");
      } else if (Begins(line, "setoption")) {
        // Only the options that a GUI changes between the searches of one game (MultiPV).
        HandleSetOption(engine_, line, &hashBytes_, true);
      }
    }
  }

  Engine& engine_;
  SearchState& st_;
  // Size in bytes of the table last allocated; 0 when none is remembered.
  int64_t hashBytes_ = 0;
  Owed owed_ = Owed::Nothing;
  // A line of the waiting state that started the game, handled first by the game state.
  std::string carried_;
};

}  // namespace

int RunUsiSession() {
  // 1. Unbuffered output: every message leaves at once. (Input is read by its own thread.)
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // 2. The input thread starts first, so that lines sent early are queued; its flags go
  //    to the process's engine.
  Engine& engine = ProcessEngine();
  if (!StartInputThread(engine)) {
    std::fputs("スレッド作成失敗\n", stdout);
    return -1;
  }
  // 3. Tables and start position; the engine's lines go to standard output.
  InitEngine(engine);
  engine.out = [](const std::string& line) { std::fputs((line + "\n").c_str(), stdout); };
  // 4. One second of safety margin for the clock.
  engine.state.timeMarginMs = 1000;
  // 5. The three persistent options.
  ReadSettingsFile(engine);
  // 6. No table size remembered yet; wait for games.
  UsiSession(engine).Run();
}

}  // namespace kestrel
