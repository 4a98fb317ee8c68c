// The USI session: start-up, the waiting state and the game state of the command loop.
#pragma once

namespace kestrel {

// Runs the engine's USI session on standard input and output; returns only when the
// input thread cannot be started (-1). Every other end goes through EndProcess.
int RunUsiSession();

}  // namespace kestrel
