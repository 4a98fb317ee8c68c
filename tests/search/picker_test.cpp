// Staged pickers: every move of the node exactly once (against the generators), the
// hash move first and never twice, the stage codes, killer validity, the history
// stages, and the quiescence screen.
#include <map>

#include "eval/movegain.h"
#include "movegen/evasions.h"
#include "search/engine.h"
#include "search/history.h"
#include "search/picker.h"
#include "search/search.h"
#include "test_util.h"

namespace kestrel {
namespace {

constexpr int Ply = 3;

struct PickerTest : ::testing::Test {
  std::unique_ptr<SearchBlock> block;
  void SetUp() override {
    test::InitTables();
    test::SetPieceValues(test::TestPieceValues);
    ProcessEngine().margins.Reset();
    ProcessEngine().history.Clear();
    block = std::make_unique<SearchBlock>();
    block->engine = &ProcessEngine();
    // Plies before Ply hold a few moves, so the list does not start at the stack's base.
    block->ply[Ply - 1].moveListEnd = block->moveStack + 17;
  }
  void Load(const Position& p) { std::memcpy(static_cast<void*>(&block->pos), &p, sizeof(Position)); }
  void Start(Move hash, Move k1 = 0, Move k2 = 0, int stage = PickerStart) {
    PlyState& ps = block->ply[Ply];
    ps.pickerStage = stage;
    ps.hashMove = hash;
    ps.killers[0] = k1;
    ps.killers[1] = k2;
    ps.moveListEnd = nullptr;  // the picker must not rely on it
  }
  // Every (code, move) handed out until the picker runs dry.
  std::vector<std::pair<int, Move>> Drain(int side, bool evasion = false) {
    std::vector<std::pair<int, Move>> out;
    for (int i = 0; i < 2 * MaxMoves; ++i) {
      const int code = evasion ? NextEvasion(*block, Ply, side) : NextMove(*block, Ply, side);
      if (!code) break;
      out.emplace_back(code, block->ply[Ply].currentMove);
    }
    return out;
  }
  // The first n moves handed out, without hash move or killers.
  std::vector<Move> First(size_t n, int side = Black) {
    Start(0);
    std::vector<Move> v;
    for (const auto& o : Drain(side)) v.push_back(o.second);
    v.resize(std::min(n, v.size()));
    return v;
  }
};

Move U(const Position& p, const char* text, int side = Black) { return test::ParseMove(p, text, side); }

// Over game positions, with random history, hash move and killers (some stale), each
// picker hands out every generated move exactly once (the hash move first), with stage
// codes that never go back.
TEST_F(PickerTest, EveryMoveExactlyOnce) {
  std::mt19937 rng(99);
  int nodes[2] = {0, 0}, withHashCapture = 0, skip = 0;
  for (auto& [pos, side] : test::RandomPositions("startpos", 40, 150, 1, 4242)) {
    const bool evasion = InCheck(*pos, side);
    if (!evasion && ++skip % 3) continue;  // a third of the ordinary nodes is plenty
    Load(*pos);
    Move buf[MaxMoves];
    Move* end = evasion ? GenerateEvasions(*pos, buf, side, 0)
                        : GenerateDrops(GenerateNonCaptures(*pos, GenerateCaptures(*pos, buf, side), side), *pos, side);
    const std::vector<Move> gen(buf, end);
    if (gen.empty()) continue;
    for (Move m : gen)
      ProcessEngine().history.main[HistoryIndex(m, side)].store((int)(rng() % 7) - 3, std::memory_order_relaxed);
    const Move hash = rng() % 4 ? gen[rng() % gen.size()] : 0;
    const Move k1 = gen[rng() % gen.size()];
    const Move k2 = rng() % 2 ? gen[rng() % gen.size()] : EncodeMove(FlagNone, Empty, BGold | SideIndex(side), 40, 41);
    Start(hash, k1, k2);
    const auto out = Drain(side, evasion);
    std::map<Move, int> want, got;
    for (Move m : gen) ++want[m];
    if (hash) want[hash] = 1;
    for (auto& [code, m] : out) ++got[m];
    ASSERT_EQ(got, want) << PositionToSfen(*pos, side) << " hash " << MoveToUsi(hash);
    if (hash) {
      EXPECT_EQ(out[0], std::make_pair((int)PickHash, hash));
      withHashCapture += MoveIsCapture(hash);
    }
    for (size_t i = 1; i < out.size(); ++i)
      ASSERT_TRUE(out[i - 1].first <= out[i].first && (!evasion || out[i].first == PickEvasion)) << i;
    ++nodes[evasion];
  }
  EXPECT_GT(nodes[0], 1000);
  EXPECT_GT(nodes[1], 100);
  EXPECT_GT(withHashCapture, 20);
  ProcessEngine().history.Clear();
}

// Without captures the killers come first, then every quiet move and drop by history,
// best first (equal histories in generation order); a capture that loses the exchange
// comes after all of them.
TEST_F(PickerTest, QuietStagesKillersAndHistory) {
  auto p = test::MakePosition("startpos");
  Load(*p);
  const Move k1 = U(*p, "2g2f"), k2 = U(*p, "7g7f");
  const char* moves[5] = {"1g1f", "9g9f", "3i4h", "5i5h", "6i5h"};
  const int values[5] = {5, 9, 2, 3, 4};
  for (int i = 0; i < 5; ++i) ProcessEngine().history.main[HistoryIndex(U(*p, moves[i]), Black)].store(values[i]);
  ProcessEngine().history.main[HistoryIndex(U(*p, "4i4h"), Black)].store(-7);
  Start(0, k1, k2);
  const auto out = Drain(Black);
  ASSERT_EQ(out.size(), 30u);
  EXPECT_EQ(out[0], std::make_pair((int)PickKiller1, k1));
  EXPECT_EQ(out[1], std::make_pair((int)PickKiller2, k2));
  const char* byHistory[5] = {"9g9f", "1g1f", "6i5h", "5i5h", "3i4h"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[2 + i], std::make_pair((int)PickQuiet, U(*p, byHistory[i]))) << i;
  EXPECT_EQ(out.back(), std::make_pair((int)PickQuiet, U(*p, "4i4h")));
  for (const auto& o : out) EXPECT_EQ(IsLatePick(o.first), o.first == PickQuiet);
  // The rook taking a pawn that the gold guards: after the quiet moves, and late.
  auto q = test::MakePosition("sfen 4k4/9/4g4/4p4/9/9/9/4R4/4K4 b - 1");
  Load(*q);
  Start(0);
  const auto withCapture = Drain(Black);
  ASSERT_GE(withCapture.size(), 2u);
  EXPECT_EQ(withCapture.back(), std::make_pair((int)PickBadCapture, U(*q, "5h5d")));
  EXPECT_TRUE(IsLatePick(PickBadCapture));
  for (size_t i = 0; i + 1 < withCapture.size(); ++i) EXPECT_EQ(withCapture[i].first, PickQuiet);
  ProcessEngine().history.Clear();
}

// The continuation entries of the last two moves add to the history: a reply that
// followed the opponent's move well comes first; after a null move only the other counts.
// A cut-off raises the entries of its move and lowers those of the quiet moves before it.
TEST_F(PickerTest, ContinuationHistoryOrdersAndLearns) {
  auto p = test::MakePosition("startpos moves 2g2f 8c8d");
  Load(*p);
  const Move own = U(*test::MakePosition("startpos"), "2g2f");
  const Move theirs = U(*test::MakePosition("startpos moves 2g2f"), "8c8d", White);
  block->ply[Ply - 2].currentMove = own;
  block->ply[Ply - 1].currentMove = theirs;
  const Move a = U(*p, "1g1f"), c = U(*p, "6i7h"), d = U(*p, "5i6h");
  ProcessEngine().history.main[HistoryIndex(a, Black)].store(50);
  ProcessEngine().history.continuation[ContinuationIndex(theirs, c)].store(40);
  ProcessEngine().history.continuation[ContinuationIndex(own, c)].store(30);
  ProcessEngine().history.continuation[ContinuationIndex(own, d)].store(45);
  EXPECT_EQ(ProcessEngine().history.QuietMoveScore(c, Black, theirs, own), 70);
  EXPECT_EQ(First(3), (std::vector<Move>{c, a, d}));
  // A null move before: the reply entry is not read.
  block->ply[Ply - 1].currentMove = 0;
  EXPECT_EQ(First(3), (std::vector<Move>{a, d, c}));
  // 1g1f tried and failed, 5i6h cut: both tables move for both.
  block->ply[Ply - 1].currentMove = theirs;
  block->searched[Ply][0] = a;
  block->ply[Ply].searchedCount = 1;
  const int before = ProcessEngine().history.continuation[ContinuationIndex(theirs, a)].load();
  UpdateKillersAndHistory(*block, Ply, Black, 4 * OnePly, d);
  EXPECT_GT(ProcessEngine().history.continuation[ContinuationIndex(theirs, d)].load(), 0);
  EXPECT_GT(ProcessEngine().history.continuation[ContinuationIndex(own, d)].load(), 45);
  EXPECT_LT(ProcessEngine().history.continuation[ContinuationIndex(theirs, a)].load(), before);
  EXPECT_LT(ProcessEngine().history.main[HistoryIndex(a, Black)].load(), 50);
  EXPECT_EQ(block->ply[Ply].killers[0], d);
  ProcessEngine().history.Clear();
  EXPECT_EQ(ProcessEngine().history.continuation[ContinuationIndex(own, d)].load(), 0);
}

// Drops of different pieces to one square keep apart in the history, from each other and
// from board moves, drops elsewhere and the other side's drops.
TEST_F(PickerTest, HistoryIndexSeparatesDroppedPieces) {
  auto p = test::MakePosition("sfen 4k4/9/9/9/9/9/9/9/4K4 b GSP 1");
  const std::set<int> apart = {HistoryIndex(U(*p, "G*5e"), Black), HistoryIndex(U(*p, "S*5e"), Black),
                               HistoryIndex(U(*p, "P*5e"), Black), HistoryIndex(U(*p, "5i5h"), Black),
                               HistoryIndex(U(*p, "G*5d"), Black), HistoryIndex(U(*p, "G*5e"), White)};
  EXPECT_EQ(apart.size(), 6u);
  EXPECT_LT(*apart.rbegin(), HistoryTableSize);
}

TEST_F(PickerTest, KillerValidity) {
  auto p = test::MakePosition("sfen 4k4/9/9/9/8r/3P5/9/1B7/4K1R2 b GP 1");
  const struct {
    Move m;
    bool valid;
  } cases[] = {
      // A bishop step, a rook move up its file, a gold drop, a pawn drop on a free file.
      {U(*p, "8h7g"), true}, {U(*p, "3i3a"), true}, {U(*p, "G*5f"), true}, {U(*p, "P*5f"), true},
      // The piece has moved (no silver on 6e), the path is blocked (6f between 8h and
      // 5e), the target holds something else (3e is empty, not a pawn).
      {EncodeMove(FlagNone, Empty, BSilver, 30, 39), false},
      {EncodeMove(FlagNone, Empty, BBishop, 40, 64), false},
      {EncodeMove(FlagNone, WPawn, BRook, 42, 78), false},
      {EncodeMove(FlagNone, Empty, BRook, 42, 78), true},
      // A pawn drop on a file that has a pawn, a piece not in hand, no move.
      {EncodeMove(FlagNone, Empty, BPawn, 39, NoSquare), false},
      {EncodeMove(FlagNone, Empty, BSilver, 40, NoSquare), false},
      {0, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMoveValid(*p, c.m, Black), c.valid) << MoveToUsi(c.m);
  EXPECT_TRUE(PawnOnFile(*p, 3, Black) && !PawnOnFile(*p, 4, Black) && !PawnOnFile(*p, 3, White));  // files 6, 5
}

TEST_F(PickerTest, PromotionsAndQuiescenceScreen) {
  int side;
  auto p = test::MakePosition("sfen 4k4/9/p1p6/1P7/9/9/9/9/R3K3B b - 1", &side);
  Move buf[64];
  Move* end = GeneratePromotions(*p, buf, Black);
  std::vector<std::string> texts;
  for (Move* m = buf; m != end; ++m) texts.push_back(MoveToUsi(*m));
  // Rook 9i: only its zone squares on the file (9c holds a pawn: a capture);
  // bishop 1i: 7c .. 4f diagonal into the zone (7c, 8b, 9a); pawn 8d to 8c.
  const std::vector<std::string> want = {"9i9c+", "1i7c+", "8d8c+"};
  EXPECT_EQ(texts, want);
  // The quiescence list (sorted texts) of a position for alpha and quiescence depth.
  auto quiescence = [&](const Position& pos, int alpha, int qdepth) {
    Load(pos);
    block->ply[Ply].staticEval = 0;
    block->ply[Ply].pickerStage = QuiescenceStart;
    std::vector<std::string> qt;
    while (NextQuiescenceMove(*block, Ply, alpha, Black, qdepth)) qt.push_back(MoveToUsi(block->ply[Ply].currentMove));
    std::sort(qt.begin(), qt.end());
    return qt;
  };
  // Captures, then the non-capturing promotion once; nothing losing.
  EXPECT_EQ(quiescence(*p, -30000, 1), (std::vector<std::string>{"1i7c+", "8d8c+", "9i9c+"}));
  // Futility: with alpha far above the bound nothing is searched.
  EXPECT_TRUE(quiescence(*p, 20000, 1).empty());
  // From quiescence depth 7 a pawn capture that does not promote is left out.
  auto p2 = test::MakePosition("sfen 4k4/9/9/9/4p4/4P4/9/9/4K4 b - 1");
  EXPECT_EQ(quiescence(*p2, -30000, 6).size(), 1u);
  EXPECT_TRUE(quiescence(*p2, -30000, 7).empty());
}

}  // namespace
}  // namespace kestrel
