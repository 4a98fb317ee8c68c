// Generator order and promotion rules, drop rules, attack tests, the legality filter and
// move text, each cross-checked against a slow rule-by-rule reference or a round trip.
#include "test_util.h"

namespace kestrel {
namespace {

Square Sq(const char* t) { return 9 * (t[1] - 'a') + (9 - (t[0] - '0')); }

const auto Texts = test::MoveTexts;
using Gen = Move* (*)(const Position&, Move*, int);
using V = std::vector<std::string>;

// Set positions for what the cross-check below does not see (it compares board moves as
// sets with a reference that knows the promotion rules): the promoting choice first, kind
// order, and drop rules (words as "6h6b+", "6h6b=" for the unpromoted choice, "6h6b" for
// a move without one).
TEST(Generators, SetPositions) {
  const struct {
    Gen gen;  // nullptr: drops
    const char* sfen;
    V present, absent;
  } cases[] = {
      {GenerateCaptures, "4k4/3p5/9/9/9/9/9/3R5/K8 b - 1", {"6h6b+"}, {"6h6b="}},
      {GenerateAllMoves, "4k4/3p5/9/9/9/9/9/3R5/K8 b - 1", {"6h6b+", "6h6b="}, {}},
      {nullptr, "4k4/9/9/9/9/9/4P4/9/4K4 b RNLP 1", {"P*4e", "L*4b", "N*4c"}, {"P*5e", "P*4a", "L*4a", "N*4b"}},
      {nullptr, "4k4/9/9/9/9/9/4+P4/9/4K4 b P 1", {"P*5e"}, {}},  // a tokin does not block
      {nullptr, "4k4/9/9/9/9/9/9/9/4K4 w pln 1", {"P*4h", "N*4g"}, {"P*4i", "L*4i", "N*4h"}},
  };
  for (const auto& c : cases) {
    int side;
    auto p = test::MakePosition(std::string("sfen ") + c.sfen, &side);
    Move buf[MaxMoves];
    const V t = Texts(buf, c.gen ? c.gen(*p, buf, side) : GenerateDrops(buf, *p, side));
    const auto at = [&](const std::string& w) { return std::find(t.begin(), t.end(), w) - t.begin(); };
    for (const std::string& w : c.present) EXPECT_LT(at(w), (long)t.size()) << c.sfen << " " << w;
    for (const std::string& w : c.absent) EXPECT_EQ(at(w), (long)t.size()) << c.sfen << " " << w;
    EXPECT_TRUE(at("6h6b=") == (long)t.size() || at("6h6b+") + 1 == at("6h6b="));  // promotion first
  }
  // Kind order starts with the king, which may step next to the rook: the caller filters.
  auto p = test::MakePosition("sfen 4k4/9/9/9/9/9/9/9/r3K4 b - 1");
  Move buf[MaxMoves];
  EXPECT_EQ(Texts(buf, GenerateNonCaptures(*p, buf, Black)), V({"5i6h", "5i5h", "5i4h", "5i6i", "5i4i"}));
  EXPECT_EQ(Texts(buf, GenerateDrops(buf, *test::MakePosition("sfen 4k4/9/9/9/9/9/9/9/4K4 b R 1"), Black))[0], "R*9a");
}

// A slow generator written from the rules: every piece, every square it attacks that
// is not its own side's, with the promotion choices the rules allow.
std::vector<Move> ReferenceBoardMoves(const Position& p, int side) {
  std::vector<Move> out;
  const int colour = side == Black ? 0 : 1;
  auto inZone = [side](Square s) { return side == Black ? s < 27 : s >= 54; };
  for (Square from = 0; from < SquareCount; ++from) {
    int pc = p.board[from];
    if (pc == Empty || (pc & 1) != colour) continue;
    for (Square to : Squares(PieceAttacks(p, pc, from))) {
      int cap = p.board[to];
      if (cap != Empty && (cap & 1) == colour) continue;
      if (!CanPromote(pc) || !(inZone(from) || inZone(to))) {
        out.push_back(EncodeMove(0, cap, pc, to, from));
        continue;
      }
      int rel = side == Black ? to / 9 : 8 - to / 9;  // 0 = last rank
      bool mustPromote = ((pc & ~1) == BPawn || (pc & ~1) == BLance) ? rel == 0
                         : (pc & ~1) == BKnight ? rel <= 1 : false;
      out.push_back(EncodeMove(FlagPromote, cap, pc, to, from));
      if (!mustPromote) out.push_back(EncodeMove(FlagNoPromote, cap, pc, to, from));
    }
  }
  return out;
}

// Slow attack test: does any piece of the side attack s?
bool ReferenceAttacked(const Position& p, Square s, int side) {
  const int colour = side == Black ? 0 : 1;
  for (Square from = 0; from < SquareCount; ++from) {
    int pc = p.board[from];
    if (pc != Empty && (pc & 1) == colour && TestSquare(PieceAttacks(p, pc, from), s)) return true;
  }
  return false;
}

// Runs the checks on positions reached by random play from every sample position.
TEST(Generators, CrossCheckedOnRandomPositions) {
  std::mt19937 rng(2024);
  int positions = 0, inCheckPositions = 0;
  for (const std::string& text : test::SamplePositions()) {
    for (int game = 0; game < 30; ++game) {
      int side;
      auto p = test::MakePosition(text, &side);
      side = test::RandomPlay(*p, side, (int)(rng() % 150), rng);
      ++positions;
      // 1. All board moves equal the rule-by-rule reference (as sets, in generator order).
      Move buf[MaxMoves];
      Move* end = GenerateAllMoves(*p, buf, side);
      std::vector<Move> gen(buf, end), ref = ReferenceBoardMoves(*p, side);
      std::vector<Move> genSorted = gen;
      std::sort(genSorted.begin(), genSorted.end());
      std::sort(ref.begin(), ref.end());
      ASSERT_EQ(genSorted, ref) << PositionToSfen(*p, side);
      // 2. Captures + non-captures are the all-moves list minus the optional non-promotions.
      Move split[MaxMoves];
      Move* se = GenerateCaptures(*p, split, side);
      se = GenerateNonCaptures(*p, se, side);
      std::vector<Move> s(split, se), expect;
      for (Move m : gen) {
        int kind = MovePiece(m) & ~1;
        int rel = side == Black ? MoveTo(m) / 9 : 8 - MoveTo(m) / 9;
        bool optional = MoveFlag(m) == FlagNoPromote &&
                        (kind == BRook || kind == BBishop || kind == BPawn || (kind == BLance && rel == 1));
        if (!optional) expect.push_back(m);
      }
      std::sort(s.begin(), s.end());
      std::sort(expect.begin(), expect.end());
      ASSERT_EQ(s, expect) << PositionToSfen(*p, side);
      // 3. Attack tests agree with the slow reference and with AttackersOf.
      for (Square sq = 0; sq < SquareCount; ++sq)
        for (int who : {Black, White}) {
          bool ref2 = ReferenceAttacked(*p, sq, who);
          ASSERT_EQ(IsSquareAttacked(*p, sq, who), ref2) << PositionToSfen(*p, side) << " sq " << sq;
          ASSERT_EQ(IsNonEmpty(AttackersOfSide(*p, sq, who)), ref2);
        }
      // 4. The fast legality filter equals make-and-test for every pseudo-legal move.
      end = GenerateDrops(end, *p, side);
      bool inCheck = InCheck(*p, side);
      inCheckPositions += inCheck;
      for (Move* m = buf; m != end; ++m) {
        const MoveUndo undo = PlayMove(*p, *m);
        const bool safe = !InCheck(*p, side);
        TakeBackMove(*p, *m, undo);
        ASSERT_EQ(LeavesKingSafe(*p, *m, side, inCheck), safe) << PositionToSfen(*p, side) << " " << MoveToUsi(*m);
        // A pinned piece is exactly one whose move off the line exposes the king.
        if (!inCheck && !MoveIsDrop(*m) && (MovePiece(*m) & ~1) != BKing) {
          ASSERT_EQ(MoveUncoversKing(*p, side, MoveFrom(*m), MoveTo(*m)), !safe);
        }
      }
      // 5. Every legal move reads back from its own text as the same move (the count
      // includes the character after the move), promotion flags at the zone's edges included.
      for (Move m : test::LegalMoves(*p, side)) {
        Move back = 0;
        std::string err;
        const std::string t = MoveToUsi(m);
        ASSERT_EQ(ParseUsiMove(*p, t.c_str(), side, &back, &err), (int)t.size() + 1) << t << " " << err;
        ASSERT_EQ(back, m) << PositionToSfen(*p, side) << " " << t;
      }
    }
  }
  EXPECT_GT(positions, 250);
  EXPECT_GT(inCheckPositions, 5);
}

// Pins and the squares between two squares, which the cross-check uses but does not test.
TEST(Attacks, PinsAndLines) {
  auto q = test::MakePosition("sfen 4k4/9/9/9/4r4/9/4G4/9/4K4 b - 1");
  EXPECT_TRUE(IsPinned(*q, Sq("5g"), Black));
  EXPECT_FALSE(IsPinned(*test::MakePosition("sfen 4k4/9/9/9/9/9/9/4K4/4G3l b - 1"), Sq("5i"), Black));
  EXPECT_TRUE(IsPinned(*test::MakePosition("sfen 4l3k/9/9/9/4S4/9/9/4K4/9 b - 1"), Sq("5e"), Black));
  EXPECT_TRUE(IsEmpty(SquaresBetween(Sq("5e"), Sq("5f"), -9)));
  EXPECT_TRUE(IsEmpty(SquaresBetween(Sq("5e"), Sq("3f"), -9)));
  EXPECT_TRUE(IsEmpty(SquaresBetween(Sq("5e"), Sq("5h"), 7)));
  const Bitboard between = SquaresBetween(Sq("5e"), Sq("5h"), -9);
  EXPECT_TRUE(PopCount(between) == 2 && TestSquare(between, Sq("5f")) && TestSquare(between, Sq("5g")));
}

}  // namespace
}  // namespace kestrel
