// What one search may do, chosen by whoever asks for it: the USI loop, the bench, the
// training-position generator and the tests each build their own record and hand it to
// the driver, so no caller switches a process-wide flag and puts it back afterwards.
#pragma once

#include <cstdint>

namespace kestrel {

// Search threads when nothing else is asked for (also "ThreadNumber" of a new settings file).
constexpr int DefaultThreadNumber = 1;

struct SearchModes {
  // Print nothing: no "info" lines, no "currmove", no mate-test output (bench, generator).
  bool silent = false;
  // Let the mate solver test the root: a quick mate before the search, and mate replies to
  // each root move when the opponent threatens one. The generator turns it off so that a
  // fixed-depth search costs the same at every move and its ordering is the quiescence's.
  bool rootMateTests = true;
  // When not 0, the main thread ends the search as on time once its node count reaches
  // this (checked with the clock, every few thousand nodes): the generator's per-move budget.
  uint64_t nodeLimit = 0;
  // Threads searching, the main thread included (below 1 counts as 1).
  int threads = DefaultThreadNumber;
  // The best this many root moves are searched each to its own score and line, each
  // line shown with its rank ("multipv"); 1 searches for the best move alone.
  int multiPv = 1;
  // When not 0, no iteration deeper than this many plies ("go depth").
  int depthLimit = 0;
  // When not 0, the search stops as on time once this many milliseconds less the
  // answering margin are used ("go movetime"), whatever the clock would allow.
  int64_t moveTimeMs = 0;
  // The node limit is checked at the node that reaches it ("go nodes"), not only at the
  // clock's checks every few thousand nodes (the generator's coarser cut stays as it was,
  // so that its games replay).
  bool exactNodeLimit = false;
  // A fixed-depth search (the bench, the generator): no clock at all, and the mate tests
  // before and at the root bounded by moves instead of time, so that the search is the
  // same on every machine and under any load.
  bool fixedDepth = false;
};

}  // namespace kestrel
