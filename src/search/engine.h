// The engine object: everything one player owns. The game and the running search's
// record, the settings, the interrupt flags, the clock and its plan, the table, the
// histories, the search threads, the mate solver and the book all live in one Engine;
// the search threads reach it through their blocks, and everything else is given it
// by its caller. Several engines may live in one process: they share only the tables
// built once at start-up (attacks, hash keys, the loaded evaluation weights).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "board/line_sink.h"
#include "book/book.h"
#include "eval/eval_weights.h"
#include "eval/movegain.h"
#include "mate/solver.h"
#include "search/history.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/search_modes.h"
#include "search/search_state.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace kestrel {

// One line of a MultiPV search: its root move, score and moves, as its last finished
// pass left them.
struct RootLine {
  Move move;
  int score;
  PvRow pv;
};

struct Engine {
  Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine();

  // Interrupts from the front end, read by the search threads: "stop", "ponderhit" (and
  // when it came, NowMs()) and "gameover".
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> ponderhitReceived{false};
  std::atomic<bool> gameoverReceived{false};
  std::atomic<int64_t> ponderhitAtMs{0};

  // Settings: the playing level (1 to 10; below 10 a depth limit), the book's move
  // limit, the threads and MultiPV lines of a USI search, whether the GUI lets the
  // engine ponder, and the directory its data files ("Evaluation/", "Book/") are read
  // from.
  int level = 10;
  int useBookUntilMove = 10;
  int threads = DefaultThreadNumber;
  int multiPv = 1;
  bool usiPonder = false;
  // Milliseconds kept back from a byoyomi (and a "go movetime") for answering.
  int byoyomiMargin = DefaultByoyomiMarginMs;
  std::string directory = ".";
  // Whether the last load of the data files found the piece values.
  bool valuesLoaded = false;

  // The positional weights the evaluation reads: read-only, and shared with the other
  // engines of the process that were given the same. No tables (material only) until
  // the data files load or a caller gives some.
  const EvalWeights& Weights() const { return *weights_; }
  std::shared_ptr<const EvalWeights> SharedWeights() const { return weightsOwner_; }
  // Plays with `weights` from the next search on; nullptr for none.
  void UseWeights(std::shared_ptr<const EvalWeights> weights);

  // Between moves: the move to ponder on after the last answer, and whether a mate
  // proved on an earlier turn is being played out.
  Move ponderMove = 0;
  bool mateSequenceActive = false;

 private:
  struct FreeRecord {
    void operator()(SearchState* s) const;
  };
  std::unique_ptr<SearchState, FreeRecord> record_;
  std::shared_ptr<const EvalWeights> weightsOwner_;
  const EvalWeights* weights_ = &NoEvalWeights();

 public:
  // The record of the game, the running search and the clock.
  SearchState& state;
  // The modes of the search under way, copied from the caller's record when it starts;
  // read by the node loop, the root and the parallel search while it runs.
  SearchModes modes;
  // The main thread's countdown to its next time check, on a cache line of its own: the
  // main thread writes it at every node, while the values around it are read by every
  // search thread.
  struct alignas(64) Countdown {
    int value = TimeCheckInterval;
  } countdown;
  // The time plan of the move under way.
  TimeManager time{state, modes};
  // The moves the mate tests of a fixed-depth search may still spend.
  uint32_t fixedDepthMateNodesLeft = 0;
  // The root's own mate test of the search under way: the moves the next one between
  // iterations may spend (0: none is run) and the milliseconds the tests took so far.
  uint32_t rootMateNextNodes = 0;
  int64_t rootMateSpentMs = 0;
  // The lines of a MultiPV search's iteration.
  std::vector<RootLine> rootLines;

  // The mate solver and its table; a solve ends early on this engine's stop request.
  MateSolver mate{&stopRequested};
  // The transposition table, sized together with the mate solver's.
  TranspositionTable table{mate.Table()};
  // The futility margins the quiescence search learns.
  FutilityMargins margins;
  // The move-ordering histories of the search threads.
  Histories history;
  // The search threads, their blocks and split points.
  ThreadPool pool{*this};
  // The opening book, with its own random generator.
  Book book;
  // When set, every evaluation through accumulators is compared with the from-scratch
  // one (for tests and checks of the search's bookkeeping): the counts of comparisons
  // and of differences found.
  bool verifyIncrementalEval = false;
  std::atomic<uint64_t> evalChecks{0}, evalMismatches{0};
  // Where the engine's lines go ("info" lines of the search, the shortcuts and the mate
  // tests); the USI loop sets it to standard output, and an empty sink drops them.
  LineSink out;
};

// The process's engine, made on first use: the one the USI session and the
// command-line modes play with.
Engine& ProcessEngine();

}  // namespace kestrel
