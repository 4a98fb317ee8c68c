// The opening book and the root shortcuts: the file reader and the chained probe with
// their guards against bad input, the candidates and the reliability-weighted choice,
// declaration wins, and the order in which the shortcuts are tried.
#include "book/book.h"
#include "book/book_choice.h"
#include "book/declaration.h"
#include "book/shortcuts.h"
#include "test_util.h"

namespace kestrel {
namespace {

// One record in the file's text form: slot, key, hand, games, wins, side, rating, next.
std::string Rec(std::initializer_list<uint64_t> fields) {
  std::string s;
  for (uint64_t v : fields) s += std::to_string(v) + "$";
  return s + "\n";
}

class BookFile : public ::testing::Test {
 protected:
  void SetUp() override {
    test::InitTables();
    ASSERT_TRUE(book.Allocate());
    dir = test::MakeTempDir();
  }
  void TearDown() override { test::RemoveTree(dir); }
  BookLoadStats Load(const std::string& text, const std::string& name = "book.db") {
    test::WriteFileText(dir + "/" + name, text);
    return book.LoadFile(dir + "/" + name);
  }
  // The record of the position after `moves` from the start (White to move unless said).
  std::string RecAfter(const std::string& moves, uint32_t games, uint32_t wins, uint32_t side, uint32_t rating,
                       int toMove = White) {
    auto p = test::MakePosition("startpos moves " + moves);
    return Rec({BookHomeSlot(*p, toMove), p->keyBoard, p->hand[SideIndex(Black)], games, wins, side, rating, 0});
  }
  BookRecord Probe(const std::string& moves, int toMove = White) {
    BookRecord r{};
    r.games = 12345;  // marks "not found"
    book.Probe(*test::MakePosition("startpos moves " + moves), toMove, &r);
    return r;
  }
  std::string dir;
  Book book;
};

TEST_F(BookFile, LoaderDerivesPercentAndSideFlagAndAcceptsLooseLayout) {
  std::string first = RecAfter("7g7f", 200, 50, 1, 1800), last = RecAfter("7g7f 3c3d", 7, 2, 2, 2100, Black);
  first.back() = '\r';
  last.pop_back();
  BookLoadStats st = Load("\n  " + first + "\n\n \t\n" + RecAfter("2g2f", 40, 30, 0, 1500) +
                          RecAfter("5g5f", 0, 0, 1, 900) + last);
  EXPECT_TRUE(st.opened && !st.truncated);
  EXPECT_EQ(st.stored, 4u);
  EXPECT_EQ(Probe("7g7f").percent, 75u);  // (200 - 50) * 100 / 200 for a side field of 1
  EXPECT_EQ(Probe("7g7f").rating, 1800u);
  EXPECT_EQ(Probe("2g2f").percent, 75u);  // 30 * 100 / 40
  EXPECT_EQ(Probe("5g5f").percent, 0u);   // no games
  EXPECT_EQ(Probe("7g7f 3c3d", Black).percent, 28u);  // only a side field of exactly 1 sets the flag
  EXPECT_EQ(Probe("7g7f 3c3d", Black).sideFlag, 0);
  EXPECT_EQ(Probe("7g7f", Black).games, 12345u);  // the other side to move has another slot
  // A later file lays over the table; a missing file changes nothing.
  Load(RecAfter("7g7f", 99, 5, 0, 1000), "second.db");
  EXPECT_FALSE(book.LoadFile(dir + "/none.db").opened);
  EXPECT_EQ(Probe("7g7f").games, 99u);
  EXPECT_EQ(Probe("2g2f").games, 40u);
  // Load reads Book/book.db below the directory given, silently.
  ASSERT_EQ(std::system(("mkdir -p " + dir + "/Book").c_str()), 0);
  test::WriteFileText(dir + "/Book/book.db", RecAfter("7g7f", 7, 5, 0, 1000));
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(book.Load(dir).opened);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(Probe("7g7f").games, 7u);
  book.Clear();
  EXPECT_EQ(Probe("7g7f").games, 12345u);
}

// Chains end at slot 0 (tested last), at a link outside the table and after a bounded
// walk; slots outside the table and records cut off by the end of the file are dropped.
TEST_F(BookFile, ChainsAndBadRecords) {
  auto a = test::MakePosition("startpos moves 7g7f"), b = test::MakePosition("startpos moves 2g2f"),
       c = test::MakePosition("startpos moves 5g5f");
  const uint32_t ha = BookHomeSlot(*a, White), hb = BookHomeSlot(*b, White), hc = BookHomeSlot(*c, White);
  auto away = [](uint32_t h, uint32_t k) { return ((h + 1000 * k) & BookSlotMask) | 1; };
  const uint32_t s1 = away(ha, 1), s2 = away(ha, 2), s3 = away(hb, 3), s4 = away(hc, 4), hand = a->hand[0];
  EXPECT_EQ(Load(Rec({ha, 1, 0, 1, 1, 0, 0, s1}) + Rec({s1, 2, 0, 1, 1, 0, 0, s2}) +
                 Rec({s2, a->keyBoard, hand, 21, 1, 0, 0, 0}) +                           // a: two links on
                 Rec({hb, 3, 0, 1, 1, 0, 0, s3}) + Rec({s3, 4, 0, 1, 1, 0, 0, 0}) +
                 Rec({0, b->keyBoard, hand, 22, 1, 0, 0, s4}) +                           // b: in slot 0
                 Rec({hc, 5, 0, 1, 1, 0, 0, 0}) + Rec({s4, c->keyBoard, hand, 23, 1, 0, 0, 0}))  // c: past slot 0
                .stored,
            8u);
  EXPECT_EQ(Probe("7g7f").games, 21u);
  EXPECT_EQ(Probe("2g2f").games, 22u);
  EXPECT_EQ(Probe("5g5f").games, 12345u);
  Load(Rec({s2, a->keyBoard, hand + 1, 21, 1, 0, 0, 0}));  // the hand word is part of the identity
  EXPECT_EQ(Probe("7g7f").games, 12345u);

  ASSERT_TRUE(book.Allocate());
  BookLoadStats st = Load(Rec({ha, 1, 0, 1, 1, 0, 0, s1}) + Rec({s1, 2, 0, 1, 1, 0, 0, ha}) +  // a loop
                          Rec({hb, 3, 0, 1, 1, 0, 0, BookSlotCount}) +                       // a link past the end
                          Rec({BookSlotCount, c->keyBoard, 0, 50, 1, 0, 3000, 0}) + Rec({4294967295u, 0, 0, 50, 1, 0, 0, 0}));
  EXPECT_EQ(st.stored, 3u);
  EXPECT_EQ(st.skipped, 2u);
  EXPECT_EQ(book.Slot(0).games, 0u);  // 2^20 masked would be slot 0
  EXPECT_EQ(Probe("7g7f").games, 12345u);
  EXPECT_EQ(Probe("2g2f").games, 12345u);
  Load(Rec({s1, a->keyBoard, hand, 31, 1, 0, 0, ha}));  // a record inside a loop is found
  EXPECT_EQ(Probe("7g7f").games, 31u);

  const std::string rc = RecAfter("5g5f", 9, 1, 0, 1000);
  for (std::string cut : {rc.substr(0, rc.find('$', rc.find('$') + 1) + 3), rc.substr(0, rc.size() - 2)}) {
    ASSERT_TRUE(book.Allocate());
    st = Load(RecAfter("2g2f", 8, 1, 0, 1000) + cut);
    EXPECT_TRUE(st.stored == 1u && st.truncated) << cut;
    EXPECT_EQ(Probe("2g2f").games, 8u);
    EXPECT_EQ(book.Slot(hc).games, 0u) << cut;
  }
}

TEST(BookChoice, ReliabilityAndTheWeightedPick) {
  Book book, twin;  // no table: the choice needs the candidates alone
  auto set = [](Book& b, std::initializer_list<BookCandidate> list) { b.Candidates().assign(list); };
  const struct {
    uint32_t games, percent, rating, maxGames;
    int reliability;
  } cases[] = {
      {100, 100, 500, 100, 100}, {150, 90, 1000, 150, 100},  // 45 + 50 + 10, capped
      {60, 80, 1000, 60, 80},    {99, 80, 500, 99, 89},      // 40 + 49
      {100, 100, 0, 100, 90},    {60, 60, 0, 60, 50},        // a low rating lowers, never wraps
      {50, 60, 449, 50, 54},     {0, 0, 0, 0, 0},
      {9, 100, 3000, 100, 0},    {10, 100, 3000, 100, 100},  // a tenth of the most played is kept
      {0, 100, 1750, 10, 75},                                // a maximum of 10 filters nothing
  };
  for (const auto& c : cases)
    EXPECT_EQ(BookReliability(BookCandidate{1, c.games, c.percent, 0, c.rating}, c.maxGames), c.reliability)
        << c.games << " games, " << c.percent << "%, rating " << c.rating << ", max " << c.maxGames;
  // None, one, or a weighted pick among the kept candidates.
  set(book, {{11, 98, 50, 0, 500}, {12, 0, 0, 0, 0}});  // 74 and 0: nothing is played
  EXPECT_EQ(book.Choose(), 0u);
  // One candidate of 75 among weaker ones is played, and the random generator is left
  // alone: afterwards the book draws as its twin of the same seed does.
  set(book, {{11, 98, 50, 0, 500}, {13, 100, 50, 0, 500}, {12, 0, 0, 0, 0}});
  book.Seed(4242);
  twin.Seed(4242);
  EXPECT_EQ(book.Choose(), 13u);
  const std::initializer_list<BookCandidate> several = {{31, 400, 60, 0, 1500},  // 100: kept
                                                         {32, 30, 90, 0, 0},     // rarely played: 0
                                                         {33, 200, 50, 0, 1000},  // 85: kept
                                                         {34, 300, 40, 0, 800},   // 76: kept
                                                         {36, 100, 60, 0, 0}};    // 70: filtered (100 if wrapped)
  set(book, several);
  set(twin, several);
  const std::set<Move> kept = {31, 33, 34};
  std::set<Move> drawn;
  for (int i = 0; i < 50; ++i) {
    const Move m = book.Choose();
    EXPECT_EQ(kept.count(m), 1u);
    EXPECT_EQ(twin.Choose(), m);
    drawn.insert(m);
  }
  EXPECT_EQ(drawn, kept);
}

TEST(Declaration, ThresholdsCampAndCheck) {
  // Black: king on 1c with a dragon, a horse, two golds, two silvers and four tokins in
  // the camp (10 pieces, 18 points); White mirrors it. Rook and bishop in hand count 5.
  const std::string black = "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b ";
  const std::string white = "sfen 4K4/9/9/9/9/9/k8/1+p+p+p+p4/3ssgg+b+r w ";
  const struct { std::string sfen; int side; bool declares; } cases[] = {
      {black + "RB 1", Black, true},   {black + "B4P 1", Black, false},  // 28 and 27 points
      {black + "RB 1", White, false},  {black + "RGSNLP 1", Black, true}, {black + "GSNL5P 1", Black, false},
      {"sfen +R+BGGSS3/4+P+P+P2/8K/9/9/9/9/9/4k4 b RBP 1", Black, false},  // 9 pieces
      {"sfen +R+BGGSS2l/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RB 1", Black, false},  // in check
      {"sfen +R+BGGSS3/4+P+P+P+P1/9/8K/9/9/9/9/4k4 b RB 1", Black, false},   // king outside
      {white + "b4p 1", White, true},  {white + "b3p 1", White, false},
      {"sfen 4K4/9/9/9/9/9/9/1+p+p+p+p4/2ssgg+b+rk w b4p 1", White, true},
      {"sfen 4K4/9/9/9/9/k8/9/1+p+p+p+p4/3ssgg+b+r w b4p 1", White, false},
  };
  for (const auto& c : cases) EXPECT_EQ(CanDeclareWin(c.side, *test::MakePosition(c.sfen)), c.declares) << c.sfen;
}

// The shortcuts in order: a declaration before the book, and the book only when the
// caller allows it, with its "info" line; without a stored mate the sequence is given up.
TEST_F(BookFile, ShortcutsInOrder) {
  const std::string declares = "sfen +R+BGGSS3/4+P+P+P+P1/8K/9/9/9/9/9/4k4 b RB 1";
  const std::string base = "startpos moves 7g7f 3c3d 6i7h";
  auto d = test::MakePosition(declares + " moves 1c2d");
  Load(Rec({BookHomeSlot(*d, White), d->keyBoard, d->hand[0], 500, 400, 0, 2500, 0}) +
       RecAfter("7g7f 3c3d 6i7h 2b8h+", 40, 30, 0, 1500, Black));
  MateSolver solver;
  bool sequence = true;
  auto run = [&](const std::string& text, bool bookAllowed, std::string* out) {
    int side;
    auto p = test::MakePosition(text, &side);
    out->clear();
    return RootShortcuts(*p, side, bookAllowed, sequence, solver, book,
                         [&](const std::string& line) { *out += line + "\n"; });
  };
  std::string out;
  RootShortcutResult r = run(declares, true, &out);
  EXPECT_TRUE(r.kind == ShortcutDeclaration && r.score == 28888 && r.move == 0) << r.kind;
  EXPECT_EQ(out, "info time 0 depth 0 nodes 0 score mate 1 string declaration\n");
  EXPECT_TRUE(sequence);  // a declaration leaves the sequence alone
  r = run(base, true, &out);
  EXPECT_EQ(r.kind, ShortcutBook);
  EXPECT_EQ(MoveToUsi(r.move), "2b8h+");
  EXPECT_EQ(r.score, 0);
  EXPECT_FALSE(sequence);  // nothing stored to play out
  EXPECT_EQ(out, "info time 0 depth 0 seldepth 0 nodes 0 nps 0 hashfull 0 score cp 0 pv 2b8h+\n");
  r = run(base, false, &out);
  EXPECT_TRUE(r.kind == ShortcutNone && r.score == -31111 && r.move == 0);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace kestrel
