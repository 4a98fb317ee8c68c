// Settings file, input line reading and queueing, go clock fields and the info line.
#include "usi/go_command.h"
#include "search/info_line.h"
#include "usi/ini.h"
#include "usi/input_thread.h"
#include "board/move_text.h"
#include "usi/settings.h"
#include "test_util.h"

namespace kestrel {
namespace {

// The settings file. Reading: fallbacks, case, blanks, quotes, carriage returns and the
// value limit. Writing: a new file, a new section at the end, a key above every section
// left alone, and a directory that cannot be written. (The session tests cover replacing
// and inserting keys in a file the user wrote.)
TEST(Settings, IniFileAndOptionValues) {
  const std::string dir = test::MakeTempDir(), path = dir + "/Kestrel.ini";
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "1");
  test::WriteFileText(path, "ThreadNumber=9\n[Other]\nThreadNumber=4\n[ customSETTINGS ]\r\n  threadnumber =  12  \r\n"
                            "KestrelLevel='3'\r\nBook=\"x\r\nLong=" + std::string(300, 'a') + "\n");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "ThreadNumber", "1"), "12");
  EXPECT_EQ(ReadIniString(path, "customsettings", "kestrellevel", "10"), "3");
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "Book", ""), "\"x");  // unmatched quote stays
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "Long", "").size(), IniValueMax);
  EXPECT_EQ(ReadIniString(path, "CustomSettings", "UseBookUntilMove", "-"), "-");
  std::remove(path.c_str());
  ASSERT_TRUE(WriteIniString(path, "CustomSettings", "ThreadNumber", "8"));
  EXPECT_EQ(test::ReadFileText(path), "[CustomSettings]\nThreadNumber=8\n");
  test::WriteFileText(path, "k=0\n[A]\nk=1\n\n[B]\nk=2");
  ASSERT_TRUE(WriteIniString(path, "C", "k", "3"));
  ASSERT_TRUE(WriteIniString(path, "b", "K", "4"));
  EXPECT_EQ(test::ReadFileText(path), "k=0\n[A]\nk=1\n\n[B]\nK=4\n[C]\nk=3\n");
  EXPECT_FALSE(WriteIniString(dir + "/missing/dir/Kestrel.ini", "CustomSettings", "ThreadNumber", "8"));
  test::RemoveTree(dir);
  // Option values read as the classic conversion does: blanks, a sign, digits, saturated.
  EXPECT_EQ(TextToInt("  -12abc"), -12);
  EXPECT_EQ(TextToInt("abc"), 0);
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

// Line ends, the last line without one, and overlong lines dropped whole.
TEST(InputLines, LinesFlagsAndQueue) {
  const std::string at(MaxInputLine, 'a');
  MemoryInput in("usi\r\n\nstop\r\r\n" + at + "\n" + at + "b\nnext\n" + at + "c");
  const std::pair<LineRead, std::string> expected[] = {
      {LineRead::Line, "usi"}, {LineRead::Line, ""}, {LineRead::Line, "stop\r"}, {LineRead::Line, at},
      {LineRead::TooLong, ""}, {LineRead::Line, "next"}, {LineRead::TooLong, ""}, {LineRead::End, ""}};
  std::string line;
  for (const auto& [kind, text] : expected) {
    ASSERT_EQ(ReadInputLine(in.f, &line), kind) << text.substr(0, 10);
    if (kind == LineRead::Line) {
      EXPECT_EQ(line, text);
    }
  }
  // The reading thread's loop: prefixes raise the flags, every line is queued, and a line
  // starting with "quit" ends reading.
  std::string drained;
  while (TryNextCommand(&drained)) {}
  stopRequested = ponderhitReceived = gameoverReceived = false;
  MemoryInput commands("isready\nstopper\nponderhit now\ngameover win\nquitting\nisready\n");
  ReadCommandLines(commands.f);
  EXPECT_TRUE(stopRequested && ponderhitReceived && gameoverReceived);
  ASSERT_EQ(PendingCommandCount(), 4u);
  for (const char* queued : {"isready", "stopper", "ponderhit now", "gameover win"}) {
    ASSERT_TRUE(TryNextCommand(&line));
    EXPECT_EQ(line, queued);
  }
  EXPECT_FALSE(TryNextCommand(&line));
  // Reading stopped at "quit...": the line after it is still unread.
  EXPECT_EQ(ReadInputLine(commands.f, &line), LineRead::Line);
  EXPECT_EQ(line, "isready");
  stopRequested = ponderhitReceived = gameoverReceived = false;
}

// Each line after the one before: missing keys clear the increments and the byoyomi,
// sub-second values are kept, bad values count as 0, "infinite" keeps the clocks.
TEST(GoFields, ClockKeysAndTheInfoLine) {
  AllocateEngineState();
  struct Case {
    const char* line;
    int64_t black, white, byoyomi, binc, winc;
    int noLimit;
  } cases[] = {
      {"go btime 60000 wtime 50000 byoyomi 10000", 60000, 50000, 10000, 0, 0, 0},
      {"go btime 999 wtime 1999 byoyomi 500", 999, 1999, 500, 0, 0, 0},
      {"go btime 1000 wtime 2000 binc 5000 winc 3000 movetime 7000", 1000, 2000, 0, 5000, 3000, 0},
      {"go btime 1000 wtime 2000 byoyomi 1000", 1000, 2000, 1000, 0, 0, 0},
      {"go ponder btime -50 wtime   4000 byoyomi x", 0, 4000, 0, 0, 0, 0},
      {"go btime 99999999999999999999 wtime 1000000000001 byoyomi 99999999999999999999", 1000000000000,
       1000000000000, 1000000000000, 0, 0, 0},
      {"go infinite", 1000000000000, 1000000000000, 1000000000000, 0, 0, 1},
  };
  for (const Case& c : cases) {
    ParseGoClock(c.line);
    const SearchState& st = *State;
    EXPECT_EQ((std::vector<int64_t>{st.blackRemaining, st.whiteRemaining, st.byoyomi, st.blackIncrement,
                                    st.whiteIncrement, st.noTimeLimit}),
              (std::vector<int64_t>{c.black, c.white, c.byoyomi, c.binc, c.winc, c.noLimit})) << c.line;
  }
  // The "info" line of a search: 64-bit node counts, a negative score, drops in the line.
  State->iterationDepth = 7;
  State->searchStartMs = NowMs();
  Move pv[4] = {0, EncodeMove(FlagNone, Empty, BPawn, 47, 56), EncodeMove(FlagNone, Empty, WPawn, 33, 24),
                EncodeMove(FlagNone, Empty, BSilver, 40, NoSquare)};
  testing::internal::CaptureStdout();
  PrintInfoLine(5000000000ull, pv, 3, -42);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(out.compare(0, 10, "info time "), 0) << out;
  EXPECT_EQ(out.substr(out.find(" depth ") + 1), "depth 7 nodes 5000000000 score cp -42 pv 7g7f 3c3d S*5e \n");
}

}  // namespace
}  // namespace kestrel
