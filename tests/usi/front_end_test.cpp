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
  ProcessEngine().stopRequested = ProcessEngine().ponderhitReceived = ProcessEngine().gameoverReceived = false;
  MemoryInput commands("isready\nstopper\nponderhit now\ngameover win\nquitting\nisready\n");
  RaiseFlagsOn(&ProcessEngine());
  ReadCommandLines(commands.f);
  EXPECT_TRUE(ProcessEngine().stopRequested && ProcessEngine().ponderhitReceived && ProcessEngine().gameoverReceived);
  ASSERT_EQ(PendingCommandCount(), 4u);
  for (const char* queued : {"isready", "stopper", "ponderhit now", "gameover win"}) {
    ASSERT_TRUE(TryNextCommand(&line));
    EXPECT_EQ(line, queued);
  }
  EXPECT_FALSE(TryNextCommand(&line));
  // Reading stopped at "quit...": the line after it is still unread.
  EXPECT_EQ(ReadInputLine(commands.f, &line), LineRead::Line);
  EXPECT_EQ(line, "isready");
  ProcessEngine().stopRequested = ProcessEngine().ponderhitReceived = ProcessEngine().gameoverReceived = false;
}

// Each line after the one before: missing keys clear the increments and the byoyomi,
// sub-second values are kept, bad values count as 0, "infinite" keeps the clocks; the
// search limits, which alone (without a clock key) make a search without a clock.
TEST(GoFields, ClockKeysAndLimits) {
  struct Case {
    const char* line;
    int64_t black, white, byoyomi, binc, winc;
    int noLimit;
    int64_t infinite, depth, nodes, moveTime;
  } cases[] = {
      {"go btime 60000 wtime 50000 byoyomi 10000", 60000, 50000, 10000, 0, 0, 0, 0, 0, 0, 0},
      {"go btime 999 wtime 1999 byoyomi 500", 999, 1999, 500, 0, 0, 0, 0, 0, 0, 0},
      {"go btime 1000 wtime 2000 binc 5000 winc 3000 movetime 7000", 1000, 2000, 0, 5000, 3000, 0, 0, 0, 0, 7000},
      {"go btime 1000 wtime 2000 byoyomi 1000", 1000, 2000, 1000, 0, 0, 0, 0, 0, 0, 0},
      {"go ponder btime -50 wtime   4000 byoyomi x", 0, 4000, 0, 0, 0, 0, 0, 0, 0, 0},
      {"go btime 99999999999999999999 wtime 1000000000001 byoyomi 99999999999999999999", 1000000000000,
       1000000000000, 1000000000000, 0, 0, 0, 0, 0, 0, 0},
      {"go infinite", 1000000000000, 1000000000000, 1000000000000, 0, 0, 1, 1, 0, 0, 0},
      {"go depth 5", 0, 0, 0, 0, 0, 1, 0, 5, 0, 0},
      {"go nodes 20000", 0, 0, 0, 0, 0, 1, 0, 0, 20000, 0},
      {"go movetime 300", 0, 0, 0, 0, 0, 1, 0, 0, 0, 300},
      {"go depth 99999999999 nodes -5", 0, 0, 0, 0, 0, 1, 0, 1000, 0, 0},
      {"go btime 0 wtime 0 byoyomi 1000 depth 12", 0, 0, 1000, 0, 0, 0, 0, 12, 0, 0},
      {"go", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const GoLimits limits = ParseGoClock(c.line, ProcessEngine().state);
    const SearchState& st = ProcessEngine().state;
    EXPECT_EQ((std::vector<int64_t>{st.blackRemaining, st.whiteRemaining, st.byoyomi, st.blackIncrement,
                                    st.whiteIncrement, st.noTimeLimit, limits.infinite, limits.depth,
                                    (int64_t)limits.nodes, limits.moveTimeMs}),
              (std::vector<int64_t>{c.black, c.white, c.byoyomi, c.binc, c.winc, c.noLimit, c.infinite, c.depth,
                                    c.nodes, c.moveTime}))
        << c.line;
  }
}

// The "info" line: 64-bit node counts, drops in the line, the speed over the elapsed
// time, mate scores in plies for either side, bounds and the MultiPV rank.
TEST(GoFields, InfoLines) {
  Move pv[4] = {0, EncodeMove(FlagNone, Empty, BPawn, 47, 56), EncodeMove(FlagNone, Empty, WPawn, 33, 24),
                EncodeMove(FlagNone, Empty, BSilver, 40, NoSquare)};
  InfoFields f;
  f.depth = 7;
  f.selDepth = 12;
  f.nodes = 5000000000ull;
  f.score = -42;
  EXPECT_EQ(FormatInfoLine(f, 2000, 15, pv, 3),
            "info time 2000 depth 7 seldepth 12 nodes 5000000000 nps 2500000000 hashfull 15 score cp -42 "
            "pv 7g7f 3c3d S*5e ");
  struct Case {
    int score;
    ScoreBound bound;
    int multiPv;
    const char* text;  // from "score" to "pv"
  } cases[] = {
      {MateIn(1), ScoreBound::Exact, 0, "score mate 1 pv"},
      {MateIn(7), ScoreBound::Lower, 0, "score mate 7 lowerbound pv"},
      {MatedAt(3), ScoreBound::Exact, 2, "multipv 2 score mate -2 pv"},
      {MatedAt(1), ScoreBound::Exact, 0, "score mate -0 pv"},
      {-MateIn(2), ScoreBound::Exact, 0, "score mate -2 pv"},  // the reply mates: the same as MatedAt(3)
      {ScoreProven, ScoreBound::Upper, 0, "score cp 29949 upperbound pv"},
      {ScoreRuleWin, ScoreBound::Exact, 0, "score cp 28888 pv"},
      {-ScorePerpetual, ScoreBound::Exact, 4, "multipv 4 score cp -31111 pv"},
  };
  for (const Case& c : cases) {
    f.score = c.score;
    f.bound = c.bound;
    f.multiPv = c.multiPv;
    const std::string line = FormatInfoLine(f, 0, 0, pv, 1);
    const size_t from = line.find(" hashfull 0 ") + 12;
    EXPECT_EQ(line.substr(from), std::string(c.text) + " 7g7f ") << c.score;
    EXPECT_NE(line.find(" nps 5000000000000 "), std::string::npos) << line;  // 0 ms counts as 1
  }
}

}  // namespace
}  // namespace kestrel
