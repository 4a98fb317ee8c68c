// The answer to a USI "go mate" line: a solve for the side to move under the line's
// time limit, answered "checkmate <moves>", "checkmate nomate" or "checkmate timeout".
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"
#include "mate/solver.h"

namespace kestrel {

// Table size used when no table has been allocated yet (the default USI_Hash).
constexpr uint64_t DefaultMateHashBytes = 32000000;

// Returns the time limit of a "go mate" line (milliseconds; -1 for "infinite"; a
// missing, unreadable or negative number gives 0).
int64_t ReadGoMateLimit(const std::string& line);

// Answers a whole "go mate" line for `side` to move on `root` with the engine's solver: allocates the default
// mate table when none exists, solves without a node limit within the line's time
// (counted from the start of the solve), and returns the answer line with its newline.
// A solve ended by its time limit or by "stop" before a proof answers "checkmate timeout".
std::string AnswerGoMate(const std::string& line, Position& root, int side, MateSolver& solver);

}  // namespace kestrel
