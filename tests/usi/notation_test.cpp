// USI position and move text both ways, and bad text that must be refused safely.
#include <gtest/gtest.h>

#include "board/state.h"
#include "movegen/attacks.h"
#include "test_util.h"

namespace kestrel {
namespace {

TEST(Notation, StartposWithMoves) {
  test::InitTables();
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  ASSERT_TRUE(SetPositionFromText(*p, "startpos moves 7g7f 3c3d", game, &err)) << err;
  EXPECT_EQ(game.side, Black);
  EXPECT_EQ(game.moveCount, 2);
  EXPECT_EQ(p->historyCount, 2u);
  EXPECT_EQ(p->history[2].keyBoard, p->keyBoard);
  EXPECT_EQ(p->board[9 * 5 + 2], BPawn);  // 7f
  EXPECT_TRUE(PositionIsConsistent(*p, true, true));
}

TEST(Notation, PromotionFlagsAndDrops) {
  test::InitTables();
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  ASSERT_TRUE(SetPositionFromText(*p, "startpos moves 7g7f 3c3d", game, &err));
  Move m;
  EXPECT_EQ(ParseUsiMove(*p, "8h2b+ ", Black, &m, &err), 6);
  EXPECT_EQ(MoveFlag(m), FlagPromote);
  EXPECT_EQ(MoveCaptured(m), WBishop);
  EXPECT_EQ(ParseUsiMove(*p, "8h2b", Black, &m, &err), 5);
  EXPECT_EQ(MoveFlag(m), FlagNoPromote);
  // White drop of a pawn: code 1.
  ASSERT_TRUE(SetPositionFromText(*p, "sfen 4k4/9/9/9/9/9/9/9/4K4 w p 1", game, &err));
  EXPECT_EQ(ParseUsiMove(*p, "P*5e", White, &m, &err), 5);
  EXPECT_EQ(MovePiece(m), WPawn);
  EXPECT_EQ(MoveToUsi(m), "P*5e");
  EXPECT_EQ(MoveToUsi(EncodeMove(0, Empty, BSilver, 40, NoSquare)), "S*5e");
  EXPECT_EQ(MoveToUsi(EncodeMove(FlagPromote, BBishop, WBishop, 9 * 7 + 1, 9 * 1 + 7)), "2b8h+");
  // A gold move in the zone has flag 0.
  ASSERT_TRUE(SetPositionFromText(*p, "sfen 4k4/9/3G5/9/9/9/9/9/4K4 b - 1", game, &err));
  EXPECT_EQ(ParseUsiMove(*p, "6c6b", Black, &m, &err), 5);
  EXPECT_EQ(MoveFlag(m), FlagNone);
}

TEST(Notation, HandsAndSfenRoundTrip) {
  test::InitTables();
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  ASSERT_TRUE(SetPositionFromText(*p, "sfen 4k4/9/9/9/9/9/9/9/4K4 b 2P3p 1", game, &err));
  EXPECT_EQ(HandCount(*p, BPawn), 2);
  EXPECT_EQ(HandCount(*p, WPawn), 3);
  ASSERT_TRUE(SetPositionFromText(*p, "sfen 4k4/9/9/9/9/9/9/9/4K4 b 10p 1", game, &err));
  EXPECT_EQ(HandCount(*p, WPawn), 10);
  for (const std::string& text : test::SamplePositions()) {
    int side;
    auto q = test::MakePosition(text, &side);
    std::string sfen = PositionToSfen(*q, side);
    auto r = test::MakePosition("sfen " + sfen);
    EXPECT_EQ(PositionToSfen(*r, side), sfen);
    EXPECT_EQ(r->keyFull, q->keyFull);
  }
}

// Each bad text is refused with a message; the position stays consistent.
TEST(Notation, BadTextIsRefusedSafely) {
  test::InitTables();
  const char* bad[] = {
      "sfen",
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1 b - 1",      // eight ranks
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNLL b - 1",
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSN b - 1",
      "sfen lnsgkgsnl/1r5b1/ppppppppx/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1",  // unknown letter
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL x - 1",  // side
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b 3Q 1",  // hand letter
      "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b P 1",   // 19 pawns
      "sfen 4k4/9/9/9/9/9/9/9/4K4 b 5G 1",                                     // 5 golds
      "sfen 4k4/9/9/9/9/9/9/9/3KK4 b - 1",                                     // two Black kings
      "sfen 4k4/9/9/9/9/9/9/9/4+G4 b - 1",                                     // promoted gold
      "sfen 4k4/9/9/9/9/9/9/9/4K4 b 99P 1",
      "startpos moves 7g7f 3c3d 8h2x",
      "startpos moves 7g7f 7g7f",            // no piece of the side to move
      "startpos moves 7g7e",                 // not a possible move
      "startpos moves 5i5h+",                // a king cannot promote
      "startpos moves G*5e",                 // not in hand
      "startpos moves 7g7f 3c3d 8h8h",
      "startpos moves 7g7f3c3d",
      "startpos moves 0a1b",
      "garbage",
  };
  for (const char* text : bad) {
    auto p = std::make_unique<Position>();
    GameCursor game;
    std::string err;
    EXPECT_FALSE(SetPositionFromText(*p, text, game, &err)) << text;
    EXPECT_FALSE(err.empty()) << text;
    EXPECT_TRUE(PositionIsConsistent(*p, true, true)) << text;
  }
  // A bad move stops there: the moves before it stay applied.
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  EXPECT_FALSE(SetPositionFromText(*p, "startpos moves 7g7f 3c3d 2h2h", game, &err));
  EXPECT_EQ(game.moveCount, 2);
  EXPECT_NE(err.find("2h2h"), std::string::npos) << err;
}

TEST(Notation, LetterTables) {
  EXPECT_EQ(LetterToPieceCode('K'), 14);
  EXPECT_EQ(LetterToPieceCode('r'), 13);
  EXPECT_EQ(LetterToPieceCode('x'), -1);
  EXPECT_EQ(DropLetterToCode('R', Black), 12);
  EXPECT_EQ(DropLetterToCode('R', White), 13);
  EXPECT_EQ(DropLetterToCode('K', Black), 0);
}

}  // namespace
}  // namespace kestrel
