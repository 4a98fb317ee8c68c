// Root shortcuts through the engine record: book moves with their "info" line,
// the move-count limit of the book, declaration wins and a result already set.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "book/shortcuts.h"
#include "mate/mate_table.h"
#include "movegen/attacks.h"
#include "mate/solver.h"
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

// Splits a mate shortcut's info line into its moves; checks the fixed words, that
// "depth" counts the moves, and that the line ends the message.
std::vector<std::string> MateLineMoves(const std::string& out) {
  std::istringstream in(out);
  std::string info, time, zero, depthWord, nodes, zero2, score, cp, value, pv;
  size_t depth = 0;
  in >> info >> time >> zero >> depthWord >> depth >> nodes >> zero2 >> score >> cp >> value >> pv;
  EXPECT_EQ(info + " " + time + " " + zero + " " + depthWord, "info time 0 depth") << out;
  EXPECT_EQ(nodes + " " + zero2 + " " + score + " " + cp + " " + value + " " + pv, "nodes 0 score cp 29999 pv")
      << out;
  EXPECT_EQ(out.back(), '\n');
  std::vector<std::string> moves;
  std::string word;
  while (in >> word) moves.push_back(word);
  EXPECT_EQ(depth, moves.size()) << out;
  return moves;
}

// A mate proved once is played out over the following turns without searching:
// each turn plays the stored line's next attacking move, and the last one mates.
TEST_F(Shortcuts, ProvedMateIsPlayedOutOverTheFollowingTurns) {
  AllocateMateWorkArea();
  ASSERT_TRUE(AllocateMateTable(8000000));
  const std::string start = "sfen 8k/9/9/9/9/9/9/9/K8 b RB 1";
  // A book entry for a non-mating move must not be preferred to the mate.
  Load(RecFor(*test::MakePosition(start + " moves 9i9h"), White, 500, 400, 0, 2500));
  int side;
  root_ = test::MakePosition(start, &side);
  State->sideToMove = side;
  State->rootSide = side;
  ASSERT_EQ(SolveMate(*root_, side, MateLimits{}, 0), 1);
  mateSequenceActive = true;

  GameCursor game{side, 0};
  std::string err;
  size_t previousLength = 1000;
  for (int turn = 0; turn < 10; ++turn) {
    State->moveCount = game.moveCount;
    ::testing::internal::CaptureStdout();
    RootShortcutResult r = RootShortcuts(*root_);
    std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(r.kind, ShortcutMate) << "turn " << turn;
    EXPECT_EQ(r.score, 29999);
    EXPECT_EQ(State->rootScore, 29999);
    EXPECT_EQ(shortcutScore, 29999);
    EXPECT_TRUE(mateSequenceActive);
    ASSERT_TRUE(IsLegalMove(*root_, r.move, side));
    std::vector<std::string> moves = MateLineMoves(out);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves[0], MoveToUsi(r.move));
    EXPECT_EQ(moves.size() % 2, 1u);
    EXPECT_LT(moves.size(), previousLength);
    previousLength = moves.size();
    ASSERT_NE(PlayUsiMove(*root_, moves[0].c_str(), game, &err), 0) << err;
    if (moves.size() == 1) break;
    ASSERT_NE(PlayUsiMove(*root_, moves[1].c_str(), game, &err), 0) << err;
  }
  // The defender is mated.
  EXPECT_EQ(previousLength, 1u);
  EXPECT_TRUE(InCheck(*root_, -side));
  EXPECT_FALSE(HasLegalMove(*root_, -side));

  // A sequence that yields no further move is given up, and the book is used again.
  root_ = test::MakePosition(start, &side);
  ClearMateTable();
  std::string out;
  RootShortcutResult r = Run(start, 0, &out);
  EXPECT_FALSE(mateSequenceActive);
  EXPECT_EQ(r.kind, ShortcutBook);
  EXPECT_EQ(out, "info time 0 depth 0 nodes 0 score cp 0 pv 9i9h\n");
}

}  // namespace
}  // namespace kestrel::booktest
