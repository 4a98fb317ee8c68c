// Where the engine's parts report what they have to say ("info" lines, "checkmate"
// answers, notes): a function the caller gives, taking one line without its newline. The
// search, the mate solver and the book never write to standard output themselves; the
// USI loop's sink does, a test's sink keeps the lines, and an empty sink drops them.
#pragma once

#include <functional>
#include <string>

namespace kestrel {

using LineSink = std::function<void(const std::string&)>;

// Gives the line to the sink when there is one.
inline void Report(const LineSink& sink, const std::string& line) {
  if (sink) sink(line);
}

}  // namespace kestrel
