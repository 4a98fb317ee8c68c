// USI text of a move ("7g7f", "8h2b+", "P*5e"), used by every subsystem that prints moves.
#pragma once

#include <string>

#include "board/types.h"

namespace kestrel {

// Writes the USI text of a move (at most 5 characters plus the terminator); returns buf.
char* FormatUsiMove(char* buf, Move m);
std::string MoveToUsi(Move m);

}  // namespace kestrel
