// Perft counts against published numbers and hand-checked positions.
#include "test_util.h"

namespace kestrel {
namespace {

uint64_t PerftOf(const std::string& text, int depth) {
  int side = Black;
  auto p = test::MakePosition(text, &side);
  return Perft(*p, depth, side);
}

// Published counts: the start position, the position with the most legal moves, and a
// middle game rich in drops and promotions; lone kings worked out by hand.
TEST(Perft, KnownCounts) {
  const std::string middle = "sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1";
  const struct { std::string text; int depth; uint64_t nodes; } cases[] = {
      {"startpos", 1, 30}, {"startpos", 2, 900}, {"startpos", 3, 25470}, {"startpos", 4, 719731},
      {"sfen R8/2K1S1SSk/4B4/9/9/9/9/9/1L1L1L3 b RBGSNLP3g3n17p 1", 1, 593},
      {middle, 1, 207}, {middle, 2, 28684}, {middle, 3, 4809015},
      {"sfen 8k/9/9/9/9/9/9/9/K8 b - 1", 1, 3},
  };
  for (const auto& c : cases) {
    if (c.nodes > 1000000 && std::getenv("KESTREL_SANITIZED")) continue;
    EXPECT_EQ(PerftOf(c.text, c.depth), c.nodes) << c.text << " depth " << c.depth;
  }
}

}  // namespace
}  // namespace kestrel
