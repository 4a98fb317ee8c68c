// The engine object: everything one player owns. Parts move into it one by one from the
// process-wide variables they were; until the last has moved, the process has one
// engine, reached through ProcessEngine() where no caller passes it yet.
#pragma once

#include "board/line_sink.h"
#include "book/book.h"
#include "engine/engine_state.h"
#include "mate/solver.h"
#include "search/history.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/search_modes.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace kestrel {

struct Engine {
  Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

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

  // The mate solver and its table; a solve ends early on this engine's stop request.
  MateSolver mate{&stopRequested};
  // The transposition table, sized together with the mate solver's.
  TranspositionTable table{mate.Table()};
  // The move-ordering histories of the search threads.
  Histories history;
  // The search threads, their blocks and split points.
  ThreadPool pool{*this};
  // The opening book, with its own random generator.
  Book book;
  // Where the engine's lines go ("info" lines of the shortcuts and the mate tests); the
  // USI loop sets it to standard output, and an empty sink drops them.
  LineSink out;
};

// The process's engine, made on first use.
Engine& ProcessEngine();

}  // namespace kestrel
