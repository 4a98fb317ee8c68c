// The match tool: Elo arithmetic against known values, the sequential test's decisions,
// openings that are legal and repeatable, and a short game between two engine processes.
#include <cmath>

#include "game/opening.h"
#include "match/match.h"
#include "match/match_stats.h"
#include "test_util.h"

namespace kestrel {
namespace {

// Elo and its 95 % interval against values worked out by hand: 30 wins of 40 give a
// score of 0.75 with a per-game variance of 0.1875; a clean sweep of 10 takes the
// variance one different game would give, 0.25 / 11.
TEST(MatchStats, EloIntervalAndSequentialTest) {
  EXPECT_NEAR(EloOfScore(0.5), 0, 1e-9);
  EXPECT_NEAR(EloOfScore(0.25), -190.85, 0.01);
  const EloEstimate e = EstimateElo(MatchTally{30, 0, 10});
  EXPECT_NEAR(e.score, 0.75, 1e-12);
  EXPECT_NEAR(e.elo, 190.85, 0.01);
  EXPECT_NEAR(e.eloLow, 81.96, 0.01);
  EXPECT_NEAR(e.eloHigh, 353.12, 0.01);
  const EloEstimate sweep = EstimateElo(MatchTally{10, 0, 0});
  EXPECT_NEAR(sweep.eloLow, 394.75, 0.01);
  EXPECT_GT(sweep.elo, 2000);  // finite, from the clamped score
  // The sequential test decides only when the result is clear.
  const double a = 0.05, b = 0.05;
  EXPECT_EQ(SprtDecision(SprtLogLikelihoodRatio(MatchTally{6, 2, 4}, 0, 50), a, b), 0);
  EXPECT_EQ(SprtDecision(SprtLogLikelihoodRatio(MatchTally{80, 10, 20}, 0, 50), a, b), 1);
  EXPECT_EQ(SprtDecision(SprtLogLikelihoodRatio(MatchTally{20, 10, 80}, 0, 50), a, b), -1);
  EXPECT_NEAR(SprtLogLikelihoodRatio(MatchTally{}, 0, 50), 0, 1e-12);
}

TEST(MatchTool, OpeningsAreLegalAndRepeatable) {
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

// The match command as a user runs it: two engines (the first named by default, since
// an option follows it) play two short games from one opening with colours swapped;
// every move is legal and the summary and the log say so.
TEST(MatchTool, CommandPlaysAndSummarises) {
  const std::string dir = test::MakeTempDir();
  ASSERT_FALSE(dir.empty());
  test::CopyEvaluationData(dir);
  const std::string cmd = std::string(KESTREL_BINARY) + " match --engine " KESTREL_BINARY " " + dir +
                          " --option KestrelLevel=2 --engine " KESTREL_BINARY " " + dir +
                          " b --games 2 --max-plies 10 --random-plies 4 --byoyomi 100 --tolerance 5000 --log " +
                          dir + "/log.txt > " + dir + "/out.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string out = test::ReadFileText(dir + "/out.txt");
  EXPECT_NE(out.find("Score of engine1 vs b: "), std::string::npos) << out;
  EXPECT_NE(out.find("over 2 games"), std::string::npos) << out;
  EXPECT_NE(out.find("Illegal moves or declarations: 0, losses on time: 0, crashes or silences: 0"), std::string::npos)
      << out;
  std::istringstream log(test::ReadFileText(dir + "/log.txt"));
  std::string line, opening;
  int games = 0;
  for (; std::getline(log, line); ++games) {
    const size_t at = line.find(": startpos moves ");
    ASSERT_NE(at, std::string::npos) << line;
    auto p = test::MakePosition(line.substr(at + 2));  // every move legal
    const std::string first4 = line.substr(at + 17, 19);
    EXPECT_TRUE(games == 0 || first4 == opening) << line;
    opening = first4;
  }
  EXPECT_EQ(games, 2);
  test::RemoveTree(dir);
}

}  // namespace
}  // namespace kestrel
