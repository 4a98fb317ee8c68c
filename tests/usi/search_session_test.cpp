// Scripted sessions around searching: immediate moves, stop and ponderhit timing,
// gameover during a search, declaration wins, a proved mate played out over several
// turns, and book moves.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/hashkeys.h"
#include "board/makemove.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "usi/notation.h"
#include "usi/usi_process.h"

namespace kestrel_test {
namespace {

using namespace kestrel;

class SearchSession : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBoardTables();
    InitHashKeys();
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    CopyEvaluationData(dir);
  }
  void TearDown() override { RemoveTree(dir); }

  void StartGame(UsiProcess& e, const std::vector<std::string>& options = {}) {
    ASSERT_TRUE(e.Start(dir));
    std::vector<std::string> lines;
    e.Send("usi");
    ASSERT_TRUE(e.ReadUntil("usiok", &lines));
    for (const std::string& o : options) e.Send(o);
    e.Send("isready");
    ASSERT_TRUE(e.ReadUntil("readyok", &lines));
    e.Send("usinewgame");
  }
  // Lines up to and including the next "bestmove"; every earlier one is an "info" line.
  std::vector<std::string> UntilBestMove(UsiProcess& e) {
    std::vector<std::string> lines;
    EXPECT_TRUE(e.ReadBestMove(&lines)) << (lines.empty() ? std::string() : lines.back());
    return lines;
  }
  static std::string MoveOf(const std::string& bestLine) {
    const size_t end = bestLine.find(' ', 9);
    return bestLine.substr(9, end == std::string::npos ? std::string::npos : end - 9);
  }
  static bool IsLegalText(const std::string& position, const std::string& move) {
    auto p = std::make_unique<Position>();
    GameCursor game;
    std::string err;
    if (!SetPositionFromText(*p, position, game, &err)) return false;
    Move m;
    return ParseUsiMove(*p, move.c_str(), game.side, &m, &err) != 0 && IsLegalMove(*p, m, game.side);
  }
  std::string dir;
};

TEST_F(SearchSession, OnlyMoveIsPlayedAtOnce) {
  UsiProcess e;
  StartGame(e);
  e.Send("position sfen 8k/9/9/9/9/9/9/1r7/K8 b - 1");
  e.Send("go btime 600000 wtime 600000 byoyomi 10000");
  const auto lines = UntilBestMove(e);
  EXPECT_EQ(lines.back(), "bestmove 9i8h");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(SearchSession, StopQueuedBehindGoGivesOneBestMove) {
  UsiProcess e;
  StartGame(e);
  e.Send("position startpos moves 7g7f 3c3d");
  e.Send("go infinite");
  e.Send("stop");
  const auto lines = UntilBestMove(e);
  EXPECT_TRUE(IsLegalText("startpos moves 7g7f 3c3d", MoveOf(lines.back()))) << lines.back();
  // A second "stop" repeats the move: its answer is the very next line, so the search
  // printed exactly one bestmove.
  e.Send("stop");
  std::string line;
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line, lines.back());
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(SearchSession, SubSecondClockStillPlaysAMove) {
  UsiProcess e;
  StartGame(e);
  // A short clock, then one already spent: the GUI judges the clock, the engine still moves.
  for (const char* go : {"go btime 700 wtime 700", "go btime 0 wtime 0"}) {
    e.Send("position startpos");
    e.Send(go);
    const auto lines = UntilBestMove(e);
    EXPECT_NE(lines.back(), "bestmove resign") << go;
    EXPECT_TRUE(IsLegalText("startpos", MoveOf(lines.back()))) << go << ": " << lines.back();
  }
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(SearchSession, PonderhitAnswersOnceWithAMoveAndAPonderMove) {
  UsiProcess e;
  StartGame(e, {"setoption name USI_Ponder value true"});
  // With byoyomi, then with increments (a second go in the same game).
  std::string position = "startpos moves 2g2f 8c8d";
  for (const char* clock : {"byoyomi 1000", "binc 1000 winc 1000"}) {
    e.Send("position " + position);
    e.Send(std::string("go ponder btime 10000 wtime 10000 ") + clock);
    e.Send("ponderhit");
    const auto lines = UntilBestMove(e);
    const std::string best = MoveOf(lines.back());
    EXPECT_TRUE(IsLegalText(position, best)) << clock << ": " << lines.back();
    // USI_Ponder is on: a second of search leaves a reply to ponder on, legal after the move.
    const size_t at = lines.back().find(" ponder ");
    ASSERT_NE(at, std::string::npos) << lines.back();
    EXPECT_TRUE(IsLegalText(position + " " + best, lines.back().substr(at + 8))) << lines.back();
    position += " " + best + " 3c3d";
  }
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(SearchSession, GameoverDuringASearchReturnsToWaiting) {
  UsiProcess e;
  StartGame(e);
  e.Send("position startpos");
  e.Send("go infinite");
  e.Send("gameover lose");
  // Back in the waiting state "isready" is answered, and nothing else was printed.
  e.Send("isready");
  std::vector<std::string> lines;
  ASSERT_TRUE(e.ReadUntil("readyok", &lines));
  for (const std::string& l : lines) EXPECT_NE(l.compare(0, 8, "bestmove"), 0) << l;
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(SearchSession, DeclarationWinIsAnnouncedWithoutAMove) {
  UsiProcess e;
  StartGame(e);
  e.Send("position sfen RBG1K1GBR/PPPPPPPPP/9/9/9/9/9/9/4k4 b - 1");
  e.Send("go btime 10000 wtime 10000 byoyomi 1000");
  const auto lines = UntilBestMove(e);
  EXPECT_EQ(lines.back(), "bestmove win");
  // The root position is unchanged: "stop" has no move of this search to repeat.
  e.Send("stop");
  std::string line;
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line, "bestmove resign");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

// A mate proved before the search is played out over the next turns with score 29999
// and no ponder move, whatever the defender replies.
TEST_F(SearchSession, ProvedMateIsPlayedOut) {
  UsiProcess e;
  StartGame(e, {"setoption name USI_Ponder value true"});
  std::string position = "sfen 8k/9/9/9/9/9/9/9/K8 b RB 1";
  std::string moves;
  for (int turn = 0; turn < 12; ++turn) {
    const std::string text = position + (moves.empty() ? "" : " moves" + moves);
    e.Send("position " + text);
    e.Send("go btime 60000 wtime 60000 byoyomi 1000");
    const auto lines = UntilBestMove(e);
    const std::string best = lines.back();
    ASSERT_EQ(best.find(" ponder "), std::string::npos) << best;
    ASSERT_TRUE(IsLegalText(text, MoveOf(best))) << text << " " << best;
    bool mateScore = false;
    for (const std::string& l : lines) mateScore |= l.find("score cp 29999") != std::string::npos;
    EXPECT_TRUE(mateScore) << "turn " << turn;
    moves += " " + MoveOf(best);
    // The defender's reply: the first legal move, if any.
    auto p = std::make_unique<Position>();
    GameCursor game;
    std::string err;
    ASSERT_TRUE(SetPositionFromText(*p, position + " moves" + moves, game, &err)) << err;
    Move list[MaxMoves];
    Move* end = GenerateLegalMoves(*p, list, game.side);
    if (end == list) {
      SUCCEED() << "mated after " << turn + 1 << " attacking moves";
      e.Send("quit");
      EXPECT_EQ(e.WaitExit(), 0);
      return;
    }
    moves += " " + MoveToUsi(list[0]);
  }
  FAIL() << "the mate was not completed";
}

// Book: of two candidates the reliable one is played; an unreliable one never is.
TEST_F(SearchSession, BookMoveChosenByReliability) {
  // Keys of the positions after 7g7f and after 2g2f (White to move in both).
  auto keyAfter = [](const std::string& move, uint64_t* board, uint32_t* slot) {
    auto p = std::make_unique<Position>();
    GameCursor game;
    std::string err;
    SetPositionFromText(*p, "startpos moves " + move, game, &err);
    *board = p->keyBoard;
    *slot = (uint32_t)(~p->keyFull) & 0xFFFFF;
  };
  uint64_t k1, k2;
  uint32_t s1, s2;
  keyAfter("7g7f", &k1, &s1);
  keyAfter("2g2f", &k2, &s2);
  ASSERT_NE(s1, s2);
  // 7g7f: 200 games, the side to move (White) lost most: percent for Black 80, rating 1500.
  // 2g2f: 200 games, percent 10, rating 500: reliability far below 75.
  char text[512];
  std::snprintf(text, sizeof text, "%u$%llu$0$200$40$1$1500$0$\n%u$%llu$0$200$180$1$500$0$\n", s1,
                (unsigned long long)k1, s2, (unsigned long long)k2);
  mkdir((dir + "/Book").c_str(), 0755);
  WriteFileText(dir + "/Book/book.db", text);
  for (int round = 0; round < 3; ++round) {
    UsiProcess e;
    StartGame(e);
    e.Send("position startpos");
    e.Send("go btime 10000 wtime 10000 byoyomi 1000");
    const auto lines = UntilBestMove(e);
    EXPECT_EQ(lines.back(), "bestmove 7g7f");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "info time 0 depth 0 nodes 0 score cp 0 pv 7g7f");
    e.Send("quit");
    EXPECT_EQ(e.WaitExit(), 0);
  }
}

}  // namespace
}  // namespace kestrel_test
