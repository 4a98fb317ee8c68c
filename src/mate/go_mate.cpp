// "go mate": limits, clock set-up, the solve and the answer text.
#include "mate/go_mate.h"

#include <cstdlib>

#include "mate/mate_table.h"
#include "mate/solver.h"

namespace kestrel {

int64_t ReadGoMateLimit(const std::string& line) {
  if (line.find("infinite") != std::string::npos) {
    return -1;
  }
  int64_t ms = 0;
  const size_t at = line.find(" mate ");
  if (at != std::string::npos) {
    const long long v = std::strtoll(line.c_str() + at + 6, nullptr, 10);
    ms = v < 0 ? 0 : (int64_t)v;
  }
  return ms;
}

std::string AnswerGoMate(const std::string& line, Position& root, int side, MateSolver& solver) {
  // 1. Limits: the line's time, no node limit.
  MateLimits limits;
  limits.timeMs = ReadGoMateLimit(line);
  // 2. Tables: the default share when nothing has been allocated yet.
  if (!solver.Table().Ready() && !solver.Table().Allocate(DefaultMateHashBytes))
    return "info string cannot allocate the mate table\ncheckmate nomate\n";
  // 3. Solve and answer (the time limit counts from the start of the solve); the solve
  //    gives up only at its limits, however large the tree.
  limits.giveUpLargeTrees = false;
  std::string text;
  // A proof that cannot be read out as a mating line is no answer either.
  std::string moves;
  if (solver.Solve(root, side, limits) && solver.AppendLine(root, side, moves)) {
    text = "checkmate " + moves + "\n";
  } else if (solver.Outcome() == MateProved) {
    text = "checkmate timeout\n";
  } else {
    text = solver.Outcome() == MateLimitHit ? "checkmate timeout\n" : "checkmate nomate\n";
  }
  return text;
}

}  // namespace kestrel
