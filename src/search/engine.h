// The engine object: everything one player owns. Parts move into it one by one from the
// process-wide variables they were; until the last has moved, the process has one
// engine, reached through ProcessEngine() where no caller passes it yet.
#pragma once

#include "board/line_sink.h"
#include "book/book.h"
#include "engine/engine_state.h"
#include "mate/solver.h"

namespace kestrel {

struct Engine {
  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The mate solver and its table; a solve ends early on this engine's stop request.
  MateSolver mate{&stopRequested};
  // The opening book, with its own random generator.
  Book book;
  // Where the engine's lines go ("info" lines of the shortcuts and the mate tests); the
  // USI loop sets it to standard output, and an empty sink drops them.
  LineSink out;
};

// The process's engine, made on first use.
Engine& ProcessEngine();

}  // namespace kestrel
