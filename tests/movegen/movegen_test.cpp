// Generator order and promotion rules, drop rules, attack tests and the legality
// filter, each cross-checked against a slow rule-by-rule reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "movegen/attacks.h"
#include "test_util.h"

namespace kestrel {
namespace {

Square Sq(const char* t) { return 9 * (t[1] - 'a') + (9 - (t[0] - '0')); }

std::vector<std::string> Texts(const Move* b, const Move* e) {
  std::vector<std::string> v;
  for (; b != e; ++b) v.push_back(MoveToUsi(*b) + (MoveFlag(*b) == FlagNoPromote ? "=" : ""));
  return v;
}

using Gen = Move* (*)(const Position&, Move*, int);

std::vector<std::string> Gen1(Gen g, const std::string& text) {
  int side;
  auto p = test::MakePosition(text, &side);
  Move buf[MaxMoves];
  return Texts(buf, g(*p, buf, side));
}

std::vector<std::string> RunDrops(const std::string& text) {
  int side;
  auto p = test::MakePosition(text, &side);
  Move buf[MaxMoves];
  return Texts(buf, GenerateDrops(buf, *p, side));
}

using V = std::vector<std::string>;

TEST(Generators, RookAndBishopPromotion) {
  // Rook capturing on rank 2: only the promotion from captures, both from all moves.
  const std::string pos = "sfen 4k4/3p5/9/9/9/9/9/3R5/K8 b - 1";
  EXPECT_EQ(Gen1(GenerateCaptures, pos), V({"6h6b+"}));
  V all = Gen1(GenerateAllMoves, pos);
  auto it = std::find(all.begin(), all.end(), "6h6b+");
  ASSERT_NE(it, all.end());
  EXPECT_EQ(*(it + 1), "6h6b=");
  // A rook leaving the zone promotes.
  V leave = Gen1(GenerateNonCaptures, "sfen 4k4/3R5/9/9/9/9/9/9/K8 b - 1");
  EXPECT_NE(std::find(leave.begin(), leave.end(), "6b6e+"), leave.end());
  EXPECT_EQ(std::find(leave.begin(), leave.end(), "6b6e"), leave.end());
}

TEST(Generators, KnightLancePawnPromotion) {
  V knight = Gen1(GenerateNonCaptures, "sfen 4k4/9/9/9/7N1/9/9/9/K8 b - 1");
  EXPECT_EQ(knight, V({"9i9h", "9i8h", "9i8i", "2e3c+", "2e3c=", "2e1c+", "2e1c="}));
  V knight2 = Gen1(GenerateNonCaptures, "sfen 4k4/9/9/7N1/9/9/9/9/K8 b - 1");
  EXPECT_EQ(std::vector<std::string>(knight2.end() - 2, knight2.end()), V({"2d3b+", "2d1b+"}));
  // Lance: rank 2 promotion only from non-captures, both from all moves; rank 1 promotion only.
  V lanceNc = Gen1(GenerateNonCaptures, "sfen 4k4/9/9/9/9/9/9/9/K7L b - 1");
  V lanceAll = Gen1(GenerateAllMoves, "sfen 4k4/9/9/9/9/9/9/9/K7L b - 1");
  auto has = [](const V& v, const char* s) { return std::find(v.begin(), v.end(), s) != v.end(); };
  EXPECT_TRUE(has(lanceNc, "1i1c+") && has(lanceNc, "1i1c="));
  EXPECT_TRUE(has(lanceNc, "1i1b+") && !has(lanceNc, "1i1b="));
  EXPECT_TRUE(has(lanceAll, "1i1b+") && has(lanceAll, "1i1b="));
  EXPECT_TRUE(has(lanceAll, "1i1a+") && !has(lanceAll, "1i1a=") && !has(lanceNc, "1i1a="));
  // Pawn push to rank 3: promotion only from non-captures, both from all moves.
  V pawnNc = Gen1(GenerateNonCaptures, "sfen 4k4/9/9/P8/9/9/9/9/8K b - 1");
  V pawnAll = Gen1(GenerateAllMoves, "sfen 4k4/9/9/P8/9/9/9/9/8K b - 1");
  EXPECT_TRUE(has(pawnNc, "9d9c+") && !has(pawnNc, "9d9c="));
  EXPECT_TRUE(has(pawnAll, "9d9c+") && has(pawnAll, "9d9c="));
  V pawnLast = Gen1(GenerateAllMoves, "sfen 4k4/P8/9/9/9/9/9/9/8K b - 1");
  EXPECT_TRUE(has(pawnLast, "9b9a+") && !has(pawnLast, "9b9a="));
  // White mirrors: a White silver entering rank 7 both ways, gold never promotes.
  V white = Gen1(GenerateNonCaptures, "sfen 8k/9/9/9/9/4s4/9/9/K3g4 w - 1");
  EXPECT_TRUE(has(white, "5f5g+") && has(white, "5f5g="));
  EXPECT_TRUE(has(white, "5i5h") && !has(white, "5i5h+"));
}

TEST(Generators, KindOrderAndKingOntoAttackedSquares) {
  // King first, then rook, bishop, gold, silver, pawn; the king may step next to the rook.
  V v = Gen1(GenerateNonCaptures, "sfen 4k4/9/9/9/9/9/9/9/r3K4 b - 1");
  EXPECT_EQ(v.front(), "5i6h");
  EXPECT_EQ(v.size(), 5u);  // 6h 5h 4h 6i 4i — all written, the caller filters
}

TEST(Generators, DropRules) {
  auto has = [](const V& v, const char* s) { return std::find(v.begin(), v.end(), s) != v.end(); };
  V drops = RunDrops("sfen 4k4/9/9/9/9/9/4P4/9/4K4 b RNLP 1");
  EXPECT_EQ(drops.front(), "R*9a");
  EXPECT_FALSE(has(drops, "P*5e"));  // a Black pawn already on file 5
  EXPECT_TRUE(has(drops, "P*4e"));
  EXPECT_FALSE(has(drops, "P*4a"));
  EXPECT_FALSE(has(drops, "L*4a"));
  EXPECT_TRUE(has(drops, "L*4b"));
  EXPECT_FALSE(has(drops, "N*4b"));
  EXPECT_TRUE(has(drops, "N*4c"));
  // A tokin does not block a pawn drop on its file.
  V tokin = RunDrops("sfen 4k4/9/9/9/9/9/4+P4/9/4K4 b P 1");
  EXPECT_TRUE(has(tokin, "P*5e"));
  // White's forbidden ranks are mirrored.
  V white = RunDrops("sfen 4k4/9/9/9/9/9/9/9/4K4 w pln 1");
  EXPECT_FALSE(has(white, "P*4i") || has(white, "L*4i") || has(white, "N*4h"));
  EXPECT_TRUE(has(white, "P*4h") && has(white, "N*4g"));
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
        HashKey kf = p->keyFull, kb = p->keyBoard;
        MakeMove(*p, *m);
        bool safe = !InCheck(*p, side);
        UnmakeMove(*p, *m);
        p->keyFull = kf;
        p->keyBoard = kb;
        ASSERT_EQ(LeavesKingSafe(*p, *m, side, inCheck), safe) << PositionToSfen(*p, side) << " " << MoveToUsi(*m);
        // A pinned piece is exactly one whose move off the line exposes the king.
        if (!inCheck && !MoveIsDrop(*m) && (MovePiece(*m) & ~1) != BKing) {
          ASSERT_EQ(MoveUncoversKing(*p, side, MoveFrom(*m), MoveTo(*m)), !safe);
        }
      }
    }
  }
  EXPECT_GT(positions, 250);
  EXPECT_GT(inCheckPositions, 5);
}

TEST(Attacks, EdgeCases) {
  // Attacked only by the king; by a pinned piece; lance only forward.
  auto p = test::MakePosition("sfen 4k4/9/9/9/9/9/9/4L4/4K4 b - 1");
  EXPECT_TRUE(IsSquareAttacked(*p, Sq("4h"), Black));
  EXPECT_TRUE(IsSquareAttacked(*p, Sq("5b"), Black));
  EXPECT_FALSE(IsSquareAttacked(*p, Sq("5a"), Black) && TestSquare(p->occupied[1], Sq("5b")));
  auto behind = test::MakePosition("sfen 4k4/9/9/9/4L4/9/9/9/K8 b - 1");
  EXPECT_FALSE(IsSquareAttacked(*behind, Sq("5f"), Black));  // a lance does not attack backwards
  EXPECT_TRUE(IsSquareAttacked(*behind, Sq("5b"), Black));
  auto q = test::MakePosition("sfen 4k4/9/9/9/4r4/9/4G4/9/4K4 b - 1");
  EXPECT_TRUE(IsPinned(*q, Sq("5g"), Black));
  EXPECT_TRUE(IsSquareAttacked(*q, Sq("4f"), Black));  // the pinned gold still attacks
  EXPECT_FALSE(MoveUncoversKing(*q, Black, Sq("5g"), Sq("5f")));  // along the line
  EXPECT_TRUE(MoveUncoversKing(*q, Black, Sq("5g"), Sq("4g")));
  // A White lance below a Black king does not pin; above it does.
  auto r = test::MakePosition("sfen 4k4/9/9/9/9/9/9/4K4/4G3l b - 1");
  EXPECT_FALSE(IsPinned(*r, Sq("5i"), Black));
  auto s = test::MakePosition("sfen 4l3k/9/9/9/4S4/9/9/4K4/9 b - 1");
  EXPECT_TRUE(IsPinned(*s, Sq("5e"), Black));
  EXPECT_TRUE(IsEmpty(SquaresBetween(Sq("5e"), Sq("5f"), -9)));
  EXPECT_TRUE(IsEmpty(SquaresBetween(Sq("5e"), Sq("3f"), -9)));
  EXPECT_TRUE(IsEmpty(SquaresBetween(Sq("5e"), Sq("5h"), 7)));
  Bitboard between = SquaresBetween(Sq("5e"), Sq("5h"), -9);
  EXPECT_EQ(PopCount(between), 2);
  EXPECT_TRUE(TestSquare(between, Sq("5f")) && TestSquare(between, Sq("5g")));
}

}  // namespace
}  // namespace kestrel
