// The referee as a decision table over short scripted games: mate, the fourth repetition
// as a draw or, with one side checking throughout, as that side's loss, and the ply cap.
#include "game/opening.h"
#include "game/referee.h"
#include "test_util.h"

namespace kestrel {
namespace {

// Plays the moves of `script` (USI text, repeated `times`) from `sfen` under a referee
// with the given cap; the verdict that ended the game (or None) and the plies it took.
std::pair<Verdict, int> Judge(const std::string& sfen, const std::string& script, int times, int plyCap = 0) {
  test::InitTables();
  GameCursor game;
  std::string err;
  auto p = std::make_unique<Position>();
  EXPECT_TRUE(SetPositionFromText(*p, "sfen " + sfen, game, &err)) << err;
  Referee r;
  Verdict v = StartReferee(r, *p, game.side, plyCap);
  int plies = 0;
  for (int t = 0; t < times && v.end == GameEnd::None; ++t) {
    std::istringstream in(script);
    for (std::string word; v.end == GameEnd::None && in >> word;) {
      Move m = 0;
      EXPECT_NE(ParseUsiMove(*p, word.c_str(), game.side, &m, &err), 0) << word << ": " << err;
      EXPECT_TRUE(IsLegalMove(*p, m, game.side)) << word;
      PlayGameMove(*p, game, m);
      v = JudgeAfterMove(r, *p, game.side);
      ++plies;
    }
  }
  return {v, plies};
}

TEST(Referee, GameEndsDecisionTable) {
  const char* rook = "4k4/9/5R3/9/9/9/9/9/4K4 b - 1";
  const struct {
    const char *sfen, *script;
    int times, plyCap;
    GameEnd end;
    int winner, plies;
  } cases[] = {
      // The rook checks with every move while the king steps aside: the fourth occurrence
      // of the start position, twelve plies on, is Black's loss.
      {rook, "4c5c 5a4a 5c4c 4a5a", 5, 0, GameEnd::PerpetualCheck, White, 12},
      // Kings walking to and fro: a draw on the fourth occurrence.
      {rook, "5i5h 5a5b 5h5i 5b5a", 5, 0, GameEnd::Repetition, 0, 12},
      // A side that checks only some of the time gives a plain repetition (the position
      // after 5a4a comes back every four moves).
      {rook, "4c5c 5a4a 5c5d 4a4b 5d5c 4b4a 5c4c 4a5a", 5, 0, GameEnd::Repetition, 0, 14},
      // A mate ends the game at once, for the side that gave it.
      {"4k4/9/4G4/9/9/9/9/9/4K4 b G 1", "G*5b", 1, 0, GameEnd::Mate, Black, 1},
      // The cap counts moves from the referee's start.
      {rook, "5i5h 5a5b 5h5i 5b5a", 5, 3, GameEnd::PlyCap, 0, 3},
  };
  for (const auto& c : cases) {
    const auto [v, plies] = Judge(c.sfen, c.script, c.times, c.plyCap);
    EXPECT_TRUE(v.end == c.end && v.winner == c.winner && plies == c.plies) << c.script << ": " << plies;
  }
  // A declaration the rules do not allow loses.
  EXPECT_EQ(JudgeDeclaration(*test::MakePosition("startpos"), Black).winner, White);
}

// Random moves: an opening never hands over a finished game, while the same draw without
// that care does run into the mate that a gold drop gives here.
TEST(Referee, RandomOpeningsStopBeforeAMate) {
  test::InitTables();
  int mates = 0;
  for (uint64_t seed = 0; seed < 2000; ++seed)
    for (const bool keepGoing : {true, false}) {
      GameCursor game;
      std::string err;
      auto p = std::make_unique<Position>();
      ASSERT_TRUE(SetPositionFromText(*p, "sfen 4k4/9/4G4/9/9/9/9/9/K8 b G 1", game, &err));
      std::mt19937_64 rng(seed);
      EXPECT_TRUE(PlayRandomMoves(*p, game, 1, rng, keepGoing));  // a game that goes on
      const bool mated = !HasLegalMove(*p, game.side);
      EXPECT_FALSE(keepGoing && mated) << seed;
      mates += mated;
    }
  EXPECT_GT(mates, 0);
}

}  // namespace
}  // namespace kestrel
