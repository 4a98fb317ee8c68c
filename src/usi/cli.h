// Command-line modes beside the USI loop: perft (and later bench).
#pragma once

namespace kestrel {

// Runs "perft [divide] <depth> <position text>"; returns the process exit status.
int RunPerftCommand(int argc, char** argv);

}  // namespace kestrel

namespace kestrel {

// Runs "bench [threads] [depth]": fixed positions searched to a fixed depth with
// cleared tables; prints each position's nodes, then the totals and the speed.
int RunBenchCommand(int argc, char** argv);

}  // namespace kestrel
