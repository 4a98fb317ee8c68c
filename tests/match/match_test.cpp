// The match tool: Elo arithmetic against known values, the sequential test's decisions,
// openings that are legal and repeatable, and a short game between two engine processes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "match/match.h"
#include "match/match_stats.h"
#include "test_util.h"

namespace kestrel {
namespace {

TEST(MatchStats, EloAndIntervalFollowTheScore) {
  EXPECT_NEAR(EloOfScore(0.5), 0, 1e-9);
  EXPECT_NEAR(EloOfScore(0.75), 190.85, 0.01);
  EXPECT_NEAR(EloOfScore(0.25), -190.85, 0.01);
  const EloEstimate e = EstimateElo(MatchTally{30, 0, 10});
  EXPECT_NEAR(e.score, 0.75, 1e-12);
  EXPECT_LT(e.eloLow, e.elo);
  EXPECT_GT(e.eloHigh, e.elo);
  EXPECT_GT(e.eloLow, 0);  // 30 wins of 40 are clear
  // Four times the games halve the interval's width in score.
  const EloEstimate big = EstimateElo(MatchTally{120, 0, 40});
  EXPECT_LT(big.eloHigh - big.eloLow, (e.eloHigh - e.eloLow) * 0.6);
  // A clean sweep still has an interval and a finite estimate.
  const EloEstimate sweep = EstimateElo(MatchTally{10, 0, 0});
  EXPECT_TRUE(std::isfinite(sweep.elo));
  EXPECT_LT(sweep.eloLow, sweep.elo);
}

TEST(MatchStats, SequentialTestDecidesOnlyWhenClear) {
  const double a = 0.05, b = 0.05;
  EXPECT_EQ(SprtDecision(SprtLogLikelihoodRatio(MatchTally{6, 2, 4}, 0, 50), a, b), 0);
  EXPECT_EQ(SprtDecision(SprtLogLikelihoodRatio(MatchTally{80, 10, 20}, 0, 50), a, b), 1);
  EXPECT_EQ(SprtDecision(SprtLogLikelihoodRatio(MatchTally{20, 10, 80}, 0, 50), a, b), -1);
  EXPECT_NEAR(SprtLogLikelihoodRatio(MatchTally{}, 0, 50), 0, 1e-12);
}

TEST(Match, OpeningsAreLegalAndRepeatable) {
  test::InitTables();
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    const std::string o = RandomOpening(10, seed);
    EXPECT_EQ(o, RandomOpening(10, seed));
    auto p = test::MakePosition("startpos moves " + o);  // fails the test on a bad move
    int words = 1;
    for (char c : o) words += c == ' ';
    EXPECT_EQ(words, 10) << o;
  }
  EXPECT_NE(RandomOpening(10, 1), RandomOpening(10, 2));
}

// Two engine processes play a short game through the GUI's loop: every move is checked,
// and the game ends as a draw by length with the opening kept in its record.
TEST(Match, ShortGameBetweenTwoEngines) {
  test::InitTables();
  const std::string dir = test::MakeTempDir();
  ASSERT_FALSE(dir.empty());
  ASSERT_EQ(std::system(("mkdir -p " + dir + "/Evaluation && cp " KESTREL_DATA_DIR "/Evaluation/evaluation.txt " +
                         dir + "/Evaluation/").c_str()), 0);
  EngineSpec engines[2] = {{"a", KESTREL_BINARY, dir, {{"KestrelLevel", "2"}}},
                           {"b", KESTREL_BINARY, dir, {{"KestrelLevel", "1"}}}};
  MatchClock clock;
  clock.byoyomiMs = 100;
  clock.toleranceMs = 5000;  // a loaded test machine; no time is judged here
  const std::string opening = RandomOpening(4, 7);
  const GameOutcome g = PlayMatchGame(engines, 1, clock, opening, 14);
  EXPECT_FALSE(g.illegal || g.crash || g.timeLoss) << g.reason;
  EXPECT_EQ(g.moves.compare(0, opening.size(), opening), 0);
  if (g.reason == "length") {
    EXPECT_EQ(g.plies, 14);
    EXPECT_EQ(g.winner, -1);
  }
  EXPECT_EQ(g.think[0].moves + g.think[1].moves, g.plies - 4);
  test::RemoveTree(dir);
}

}  // namespace
}  // namespace kestrel
