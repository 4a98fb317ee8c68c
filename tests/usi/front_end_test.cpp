// Settings file, input line reading and queueing, go clock fields and the info line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "board/state.h"
#include "usi/go_command.h"
#include "mate/go_mate.h"
#include "search/info_line.h"
#include "usi/ini.h"
#include "usi/input_thread.h"
#include "board/move_text.h"
#include "usi/settings.h"
#include "usi/usi_process.h"

namespace kestrel {
namespace {

using kestrel_test::MakeTempDir;
using kestrel_test::ReadFileText;
using kestrel_test::RemoveTree;
using kestrel_test::WriteFileText;

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempDir(); path = dir + "/Kestrel.ini"; }
  void TearDown() override { RemoveTree(dir); }
  std::string dir, path;
};

TEST_F(IniFile, MissingFileSectionOrKeyGivesTheFallback) {
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "1");
  WriteFileText(path, "[Other]\nThreadNumber=4\n");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "1");
  WriteFileText(path, "[CustomSettings]\nKestrelLevel=4\n");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "1");
}

TEST_F(IniFile, ReadsWithoutCaseTrimsBlanksQuotesAndCarriageReturns) {
  WriteFileText(path, "[ customSETTINGS ]\r\n  threadnumber =  12  \r\nKestrelLevel='3'\r\nBook=\"x\r\n"
                      "Long=" + std::string(300, 'a') + "\n");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "12");
  EXPECT_EQ(ReadIniString(path, "customsettings", "kestrellevel", "10"), "3");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "Book", ""), "\"x");  // unmatched quote stays
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "Long", "").size(), IniValueMax);
}

TEST_F(IniFile, WriteCreatesReplacesInPlaceAndKeepsEverythingElse) {
  ASSERT_TRUE(WriteIniString(path, "CustomSettings", "ThreadNumber", "8"));
  EXPECT_EQ(ReadFileText(path), "[CustomSettings]\nThreadNumber=8\n");
  ASSERT_TRUE(WriteIniString(path, "CustomSettings", "KestrelLevel", "5"));
  ASSERT_TRUE(WriteIniString(path, "customsettings", "threadnumber", " 2 "));
  EXPECT_EQ(ReadFileText(path), "[CustomSettings]\nthreadnumber= 2 \nKestrelLevel=5\n");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "2");

  // A key above every section belongs to none: it is neither read nor replaced.
  WriteFileText(path, "; comment\nUseBookUntilMove=1\n[A]\nk=1\n\n[CustomSettings]\nx=y\n\n[B]\nk=2");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "UseBookUntilMove", "-"), "-");
  ASSERT_TRUE(WriteIniString(path, "CustomSettings", "UseBookUntilMove", "7"));
  ASSERT_TRUE(WriteIniString(path, "C", "k", "3"));
  EXPECT_EQ(ReadFileText(path), "; comment\nUseBookUntilMove=1\n[A]\nk=1\n\n[CustomSettings]\nx=y\n"
                                "UseBookUntilMove=7\n\n[B]\nk=2\n[C]\nk=3\n");
  EXPECT_EQ(ReadIniString(path, "A", "k", ""), "1");
  EXPECT_EQ(ReadIniString(path, "B", "k", ""), "2");
  EXPECT_EQ(ReadIniString(path, "C", "k", ""), "3");
}

TEST_F(IniFile, UnwritableDirectoryIsReportedNotClaimed) {
  EXPECT_FALSE(WriteIniString(dir + "/missing/dir/Kestrel.ini", "CustomSettings", "ThreadNumber", "8"));
}

TEST(Settings, TextToIntBehavesLikeTheClassicConversion) {
  EXPECT_EQ(TextToInt("8"), 8);
  EXPECT_EQ(TextToInt("  -12abc"), -12);
  EXPECT_EQ(TextToInt("abc"), 0);
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(TextToInt("-99999999999"), -2147483647 - 1);
}

// Reads lines from an in-memory stream.
struct MemoryInput {
  explicit MemoryInput(const std::string& text) : data(text) {
    f = fmemopen(data.empty() ? nullptr : &data[0], data.size(), "r");
  }
  ~MemoryInput() { if (f) std::fclose(f); }
  std::string data;
  FILE* f;
};

TEST(InputLines, NewlinesCarriageReturnsAndTheLastLine) {
  MemoryInput in("usi\r\nisready\n\nstop\r\r\nlast");
  std::string line;
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "usi");
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "isready");
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "");
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "stop\r");  // only the "\r" before the newline belongs to the line end
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(ReadInputLine(in.f, &line), LineRead::End);
}

TEST(InputLines, OverlongLinesAreDroppedWhole) {
  const std::string at(MaxInputLine, 'a');
  MemoryInput in(at + "\n" + at + "b\nnext\n" + at + "c");
  std::string line;
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line.size(), MaxInputLine);
  EXPECT_EQ(ReadInputLine(in.f, &line), LineRead::TooLong);
  ASSERT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "next");
  EXPECT_EQ(ReadInputLine(in.f, &line), LineRead::TooLong);
  EXPECT_EQ(ReadInputLine(in.f, &line), LineRead::End);
}

TEST(InputLines, PrefixesRaiseFlagsEveryLineIsQueuedAndQuitEndsReading) {
  std::string drained;
  while (TryNextCommand(&drained)) {}
  stopRequested = ponderhitReceived = gameoverReceived = false;
  MemoryInput in("isready\nstopper\nponderhit now\ngameover win\nquitting\nisready\n");
  ReadCommandLines(in.f);
  EXPECT_TRUE(stopRequested);
  EXPECT_TRUE(ponderhitReceived);
  EXPECT_TRUE(gameoverReceived);
  ASSERT_EQ(PendingCommandCount(), 4u);
  EXPECT_EQ(NextCommand(), "isready");
  EXPECT_EQ(NextCommand(), "stopper");
  EXPECT_EQ(NextCommand(), "ponderhit now");
  std::string line;
  ASSERT_TRUE(TryNextCommand(&line));
  EXPECT_EQ(line, "gameover win");
  EXPECT_FALSE(TryNextCommand(&line));
  // Reading stopped at "quit...": the line after it is still unread.
  EXPECT_EQ(ReadInputLine(in.f, &line), LineRead::Line);
  EXPECT_EQ(line, "isready");
  stopRequested = ponderhitReceived = gameoverReceived = false;
}

class GoFields : public ::testing::Test {
 protected:
  void SetUp() override { AllocateEngineState(); }
};

TEST_F(GoFields, ClockKeysInMilliseconds) {
  ParseGoClock("go btime 60000 wtime 50000 byoyomi 10000");
  EXPECT_EQ(State->blackRemaining, 60000);
  EXPECT_EQ(State->whiteRemaining, 50000);
  EXPECT_EQ(State->byoyomi, 10000);
  EXPECT_EQ(State->noTimeLimit, 0);
  ParseGoClock("go btime 0 wtime 0 byoyomi 3000");
  EXPECT_EQ(State->blackRemaining, 0);
  EXPECT_EQ(State->byoyomi, 3000);
  // Sub-second clocks are kept, not truncated to nothing.
  ParseGoClock("go btime 999 wtime 1999 byoyomi 500");
  EXPECT_EQ(State->blackRemaining, 999);
  EXPECT_EQ(State->whiteRemaining, 1999);
  EXPECT_EQ(State->byoyomi, 500);
  ParseGoClock("go btime 300000 wtime 300000");
  EXPECT_EQ(State->byoyomi, 0);
  ParseGoClock("go btime 1000 wtime 2000 binc 5000 winc 3000 movetime 7000");
  EXPECT_EQ(State->blackRemaining, 1000);
  EXPECT_EQ(State->whiteRemaining, 2000);
  EXPECT_EQ(State->byoyomi, 0);
  EXPECT_EQ(State->blackIncrement, 5000);
  EXPECT_EQ(State->whiteIncrement, 3000);
  // A line without them clears the increments of the last one.
  ParseGoClock("go btime 1000 wtime 2000 byoyomi 1000");
  EXPECT_EQ(State->blackIncrement, 0);
  EXPECT_EQ(State->whiteIncrement, 0);
  ParseGoClock("go ponder btime -50 wtime   4000 byoyomi x");
  EXPECT_EQ(State->blackRemaining, 0);
  EXPECT_EQ(State->whiteRemaining, 4000);
  EXPECT_EQ(State->byoyomi, 0);
  ParseGoClock("go infinite");
  EXPECT_EQ(State->noTimeLimit, 1);
  EXPECT_EQ(State->whiteRemaining, 4000);  // unchanged
}

TEST_F(GoFields, MateLimit) {
  EXPECT_EQ(ReadGoMateLimit("go mate 10000"), 10000);
  EXPECT_EQ(State->noTimeLimit, 0);
  EXPECT_EQ(ReadGoMateLimit("go mate infinite"), -1);
  EXPECT_EQ(State->noTimeLimit, 1);
  EXPECT_EQ(ReadGoMateLimit("go mate"), 0);
  EXPECT_EQ(ReadGoMateLimit("go mate -1"), 0);  // not a way to ask for no limit
  EXPECT_EQ(ReadGoMateLimit("go mate 999"), 999);
}

TEST_F(GoFields, InfoLineFormat) {
  State->iterationDepth = 7;
  State->searchStartMs = NowMs();
  Move pv[4] = {0, EncodeMove(FlagNone, Empty, BPawn, 47, 56), EncodeMove(FlagNone, Empty, WPawn, 33, 24),
                EncodeMove(FlagNone, Empty, BSilver, 40, NoSquare)};
  testing::internal::CaptureStdout();
  PrintInfoLine(5000000000ull, pv, 3, -42);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(out.compare(0, 10, "info time "), 0) << out;
  const size_t depth = out.find(" depth ");
  ASSERT_NE(depth, std::string::npos);
  EXPECT_EQ(out.substr(depth), " depth 7 nodes 5000000000 score cp -42 pv 7g7f 3c3d S*5e \n");
  testing::internal::CaptureStdout();
  PrintInfoLine(12, pv, 0, 0);
  const std::string empty = testing::internal::GetCapturedStdout();
  EXPECT_EQ(empty.substr(empty.find(" depth ")), " depth 7 nodes 12 score cp 0 pv \n");
}

}  // namespace
}  // namespace kestrel
