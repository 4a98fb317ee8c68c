// Scripted USI sessions against the real executable, each in a fresh working directory.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/attack_tables.h"
#include "board/hashkeys.h"
#include "usi/notation.h"
#include "usi/usi_process.h"

namespace kestrel_test {
namespace {

const std::vector<std::string> IdBlockDefaults = {
    "id name KestrelAlpha",
    "id author Vellacott",
    "option name KestrelLevel type spin default 10 min 1 max 10",
    "option name ThreadNumber type spin default 1 min 0 max 32",
    "option name UseBookUntilMove type spin default 10 min 0 max 50",
    "usiok",
};

class UsiSession : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    CopyEvaluationData(dir);
  }
  void TearDown() override { RemoveTree(dir); }

  // Runs "usi" and returns the identification block.
  std::vector<std::string> Identify(UsiProcess& e) {
    std::vector<std::string> lines;
    e.Send("usi");
    EXPECT_TRUE(e.ReadUntil("usiok", &lines));
    return lines;
  }
  // Waits until every earlier line of the waiting state has been handled.
  void Sync(UsiProcess& e) {
    std::string line;
    e.Send("isready");
    ASSERT_TRUE(e.ReadLine(&line));
    if (line == NoWeightsLine()) {
      ASSERT_TRUE(e.ReadLine(&line));
    }
    ASSERT_EQ(line, "readyok");
  }
  // The note after "usi" in a directory with piece values but no weight file.
  std::string NoWeightsLine() const {
    return "info string no positional weights (" + dir + "/Evaluation/eval_compact.bin not found): piece values only";
  }
  std::string Ini() { return ReadFileText(dir + "/Kestrel.ini"); }
  // The "bestmove" line that ends a search, after its "info" lines.
  std::string BestMoveLine(UsiProcess& e) {
    std::vector<std::string> lines;
    EXPECT_TRUE(e.ReadBestMove(&lines)) << "only info lines come before bestmove";
    return lines.empty() ? std::string() : lines.back();
  }

  std::string dir;
};

TEST_F(UsiSession, IdentificationReadyAndQuit) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  EXPECT_EQ(Identify(e), IdBlockDefaults);
  Sync(e);
  // A second "usi" repeats the block (and the loading behind it).
  EXPECT_EQ(Identify(e), IdBlockDefaults);
  e.Send("quit");
  EXPECT_EQ(e.ReadAll(), std::vector<std::string>{NoWeightsLine()});
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, OptionsAreWrittenAtOnceAndShownAfterRestart) {
  {
    UsiProcess e;
    ASSERT_TRUE(e.Start(dir));
    e.Send("setoption name ThreadNumber value 8");
    Sync(e);
    EXPECT_EQ(Ini(), "[CustomSettings]\nThreadNumber=8\n");
    // Out-of-range values: the text is stored as sent, the value is clamped to the range.
    e.Send("setoption name KestrelLevel value 99");
    e.Send("setoption name UseBookUntilMove value -3");
    Sync(e);
    EXPECT_EQ(Ini(), "[CustomSettings]\nThreadNumber=8\nKestrelLevel=99\nUseBookUntilMove=-3\n");
    std::vector<std::string> id = Identify(e);
    ASSERT_EQ(id.size(), 6u);
    EXPECT_EQ(id[2], "option name KestrelLevel type spin default 10 min 1 max 10");
    EXPECT_EQ(id[3], "option name ThreadNumber type spin default 8 min 0 max 32");
    EXPECT_EQ(id[4], "option name UseBookUntilMove type spin default 0 min 0 max 50");
    e.Send("quit");
    EXPECT_EQ(e.WaitExit(), 0);
  }
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  std::vector<std::string> id = Identify(e);
  ASSERT_EQ(id.size(), 6u);
  EXPECT_EQ(id[2], "option name KestrelLevel type spin default 10 min 1 max 10");
  EXPECT_EQ(id[3], "option name ThreadNumber type spin default 8 min 0 max 32");
  EXPECT_EQ(id[4], "option name UseBookUntilMove type spin default 0 min 0 max 50");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, ExistingSettingsFileIsReadWithoutCaseAndKeptOnWrite) {
  WriteFileText(dir + "/Kestrel.ini",
                "; engine settings\n[Other]\nThreadNumber=30\n\n[customsettings]\nthreadnumber = 3\n"
                "kestrellevel=\"7\"\n\n[Tail]\nx=1\n");
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  std::vector<std::string> id = Identify(e);
  ASSERT_EQ(id.size(), 6u);
  EXPECT_EQ(id[2], "option name KestrelLevel type spin default 7 min 1 max 10");
  EXPECT_EQ(id[3], "option name ThreadNumber type spin default 3 min 0 max 32");
  EXPECT_EQ(id[4], "option name UseBookUntilMove type spin default 10 min 0 max 50");
  e.Send("setoption name ThreadNumber value 5");
  e.Send("setoption name UseBookUntilMove value 20");
  Sync(e);
  EXPECT_EQ(Ini(),
            "; engine settings\n[Other]\nThreadNumber=30\n\n[customsettings]\nThreadNumber=5\n"
            "kestrellevel=\"7\"\nUseBookUntilMove=20\n\n[Tail]\nx=1\n");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, QuitWaitsForQueuedLines) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  // Everything in one write: the engine may still be starting up when "quit" arrives.
  std::string script = "usi\n";
  for (int i = 0; i < 40; ++i) script += "isready\n";
  script += "quit\nisready\n";
  ASSERT_TRUE(e.Write(script));
  std::vector<std::string> expected = IdBlockDefaults;
  expected.push_back(NoWeightsLine());
  for (int i = 0; i < 40; ++i) expected.push_back("readyok");
  EXPECT_EQ(e.ReadAll(), expected);
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, EndOfInputActsAsQuit) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  // Windows line ends are accepted, and a last line without a newline keeps its last letter.
  ASSERT_TRUE(e.Write("usi\r\nisready\r\nisready"));
  e.CloseInput();
  std::vector<std::string> expected = IdBlockDefaults;
  expected.push_back(NoWeightsLine());
  expected.push_back("readyok");
  expected.push_back("readyok");
  EXPECT_EQ(e.ReadAll(), expected);
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, GameStateIgnoresIsreadyAndStopWithoutSearchResigns) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  e.Send("usinewgame");
  e.Send("isready");
  e.Send("setoption name ThreadNumber value 9");
  e.Send("usinewgame");
  e.Send("stop");
  std::string line;
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line, "bestmove resign");
  e.Send("gameover");
  Sync(e);
  EXPECT_EQ(Ini(), "");  // the setoption of the game state was ignored
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, GoAnswersALegalMoveAndStopRepeatsIt) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  Identify(e);
  e.Send("usinewgame");
  e.Send("position startpos moves 7g7f 3c3d");
  e.Send("go btime 0 wtime 0 byoyomi 1000");
  std::string line;
  line = BestMoveLine(e);
  ASSERT_EQ(line.compare(0, 9, "bestmove "), 0) << line;
  const std::string move = line.substr(9);
  ASSERT_EQ(move.find(' '), std::string::npos) << "no ponder part without USI_Ponder: " << line;
  kestrel::InitBoardTables();
  kestrel::InitHashKeys();
  auto pos = std::make_unique<kestrel::Position>();
  kestrel::GameCursor game;
  std::string err;
  EXPECT_TRUE(kestrel::SetPositionFromText(*pos, "startpos moves 7g7f 3c3d " + move, game, &err)) << err;
  e.Send("stop");
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line, "bestmove " + move);
  // A new game forgets the last game's move: "stop" has nothing to repeat.
  e.Send("gameover");
  e.Send("usinewgame");
  e.Send("stop");
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line, "bestmove resign");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, StopBeforeTheGameDoesNotSilenceItsFirstSearch) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  e.Send("stop");
  e.Send("ponderhit");
  e.Send("gameover");
  Sync(e);
  e.Send("usinewgame");
  e.Send("position startpos");
  e.Send("go btime 0 wtime 0 byoyomi 1000");
  std::string line;
  line = BestMoveLine(e);
  EXPECT_EQ(line.compare(0, 9, "bestmove "), 0) << line;
  EXPECT_NE(line, "bestmove resign");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, BadPositionsGiveOneInfoStringLineEach) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  e.Send("usinewgame");
  const std::vector<std::string> bad = {
      "position",
      "position foo",
      "position sfen",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1 b - 1",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNX b - 1",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL x - 1",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b 99P 1",
      "position startpos moves 7g7f 7g7f",
      "position startpos moves 7g7f 3c3d 8h2b+ zz",
      "position startpos moves P*5e",
      std::string("position startpos moves 7g7f \x01\xff", 32),
  };
  for (const std::string& cmd : bad) {
    e.Send(cmd);
    e.Send("stop");  // the answer to stop marks the end of the position command's output
    std::vector<std::string> lines;
    ASSERT_TRUE(e.ReadUntil("bestmove", &lines)) << cmd;
    ASSERT_EQ(lines.size(), 2u) << cmd;
    EXPECT_EQ(lines[0].compare(0, 12, "info string "), 0) << cmd << " -> " << lines[0];
    EXPECT_GT(lines[0].size(), 20u) << "the line names the problem";
    EXPECT_EQ(lines[1], "bestmove resign");
  }
  // A good position afterwards is taken without any message.
  e.Send("position sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1");
  e.Send("go btime 0 wtime 0 byoyomi 1000");
  std::string line = BestMoveLine(e);
  EXPECT_EQ(line.compare(0, 9, "bestmove "), 0) << line;
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, HashSizesAndOverlongLines) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  // A size that cannot be had is refused with a message; sensible sizes are silent.
  e.Send("setoption name USI_Hash value 2000000000");
  std::string line;
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line.compare(0, 12, "info string "), 0) << line;
  e.Send("setoption name USI_Hash value 64");
  e.Send("setoption name USI_Hash value 16");
  Sync(e);
  // A line longer than the input limit is dropped whole, with a message.
  ASSERT_TRUE(e.Send("isready" + std::string(70000, 'x')));
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line.compare(0, 12, "info string "), 0) << line;
  Sync(e);
  e.Send("usinewgame");
  e.Send("stop");
  ASSERT_TRUE(e.ReadLine(&line));
  EXPECT_EQ(line, "bestmove resign");
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

TEST_F(UsiSession, GoMateAndPonderhitAnswer) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  e.Send("usinewgame");
  e.Send("position sfen 4k4/9/9/9/9/9/9/9/4K4 b - 1");
  e.Send("go mate 1000");
  std::string line;
  ASSERT_TRUE(e.ReadLine(&line, 30000));
  EXPECT_EQ(line.compare(0, 10, "checkmate "), 0) << line;
  // go ponder prints nothing itself; ponderhit answers with a move of that position.
  e.Send("position startpos moves 7g7f");
  e.Send("go ponder btime 1000 wtime 1000 byoyomi 1000");
  e.Send("ponderhit");
  line = BestMoveLine(e);
  ASSERT_EQ(line.compare(0, 9, "bestmove "), 0) << line;
  kestrel::InitBoardTables();
  kestrel::InitHashKeys();
  auto pos = std::make_unique<kestrel::Position>();
  kestrel::GameCursor game;
  std::string err;
  EXPECT_TRUE(kestrel::SetPositionFromText(*pos, "startpos moves 7g7f " + line.substr(9), game, &err)) << err;
  e.Send("quit");
  EXPECT_EQ(e.WaitExit(), 0);
}

}  // namespace
}  // namespace kestrel_test
