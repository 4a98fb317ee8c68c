// Root shortcuts through the engine record: book moves with their "info" line,
// the move-count limit of the book, declaration wins and a result already set.
#include <gtest/gtest.h>

#include "book/shortcuts.h"
#include "book_test_util.h"

namespace kestrel::booktest {
namespace {

class Shortcuts : public BookTest {
 protected:
  void SetUp() override {
    BookTest::SetUp();
    State->resultCode = 0;
    State->bestMove = 0;
    State->rootScore = -1;
    State->rootSide = 0;
    shortcutScore = -31111;
    useBookUntilMove = 10;
    mateSequenceActive = false;
  }
  // Sets the game position and runs the shortcuts, capturing what they print.
  RootShortcutResult Run(const std::string& text, int moveCount, std::string* out) {
    int side;
    root_ = test::MakePosition(text, &side);
    State->sideToMove = side;
    State->moveCount = moveCount;
    ::testing::internal::CaptureStdout();
    RootShortcutResult r = RootShortcuts(*root_);
    *out = ::testing::internal::GetCapturedStdout();
    return r;
  }
  std::unique_ptr<Position> root_;
};

TEST_F(Shortcuts, BookMovePlayedWithItsInfoLine) {
  Load(RecFor(*test::MakePosition("startpos moves 7g7f"), White, 500, 200, 1, 2000));
  std::string out;
  RootShortcutResult r = Run("startpos", 0, &out);
  EXPECT_EQ(r.kind, ShortcutBook);
  EXPECT_EQ(r.score, 0);
  EXPECT_EQ(MoveToUsi(r.move), "7g7f");
  EXPECT_EQ(State->bestMove, r.move);
  EXPECT_EQ(State->rootScore, 0);
  EXPECT_EQ(shortcutScore, 0);
  EXPECT_EQ(State->rootSide, Black);
  EXPECT_EQ(out, "info time 0 depth 0 nodes 0 score cp 0 pv 7g7f\n");
}

TEST_F(Shortcuts, PromotionsForWhiteAndTheMoveCountLimit) {
  // White to move; the book holds the position after the promoting capture only.
  const std::string base = "startpos moves 7g7f 3c3d 6i7h";
  Load(RecFor(*test::MakePosition(base + " 2b8h+"), Black, 40, 30, 0, 1500));
  std::string out;
  RootShortcutResult r = Run(base, 3, &out);
  EXPECT_EQ(r.kind, ShortcutBook);
  EXPECT_EQ(State->rootSide, White);
  EXPECT_EQ(out, "info time 0 depth 0 nodes 0 score cp 0 pv 2b8h+\n");

  // From the limit on, the book is not consulted and nothing is printed.
  useBookUntilMove = 3;
  shortcutScore = 29999;
  r = Run(base, 3, &out);
  EXPECT_EQ(r.kind, ShortcutNone);
  EXPECT_EQ(r.score, -31111);
  EXPECT_EQ(r.move, 0u);
  EXPECT_EQ(State->bestMove, 0u);
  EXPECT_EQ(shortcutScore, 29999);  // left as it was
  EXPECT_EQ(out, "");
}

TEST_F(Shortcuts, DropsAndUnreliableBookEntries) {
  const std::string base = "sfen 4k4/9/9/9/9/9/9/9/4K4 b P 1";
  Load(RecFor(*test::MakePosition(base + " moves P*5e"), White, 100, 90, 0, 1500) +
       RecFor(*test::MakePosition(base + " moves 5i4h"), White, 100, 10, 0, 500));
  std::string out;
  RootShortcutResult r = Run(base, 0, &out);
  EXPECT_EQ(r.kind, ShortcutBook);
  EXPECT_EQ(out, "info time 0 depth 0 nodes 0 score cp 0 pv P*5e\n");

  // Only the unreliable entry left: the search must run.
  ClearBook();
  Load(RecFor(*test::MakePosition(base + " moves 5i4h"), White, 100, 10, 0, 500));
  r = Run(base, 0, &out);
  EXPECT_EQ(r.kind, ShortcutNone);
  EXPECT_EQ(out, "");
}

TEST_F(Shortcuts, DeclarationWinComesFirstAndAKnownResultStopsTheRest) {
  const std::string declares = "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RB 1";
  // A book entry for the same position must not be played: declaring comes first.
  Load(RecFor(*test::MakePosition(declares + " moves 1c2d"), White, 500, 400, 0, 2500));
  std::string out;
  RootShortcutResult r = Run(declares, 0, &out);
  EXPECT_EQ(r.kind, ShortcutDeclaration);
  EXPECT_EQ(r.score, 28888);
  EXPECT_EQ(r.move, 0u);
  EXPECT_EQ(State->resultCode, 6);
  EXPECT_EQ(out, "");

  // One point short: no declaration (and no book entry for this position).
  State->resultCode = 0;
  r = Run("sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b B4P 1", 0, &out);
  EXPECT_EQ(r.kind, ShortcutNone);
  EXPECT_EQ(State->resultCode, 0);

  // A result already known: nothing else is tried.
  Load(RecFor(*test::MakePosition("startpos moves 7g7f"), White, 500, 200, 1, 2000));
  State->resultCode = 8;
  r = Run("startpos", 0, &out);
  EXPECT_EQ(r.kind, ShortcutNone);
  EXPECT_EQ(State->rootSide, Black);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace kestrel::booktest
