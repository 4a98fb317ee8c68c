// USI position and move text both ways, and bad text that must be refused safely.
#include "test_util.h"

namespace kestrel {
namespace {

// Move text against the board: "7g7f" moves the pawn from file 7 rank g to rank f, the
// moves are recorded, and a White bishop taking on 8h from 2b and promoting prints so.
// (The round trip of every legal move in the generator tests cannot see a reading and a
// printing that are wrong alike.)
TEST(Notation, MoveTextMatchesTheBoard) {
  auto p = test::MakePosition("startpos moves 7g7f 3c3d");
  EXPECT_EQ(p->board[9 * 5 + 2], BPawn);
  EXPECT_EQ(p->board[9 * 3 + 6], WPawn);
  EXPECT_EQ(p->history[2].keyBoard, p->keyBoard);
  EXPECT_EQ(MoveToUsi(EncodeMove(FlagPromote, BBishop, WBishop, 9 * 7 + 1, 9 * 1 + 7)), "2b8h+");
}

TEST(Notation, HandsAndSfenRoundTrip) {
  EXPECT_EQ(HandCount(*test::MakePosition("sfen 4k4/9/9/9/9/9/9/9/4K4 b 2P3p 1"), BPawn), 2);
  EXPECT_EQ(HandCount(*test::MakePosition("sfen 4k4/9/9/9/9/9/9/9/4K4 b 10p 1"), WPawn), 10);
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
      "sfen 4k4/9/9/9/9/9/9/9/4K4 b 0P 1",
      "sfen 4k4/9/9/9/9/9/9/9/4K4 b P 1 moves P*:e",                           // file past 9
      "sfen 4k4/9/9/9/9/9/9/9/4K4 b P 1 moves P*0e",
      "sfen 4k4/9/9/9/9/9/9/9/4K4 b P 1 moves P*5j",                           // rank past i
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
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  for (const char* text : bad) {
    err.clear();
    EXPECT_FALSE(SetPositionFromText(*p, text, game, &err)) << text;
    EXPECT_FALSE(err.empty()) << text;
    EXPECT_TRUE(PositionIsConsistent(*p, true, true)) << text;
  }
  // A bad move stops there: the moves before it stay applied.
  EXPECT_FALSE(SetPositionFromText(*p, "startpos moves 7g7f 3c3d 2h2h", game, &err));
  EXPECT_EQ(game.moveCount, 2);
  EXPECT_NE(err.find("2h2h"), std::string::npos) << err;
}

}  // namespace
}  // namespace kestrel
