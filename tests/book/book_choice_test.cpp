// Book candidates and the choice among them: generation order and restored
// position, the reliability rules, and the weighted random pick.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "book/book_choice.h"
#include "book_test_util.h"

namespace kestrel::booktest {
namespace {

using BookChoice = BookTest;

// The position after one move given as USI text, with its move word.
Move MoveOf(const std::string& base, const std::string& usi) {
  int side;
  auto p = test::MakePosition(base, &side);
  for (Move m : test::LegalMoves(*p, side))
    if (MoveToUsi(m) == usi && MoveFlag(m) != FlagNoPromote) return m;
  ADD_FAILURE() << "no move " << usi;
  return 0;
}

TEST_F(BookChoice, CandidatesFollowGenerationOrderAndLeaveThePositionIntact) {
  auto after1 = test::MakePosition("startpos moves 2g2f");
  auto after2 = test::MakePosition("startpos moves 7g7f");
  auto after3 = test::MakePosition("startpos moves 5i4h");
  Load(RecFor(*after1, White, 100, 60, 0, 1500) + RecFor(*after2, White, 300, 100, 1, 1700) +
       RecFor(*after3, White, 4, 2, 0, 400));
  auto root = test::MakePosition("startpos");
  auto before = std::make_unique<Position>(*root);
  CollectBookCandidates(*root, Black);

  // Expected order: the order of the generators' output.
  Move list[MaxMoves];
  Move* end = GenerateDrops(GenerateAllMoves(*root, list, Black), *root, Black);
  std::vector<Move> expected;
  for (Move* m = list; m < end; ++m)
    if (*m == MoveOf("startpos", "2g2f") || *m == MoveOf("startpos", "7g7f") ||
        *m == MoveOf("startpos", "5i4h"))
      expected.push_back(*m);
  ASSERT_EQ(bookCandidateCount, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(BookCandidates[i].move, expected[i]) << i;
  for (int i = 0; i < 3; ++i) {
    const BookCandidate& c = BookCandidates[i];
    if (c.move == MoveOf("startpos", "7g7f")) {
      EXPECT_EQ(c.games, 300u);
      EXPECT_EQ(c.percent, 66u);
      EXPECT_EQ(c.sideFlag, 1);
      EXPECT_EQ(c.rating, 1700u);
    }
  }
  EXPECT_EQ(root->keyFull, before->keyFull);
  EXPECT_EQ(root->keyBoard, before->keyBoard);
  EXPECT_EQ(std::memcmp(root->board, before->board, sizeof root->board), 0);
  EXPECT_EQ(root->hand[0], before->hand[0]);
  EXPECT_EQ(root->hand[1], before->hand[1]);
  EXPECT_EQ(root->material, before->material);

  // A position with no book continuation empties the list.
  auto other = test::MakePosition("startpos moves 1g1f 1c1d");
  CollectBookCandidates(*other, Black);
  EXPECT_EQ(bookCandidateCount, 0);
}

TEST(BookReliability, Rules) {
  struct Case {
    uint32_t games, percent, rating, maxGames;
    int reliability;
  } cases[] = {
      {100, 100, 500, 100, 100},    // 50 + 50 + 0
      {150, 90, 1000, 150, 100},    // 45 + 50 + 10, capped
      {60, 60, 500, 60, 60},        // 30 + 30
      {60, 80, 1000, 60, 80},       // 40 + 30 + 10
      {99, 80, 500, 99, 89},        // 40 + 49
      {100, 100, 0, 100, 90},       // a rating below 500 lowers the score ...
      {60, 60, 0, 60, 50},          // ... and does not wrap around to 100
      {50, 60, 449, 50, 54},        // (449 - 500) / 50 = -1
      {0, 0, 0, 0, 0},              // an all-zero record stays at 0
      {9, 100, 3000, 100, 0},       // fewer than a tenth of the most played
      {10, 100, 3000, 100, 100},    // exactly a tenth is kept
      {0, 100, 1750, 10, 75},       // a maximum of 10 filters nothing
  };
  for (const Case& c : cases) {
    BookCandidate cand{1, c.games, c.percent, 0, c.rating};
    EXPECT_EQ(BookReliability(cand, c.maxGames), c.reliability)
        << c.games << " games, " << c.percent << "%, rating " << c.rating << ", max " << c.maxGames;
  }
}

void SetCandidates(std::initializer_list<BookCandidate> list) {
  bookCandidateCount = 0;
  for (const BookCandidate& c : list) BookCandidates[bookCandidateCount++] = c;
}

TEST(BookChoiceRules, NoneOrOneKept) {
  SetCandidates({});
  EXPECT_EQ(ChooseBookMove(), 0u);
  // Reliabilities 74 and 0: nothing is played.
  SetCandidates({{11, 98, 50, 0, 500}, {12, 0, 0, 0, 0}});
  EXPECT_EQ(ChooseBookMove(), 0u);
  // One candidate of 75 among weaker ones is played, and the random generator
  // is left alone.
  SetCandidates({{11, 98, 50, 0, 500}, {13, 100, 50, 0, 500}, {12, 0, 0, 0, 0}});
  std::srand(4242);
  int expectedNext = std::rand();
  std::srand(4242);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ChooseBookMove(), 13u);
  EXPECT_EQ(std::rand(), expectedNext);
  // A strong but rarely played move loses to the most played one.
  SetCandidates({{21, 1000, 90, 0, 2000}, {22, 99, 100, 0, 3000}});
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ChooseBookMove(), 21u);
}

TEST(BookChoiceRules, RandomPickStaysAmongTheKept) {
  SetCandidates({{31, 400, 60, 0, 1500},   // 30 + 50 + 20 = 100: kept
                 {32, 30, 90, 0, 0},       // rarely played: 0
                 {33, 200, 50, 0, 1000},   // 25 + 50 + 10 = 85: kept
                 {34, 300, 40, 0, 800},    // 20 + 50 + 6 = 76: kept
                 {35, 100, 40, 0, 500},    // 20 + 50 = 70: filtered
                 {36, 100, 60, 0, 0}});    // 30 + 50 - 10 = 70: filtered (100 if wrapped)
  const std::set<Move> kept = {31, 33, 34};
  uint32_t maxGames = MaxCandidateGames();
  EXPECT_EQ(maxGames, 400u);
  for (int i = 0; i < bookCandidateCount; ++i)
    EXPECT_EQ(BookReliability(BookCandidates[i], maxGames) >= MinBookReliability,
              kept.count(BookCandidates[i].move) == 1)
        << BookCandidates[i].move;
  for (int i = 0; i < 50; ++i) EXPECT_EQ(kept.count(ChooseBookMove()), 1u);
}

}  // namespace
}  // namespace kestrel::booktest
