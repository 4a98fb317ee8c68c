// USI position and move text both ways, and bad text that must be refused safely.
#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "movegen/attacks.h"
#include "test_util.h"

namespace kestrel {
namespace {

// Move text both ways: promotion flags, drops, captures and a gold's flag in the zone.
TEST(Notation, MovesBothWays) {
  struct Case {
    const char* position;
    const char* text;
    int consumed, flag, piece, captured;
  } cases[] = {
      {"startpos moves 7g7f 3c3d", "8h2b+ ", 6, FlagPromote, BBishop, WBishop},
      {"startpos moves 7g7f 3c3d", "8h2b", 5, FlagNoPromote, BBishop, WBishop},
      {"sfen 4k4/9/9/9/9/9/9/9/4K4 w p 1", "P*5e", 5, FlagNone, WPawn, Empty},
      {"sfen 4k4/9/3G5/9/9/9/9/9/4K4 b - 1", "6c6b", 5, FlagNone, BGold, Empty},
  };
  for (const Case& c : cases) {
    int side;
    auto p = test::MakePosition(c.position, &side);
    Move m = 0;
    std::string err;
    ASSERT_EQ(ParseUsiMove(*p, c.text, side, &m, &err), c.consumed) << c.text << err;
    EXPECT_EQ(MoveFlag(m), c.flag) << c.text;
    EXPECT_EQ(MovePiece(m), c.piece) << c.text;
    EXPECT_EQ(MoveCaptured(m), c.captured) << c.text;
    EXPECT_EQ(MoveToUsi(m), std::string(c.text, 4 + (c.flag == FlagPromote))) << c.text;
  }
  EXPECT_EQ(MoveToUsi(EncodeMove(FlagPromote, BBishop, WBishop, 9 * 7 + 1, 9 * 1 + 7)), "2b8h+");
  auto p = test::MakePosition("startpos moves 7g7f 3c3d");
  EXPECT_EQ(p->history[2].keyBoard, p->keyBoard);
  EXPECT_EQ(p->board[9 * 5 + 2], BPawn);  // 7f
}

// Every legal move reads back from its own text as the same move, promotion flags at the
// zone's edges included, along random games from the sample positions.
TEST(Notation, EveryLegalMoveReadsBackFromItsText) {
  std::mt19937 rng(5);
  int moves = 0;
  for (const std::string& text : test::SamplePositions()) {
    int side;
    auto p = test::MakePosition(text, &side);
    for (int step = 0; step < 30; ++step) {
      for (const Move m : test::LegalMoves(*p, side)) {
        const std::string t = MoveToUsi(m);
        Move back = 0;
        std::string err;
        // The count includes the character after the move.
        ASSERT_EQ(ParseUsiMove(*p, t.c_str(), side, &back, &err), (int)t.size() + 1) << text << ": " << t << err;
        ASSERT_EQ(back, m) << text << ": " << t;
        ++moves;
      }
      side = test::RandomPlay(*p, side, 1, rng);
    }
  }
  EXPECT_GT(moves, 10000);
}

TEST(Notation, HandsAndSfenRoundTrip) {
  test::InitTables();
  auto p = std::make_unique<Position>();
  GameCursor game;
  std::string err;
  ASSERT_TRUE(SetPositionFromText(*p, "sfen 4k4/9/9/9/9/9/9/9/4K4 b 2P3p 1", game, &err));
  EXPECT_EQ(HandCount(*p, BPawn), 2);
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

}  // namespace
}  // namespace kestrel
