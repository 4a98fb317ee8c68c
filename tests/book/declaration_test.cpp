// Declaration wins: the point and piece thresholds for each side, the camp, and
// a king in check.
#include <gtest/gtest.h>

#include "book/declaration.h"
#include "test_util.h"

namespace kestrel {
namespace {

struct DeclarationCase {
  const char* what;
  const char* sfen;
  int side;
  bool declares;
};

// Black: king on 1c (square 26) with a dragon, a horse, two golds, two silvers and
// four tokins in the camp (10 pieces, 18 points). White mirrors it with its king
// on 9g (square 54).
const DeclarationCase Cases[] = {
    {"black 28 points", "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RB 1", Black, true},
    {"black 27 points", "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b B4P 1", Black, false},
    {"black 9 pieces", "sfen +R+BGGSS3/4+P+P+P2/8K/9/9/9/9/9/4k4 b RBP 1", Black, false},
    {"black in check", "sfen +R+BGGSS2l/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RB 1", Black, false},
    {"black king outside", "sfen +R+BGGSS3/4+P+P+P+P1/9/8K/9/9/9/9/4k4 b RB 1", Black, false},
    {"black, white to move", "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RB 1", White, false},
    {"white 27 points", "sfen 4K4/9/9/9/9/9/k8/1+p+p+p+p4/3ssgg+b+r w b4p 1", White, true},
    {"white 26 points", "sfen 4K4/9/9/9/9/9/k8/1+p+p+p+p4/3ssgg+b+r w b3p 1", White, false},
    {"white king on 1i", "sfen 4K4/9/9/9/9/9/9/1+p+p+p+p4/2ssgg+b+rk w b4p 1", White, true},
    {"white king outside", "sfen 4K4/9/9/9/9/k8/9/1+p+p+p+p4/3ssgg+b+r w b4p 1", White, false},
    // Rook and bishop in hand count 5 each, hand pieces other than those 1 each.
    {"rook in hand", "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RGSNLP 1", Black, true},
    {"no rook in hand", "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b GSNL5P 1", Black, false},
};

TEST(Declaration, ThresholdsCampAndCheck) {
  for (const DeclarationCase& c : Cases) {
    auto p = test::MakePosition(c.sfen);
    EXPECT_EQ(CanDeclareWin(c.side, *p), c.declares) << c.what;
  }
}

}  // namespace
}  // namespace kestrel
