// Command-line modes beside the USI loop: perft (and later bench).
#pragma once

namespace kestrel {

// Runs "perft [divide] <depth> <position text>"; returns the process exit status.
int RunPerftCommand(int argc, char** argv);

}  // namespace kestrel
