// The book file reader and the chained probe: record layout, load semantics,
// chains, the guards against bad slots, looping chains and cut-off records, and
// the keys of a position reached two ways.
#include <gtest/gtest.h>

#include "book/book.h"
#include "book_test_util.h"

namespace kestrel::booktest {
namespace {

using BookFile = BookTest;

BookRecord ProbeOrFail(const Position& p, int side) {
  BookRecord r{};
  EXPECT_TRUE(BookProbe(p, side, &r));
  return r;
}

TEST_F(BookFile, StoresRecordsWithDerivedPercentAndSideFlag) {
  auto a = test::MakePosition("startpos moves 7g7f");
  auto b = test::MakePosition("startpos moves 2g2f");
  auto c = test::MakePosition("startpos moves 5g5f");
  auto d = test::MakePosition("startpos moves 7g7f 3c3d");
  BookLoadStats st = Load(RecFor(*a, White, 200, 50, 1, 1800) + RecFor(*b, White, 40, 30, 0, 1500) +
                          RecFor(*c, White, 0, 0, 1, 900) + RecFor(*d, Black, 7, 2, 2, 2100));
  EXPECT_TRUE(st.opened);
  EXPECT_EQ(st.stored, 4u);
  EXPECT_EQ(st.skipped, 0u);
  EXPECT_FALSE(st.truncated);

  BookRecord r = ProbeOrFail(*a, White);
  EXPECT_EQ(r.games, 200u);
  EXPECT_EQ(r.wins, 50u);
  EXPECT_EQ(r.sideFlag, 1);
  EXPECT_EQ(r.percent, 75u);  // (200 - 50) * 100 / 200
  EXPECT_EQ(r.rating, 1800u);
  r = ProbeOrFail(*b, White);
  EXPECT_EQ(r.sideFlag, 0);
  EXPECT_EQ(r.percent, 75u);  // 30 * 100 / 40
  EXPECT_EQ(ProbeOrFail(*c, White).percent, 0u);  // no games
  r = ProbeOrFail(*d, Black);
  EXPECT_EQ(r.sideFlag, 0);  // only a side field of exactly 1 sets the flag
  EXPECT_EQ(r.percent, 28u);  // 2 * 100 / 7, rounded down

  // The same board with the other side to move has another home slot.
  EXPECT_FALSE(BookProbe(*a, Black, nullptr));
  // A position that is not in the book.
  EXPECT_FALSE(BookProbe(*test::MakePosition("startpos moves 1g1f"), White, nullptr));
}

TEST_F(BookFile, AcceptsCrLfBlankLinesAndMissingFinalLineEnd) {
  auto a = test::MakePosition("startpos moves 7g7f");
  auto b = test::MakePosition("startpos moves 2g2f");
  std::string ra = RecFor(*a, White, 10, 5, 0, 1000), rb = RecFor(*b, White, 12, 6, 0, 1000);
  ra.back() = '\r';
  rb.pop_back();
  BookLoadStats st = Load("\n  " + ra + "\n\n \t\n" + rb);
  EXPECT_EQ(st.stored, 2u);
  EXPECT_FALSE(st.truncated);
  EXPECT_EQ(ProbeOrFail(*a, White).games, 10u);
  EXPECT_EQ(ProbeOrFail(*b, White).games, 12u);
}

TEST_F(BookFile, LoadsLayOverTheTableAndAMissingFileChangesNothing) {
  auto a = test::MakePosition("startpos moves 7g7f");
  auto b = test::MakePosition("startpos moves 2g2f");
  Load(RecFor(*a, White, 10, 5, 0, 1000));
  // A later record for the same slot replaces the earlier one; other slots stay.
  LoadBookFile(WriteFile("second.db", RecFor(*b, White, 3, 1, 0, 1000) +
                                          RecFor(*a, White, 99, 5, 0, 1000)));
  EXPECT_EQ(ProbeOrFail(*a, White).games, 99u);
  EXPECT_EQ(ProbeOrFail(*b, White).games, 3u);

  BookLoadStats st = LoadBookFile((dir_ / "no-such.db").string());
  EXPECT_FALSE(st.opened);
  EXPECT_EQ(ProbeOrFail(*a, White).games, 99u);

  // LoadBook reads Book/book.db below the start-up directory, silently.
  startupDirectory = dir_.string();
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(LoadBook().opened);
  WriteFile("Book/book.db", RecFor(*a, White, 7, 5, 0, 1000));
  EXPECT_TRUE(LoadBook().opened);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ProbeOrFail(*a, White).games, 7u);

  ClearBook();
  EXPECT_FALSE(BookProbe(*a, White, nullptr));
  EXPECT_EQ(BookTable[12345].sideFlag, 1);
}

// Slots for hand-made chains: distinct from each other, from slot 0 and from h.
uint32_t Away(uint32_t h, uint32_t k) { return ((h + 1000 * k) & BookSlotMask) | 1; }

TEST_F(BookFile, ChainsAreFollowedAndSlotZeroIsTestedLast) {
  auto a = test::MakePosition("startpos moves 7g7f");
  auto b = test::MakePosition("startpos moves 2g2f");
  auto c = test::MakePosition("startpos moves 5g5f");
  uint32_t ha = BookHomeSlot(*a, White), hb = BookHomeSlot(*b, White), hc = BookHomeSlot(*c, White);
  uint32_t s1 = Away(ha, 1), s2 = Away(ha, 2), s3 = Away(hb, 3), s4 = Away(hc, 4);
  const uint32_t hand = a->hand[0];
  std::string text =
      // a: home slot holds another position whose link leads on to a's record.
      Rec(ha, 1, 0, 1, 1, 0, 0, s1) + Rec(s1, 2, 0, 1, 1, 0, 0, s2) +
      Rec(s2, a->keyBoard, hand, 21, 1, 0, 0, 0) +
      // b: the chain ends in slot 0, which holds b.
      Rec(hb, 3, 0, 1, 1, 0, 0, s3) + Rec(s3, 4, 0, 1, 1, 0, 0, 0) +
      Rec(0, b->keyBoard, hand, 22, 1, 0, 0, s4) +
      // c: its record lies beyond slot 0 in the chain, so it is never reached.
      Rec(hc, 5, 0, 1, 1, 0, 0, 0) + Rec(s4, c->keyBoard, hand, 23, 1, 0, 0, 0);
  EXPECT_EQ(Load(text).stored, 8u);
  EXPECT_EQ(ProbeOrFail(*a, White).games, 21u);
  EXPECT_EQ(ProbeOrFail(*b, White).games, 22u);
  EXPECT_FALSE(BookProbe(*c, White, nullptr));
  // The hand word is part of the identity.
  Load(Rec(s2, a->keyBoard, hand + 1, 21, 1, 0, 0, 0));
  EXPECT_FALSE(BookProbe(*a, White, nullptr));
}

TEST_F(BookFile, SlotsOutsideTheTableAreSkipped) {
  auto a = test::MakePosition("startpos moves 7g7f");
  BookLoadStats st = Load(Rec(BookSlotCount, a->keyBoard, 0, 50, 1, 0, 3000, 0) +
                          Rec(4294967295u, a->keyBoard, 0, 50, 1, 0, 3000, 0) +
                          RecFor(*a, White, 8, 1, 0, 1000));
  EXPECT_EQ(st.stored, 1u);
  EXPECT_EQ(st.skipped, 2u);
  // Neither was folded into the table (slot 2^20 masked would be slot 0).
  EXPECT_EQ(BookTable[0].games, 0u);
  EXPECT_EQ(BookTable[BookSlotMask].games, 0u);
  EXPECT_EQ(ProbeOrFail(*a, White).games, 8u);
}

TEST_F(BookFile, LoopingChainsAndLinksOutsideTheTableEndTheWalk) {
  auto a = test::MakePosition("startpos moves 7g7f");
  auto b = test::MakePosition("startpos moves 2g2f");
  auto c = test::MakePosition("startpos moves 5g5f");
  uint32_t ha = BookHomeSlot(*a, White), hb = BookHomeSlot(*b, White), hc = BookHomeSlot(*c, White);
  uint32_t s1 = Away(ha, 1);
  std::string text = Rec(ha, 1, 0, 1, 1, 0, 0, s1) + Rec(s1, 2, 0, 1, 1, 0, 0, ha) +  // two-slot loop
                     Rec(hb, 3, 0, 1, 1, 0, 0, hb) +                                // self loop
                     Rec(hc, 4, 0, 1, 1, 0, 0, 3000000);                            // link past the end
  EXPECT_EQ(Load(text).stored, 4u);
  EXPECT_FALSE(BookProbe(*a, White, nullptr));
  EXPECT_FALSE(BookProbe(*b, White, nullptr));
  EXPECT_FALSE(BookProbe(*c, White, nullptr));
  // A record inside a loop is still found.
  Load(Rec(s1, a->keyBoard, a->hand[0], 31, 1, 0, 0, ha));
  EXPECT_EQ(ProbeOrFail(*a, White).games, 31u);
}

TEST_F(BookFile, ARecordCutOffByTheEndOfTheFileIsIgnored) {
  auto a = test::MakePosition("startpos moves 7g7f");
  auto b = test::MakePosition("startpos moves 2g2f");
  std::string rb = RecFor(*b, White, 9, 1, 0, 1000);
  // Cut inside the fields, and cut just before the last "$".
  for (std::string cut : {rb.substr(0, rb.find('$', rb.find('$') + 1) + 3),
                          rb.substr(0, rb.size() - 2)}) {
    ASSERT_TRUE(AllocateBook());
    BookLoadStats st = Load(RecFor(*a, White, 8, 1, 0, 1000) + cut);
    EXPECT_EQ(st.stored, 1u) << cut;
    EXPECT_TRUE(st.truncated) << cut;
    EXPECT_TRUE(BookProbe(*a, White, nullptr));
    EXPECT_FALSE(BookProbe(*b, White, nullptr)) << cut;
    EXPECT_EQ(BookTable[BookHomeSlot(*b, White)].games, 0u) << cut;
  }
}

// The same position reached by moves and set up from sfen text has the same keys,
// both equal to the keys computed from scratch, so a book written for one finds the other.
TEST_F(BookFile, KeysOfAPositionBuiltTwoWaysAgree) {
  auto played = test::MakePosition("startpos moves 7g7f 3c3d 8h2b+ 3a2b B*4e");
  auto setUp = test::MakePosition(
      "sfen lnsgkg1nl/1r5s1/pppppp1pp/6p2/5B3/2P6/PP1PPPPPP/7R1/LNSGKGSNL w b 1");
  EXPECT_EQ(played->keyBoard, setUp->keyBoard);
  EXPECT_EQ(played->keyFull, setUp->keyFull);
  EXPECT_EQ(played->hand[0], setUp->hand[0]);
  EXPECT_EQ(played->keyBoard, ComputeKeyBoard(*played));
  EXPECT_EQ(played->keyFull, ComputeKeyFull(*played));
  EXPECT_NE(played->keyBoard, 0u);
  EXPECT_NE(played->keyBoard, played->keyFull);

  Load(RecFor(*setUp, White, 44, 20, 0, 1600));
  EXPECT_EQ(ProbeOrFail(*played, White).games, 44u);
}

}  // namespace
}  // namespace kestrel::booktest
