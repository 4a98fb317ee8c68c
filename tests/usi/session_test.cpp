// Scripted USI sessions against the real executable, each in a fresh working directory:
// start-up and input handling, the settings file, bad positions, searches with their
// stop, ponder, mate and declaration answers, and sessions recorded from outside checks.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "match/usi_process.h"
#include "test_util.h"

namespace kestrel {
namespace {

using namespace test;

// The engine process of the tests: KESTREL_BINARY unless another binary is named. Its
// reads have generous timeouts that only keep a broken engine from hanging the run.
struct UsiProcess : kestrel::UsiProcess {
  bool Start(const std::string& workDir, const std::string& binary = KESTREL_BINARY) {
    return kestrel::UsiProcess::Start(workDir, binary);
  }
};

// The number after `key` in an "info" line (-1 when the key is missing).
long long InfoField(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + " ");
  return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + key.size() + 2);
}

const std::vector<std::string> IdBlockDefaults = {
    "id name KestrelAlpha",
    "id author Vellacott",
    "option name KestrelLevel type spin default 10 min 1 max 10",
    "option name ThreadNumber type spin default 1 min 0 max 32",
    "option name UseBookUntilMove type spin default 10 min 0 max 50",
    "option name MultiPV type spin default 1 min 1 max 600",
    "option name ByoyomiMargin type spin default 150 min 0 max 10000",
    "usiok",
};

class UsiSession : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    CopyEvaluationData(dir);
  }
  void TearDown() override { RemoveTree(dir); }

  std::vector<std::string> Identify(UsiProcess& e) {
    std::vector<std::string> lines;
    e.Send("usi");
    EXPECT_TRUE(e.ReadUntil("usiok", &lines));
    return lines;
  }
  // Waits until every earlier line has been handled.
  void Sync(UsiProcess& e) {
    std::vector<std::string> lines;
    e.Send("isready");
    ASSERT_TRUE(e.ReadUntil("readyok", &lines));
    for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i], NoWeightsLine());
  }
  // The answer to "usi" and `ready` "isready" lines in a directory without weights.
  std::vector<std::string> Greeting(int ready) const {
    std::vector<std::string> lines = IdBlockDefaults;
    lines.push_back(NoWeightsLine());
    lines.insert(lines.end(), ready, "readyok");
    return lines;
  }
  // Starts the engine, identifies, sets options and starts a game.
  void StartGame(UsiProcess& e, const std::vector<std::string>& options = {}) {
    ASSERT_TRUE(e.Start(dir));
    Identify(e);
    for (const std::string& o : options) e.Send(o);
    Sync(e);
    e.Send("usinewgame");
  }
  void Quit(UsiProcess& e) {
    e.Send("quit");
    EXPECT_EQ(e.WaitExit(), 0);
  }
  // The note after "usi" in a directory with piece values but no weight file.
  std::string NoWeightsLine() const {
    return "info string no positional weights (" + dir + "/Evaluation/eval_compact.bin not found): piece values only";
  }
  // The lines of a search up to its "bestmove" line; every earlier one is an "info" line.
  std::vector<std::string> UntilBestMove(UsiProcess& e) {
    std::vector<std::string> lines;
    EXPECT_TRUE(e.ReadBestMove(&lines)) << (lines.empty() ? std::string() : lines.back());
    if (lines.empty()) lines.push_back("");
    return lines;
  }
  // The "bestmove" line that answers the lines of `script`, sent in one write.
  std::string UntilBestMoveAfter(UsiProcess& e, const std::string& script) {
    EXPECT_TRUE(e.Write(script));
    return UntilBestMove(e).back();
  }
  std::string NextLine(UsiProcess& e) {
    std::string line;
    EXPECT_TRUE(e.ReadLine(&line));
    return line;
  }
  static std::string MoveOf(const std::string& bestLine) {
    const size_t end = bestLine.find(' ', 9);
    return bestLine.size() < 9 ? "" : bestLine.substr(9, end == std::string::npos ? std::string::npos : end - 9);
  }
  // Whether `move` is legal in the position given as USI text.
  static bool IsLegalText(const std::string& position, const std::string& move) {
    auto p = std::make_unique<Position>();
    GameCursor game;
    std::string err;
    if (!SetPositionFromText(*p, position, game, &err)) return false;
    Move m;
    return ParseUsiMove(*p, move.c_str(), game.side, &m, &err) != 0 && IsLegalMove(*p, m, game.side);
  }
  // Whether a "bestmove" line plays a legal move in `position` and, when it names a move
  // to ponder on (as it must when `ponder`), a legal reply to it.
  static bool IsLegalAnswer(const std::string& position, const std::string& line, bool ponder = false) {
    const size_t at = line.find(" ponder ");
    if (at == std::string::npos) return !ponder && IsLegalText(position, MoveOf(line));
    return IsLegalText(position, MoveOf(line)) && IsLegalText(position + " " + MoveOf(line), line.substr(at + 8));
  }

  std::string dir;
};

TEST_F(UsiSession, QueuedLinesQuitAndEndOfInput) {
  {
    UsiProcess e;
    ASSERT_TRUE(e.Start(dir));
    // Everything in one write: the engine may still be starting up when "quit" arrives,
    // and the line after "quit" is never answered.
    std::string script = "usi\n";
    for (int i = 0; i < 40; ++i) script += "isready\n";
    ASSERT_TRUE(e.Write(script + "quit\nisready\n"));
    EXPECT_EQ(e.ReadAll(), Greeting(40));
    EXPECT_EQ(e.WaitExit(), 0);
  }
  // Windows line ends are accepted, a last line without a newline keeps its last letter,
  // and the end of input acts as "quit".
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  ASSERT_TRUE(e.Write("usi\r\nisready\r\nisready"));
  e.CloseInput();
  EXPECT_EQ(e.ReadAll(), Greeting(2));
  EXPECT_EQ(e.WaitExit(), 0);
}

// The data files: an engine started in a directory without them says so on one line; a
// folder holding the program and its data works from any working directory.
TEST_F(UsiSession, DataFilesAreFoundBesideTheProgramOrReported) {
  const std::string empty = MakeTempDir();
  ASSERT_FALSE(empty.empty());
  {
    UsiProcess e;
    ASSERT_TRUE(e.Start(empty));
    Identify(e);
    std::vector<std::string> lines;
    e.Send("isready");
    ASSERT_TRUE(e.ReadUntil("readyok", &lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "info string no " + empty + "/Evaluation/evaluation.txt: every weight zero");
    // Every score is zero then: the iterations still go on, each answered once.
    ASSERT_TRUE(e.Write("usinewgame\nposition startpos moves 7g7f 3c3d\ngo depth 7\n"));
    lines.clear();
    ASSERT_TRUE(e.ReadBestMove(&lines));
    long long deepest = 0;
    int bounds = 0;
    for (const std::string& l : lines) {
      deepest = std::max(deepest, InfoField(l, "depth"));
      if (l.find("bound") != std::string::npos) ++bounds;
    }
    EXPECT_EQ(deepest, 7);
    EXPECT_EQ(bounds, 0);
    Quit(e);
  }
  ASSERT_EQ(std::system(("cp '" KESTREL_BINARY "' '" + dir + "/kestrel'").c_str()), 0);
  UsiProcess e;
  ASSERT_TRUE(e.Start(empty, dir + "/kestrel"));
  Identify(e);
  Sync(e);  // only the note on the missing weight file, which names the program's folder
  Quit(e);
  RemoveTree(empty);
}

// The settings file: read without case, written at once keeping everything else, values
// stored as sent but shown clamped, and shown again after a restart.
TEST_F(UsiSession, SettingsFileIsReadWrittenAndKept) {
  WriteFileText(dir + "/Kestrel.ini",
                "; engine settings\n[Other]\nThreadNumber=30\n\n[customsettings]\nthreadnumber = 3\n"
                "kestrellevel=\"7\"\n\n[Tail]\nx=1\n");
  std::vector<std::string> shown = IdBlockDefaults;
  shown[2] = "option name KestrelLevel type spin default 7 min 1 max 10";
  shown[3] = "option name ThreadNumber type spin default 3 min 0 max 32";
  {
    UsiProcess e;
    ASSERT_TRUE(e.Start(dir));
    EXPECT_EQ(Identify(e), shown);
    ASSERT_TRUE(e.Write("setoption name ThreadNumber value 5\nsetoption name KestrelLevel value 99\n"
                        "setoption name UseBookUntilMove value -3\n"));
    Sync(e);
    const std::string written =
        "; engine settings\n[Other]\nThreadNumber=30\n\n[customsettings]\nThreadNumber=5\n"
        "KestrelLevel=99\nUseBookUntilMove=-3\n\n[Tail]\nx=1\n";
    EXPECT_EQ(ReadFileText(dir + "/Kestrel.ini"), written);
    shown[2] = "option name KestrelLevel type spin default 10 min 1 max 10";
    shown[3] = "option name ThreadNumber type spin default 5 min 0 max 32";
    shown[4] = "option name UseBookUntilMove type spin default 0 min 0 max 50";
    EXPECT_EQ(Identify(e), shown);
    Sync(e);
    // Options sent during a game are ignored, but for MultiPV; "isready" is answered, and
    // a "stop" with no search to stop says nothing.
    ASSERT_TRUE(e.Write("usinewgame\nsetoption name ThreadNumber value 9\nstop\nsetoption name MultiPV value 3\n"));
    Sync(e);
    e.Send("gameover");
    Sync(e);
    EXPECT_EQ(ReadFileText(dir + "/Kestrel.ini"), written);
    shown[5] = "option name MultiPV type spin default 3 min 1 max 600";
    EXPECT_EQ(Identify(e), shown);
    e.Send("setoption name MultiPV value 0");
    Sync(e);
    shown[5] = "option name MultiPV type spin default 1 min 1 max 600";
    EXPECT_EQ(Identify(e), shown);
    // The answering margin is clamped into its range, kept in memory only, and waits for
    // the end of a game like the persistent options.
    e.Send("setoption name ByoyomiMargin value 20000");
    ASSERT_TRUE(e.Write("usinewgame\nsetoption name ByoyomiMargin value 7\n"));
    Sync(e);
    e.Send("gameover");
    Sync(e);
    shown[6] = "option name ByoyomiMargin type spin default 10000 min 0 max 10000";
    EXPECT_EQ(Identify(e), shown);
    EXPECT_EQ(ReadFileText(dir + "/Kestrel.ini"), written);
    Quit(e);
  }
  shown[5] = IdBlockDefaults[5];  // kept in memory only
  shown[6] = IdBlockDefaults[6];
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  EXPECT_EQ(Identify(e), shown);
  Sync(e);
  // A hash size that cannot be had is refused with a message; sensible sizes are silent.
  e.Send("setoption name USI_Hash value 2000000000");
  EXPECT_EQ(NextLine(e).compare(0, 12, "info string "), 0);
  e.Send("setoption name USI_Hash value 16");
  Sync(e);
  // A line longer than the input limit is dropped whole, with a message.
  ASSERT_TRUE(e.Send("isready" + std::string(70000, 'x')));
  EXPECT_EQ(NextLine(e).compare(0, 12, "info string "), 0);
  Sync(e);
  Quit(e);
}

TEST_F(UsiSession, BadPositionsGiveOneInfoStringLineEach) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  e.Send("usinewgame");
  const std::vector<std::string> bad = {
      "position",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1 b - 1",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b 99P 1",
      "position startpos moves 7g7f 3c3d 8h2b+ zz",
      std::string("position startpos moves 7g7f \x01\xff", 32),
  };
  for (const std::string& cmd : bad) {
    e.Send(cmd);
    e.Send("isready");  // its answer marks the end of the position command's output
    std::vector<std::string> lines;
    ASSERT_TRUE(e.ReadUntil("readyok", &lines)) << cmd;
    ASSERT_EQ(lines.size(), 2u) << cmd;
    EXPECT_EQ(lines[0].compare(0, 12, "info string "), 0) << cmd << " -> " << lines[0];
  }
  // A good position afterwards is taken without any message; its only move is played.
  ASSERT_TRUE(e.Write("position sfen 8k/9/9/9/9/9/9/1r7/K8 b - 1\ngo btime 600000 wtime 600000 byoyomi 10000\n"));
  EXPECT_EQ(UntilBestMove(e).back(), "bestmove 9i8h");
  Quit(e);
}

// "go" with several clocks, "stop" behind "go infinite", a "stop" with nothing to stop
// (silent), and declared wins.
TEST_F(UsiSession, GoStopAndNewGame) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  // Lines of the game state sent before any game must not silence its first search.
  ASSERT_TRUE(e.Write("stop\nponderhit\ngameover\n"));
  Sync(e);
  e.Send("usinewgame");
  const std::string position = "startpos moves 7g7f 3c3d";
  ASSERT_TRUE(e.Write("position " + position + "\ngo infinite\nstop\n"));
  std::string best = UntilBestMove(e).back();
  EXPECT_TRUE(IsLegalText(position, MoveOf(best))) << best;
  // A second "stop" finds no search: it says nothing.
  ASSERT_TRUE(e.Write("stop\nisready\n"));
  EXPECT_EQ(NextLine(e), "readyok");
  // Short and spent clocks still give a move, with no ponder part without USI_Ponder.
  for (const char* go : {"go btime 0 wtime 0 byoyomi 1000", "go btime 700 wtime 700", "go btime 0 wtime 0"}) {
    ASSERT_TRUE(e.Write("position " + position + "\n" + go + "\n"));
    best = UntilBestMove(e).back();
    EXPECT_TRUE(IsLegalText(position, MoveOf(best)) && best.find(" ponder ") == std::string::npos)
        << go << ": " << best;
  }
  ASSERT_TRUE(e.Write("gameover\nusinewgame\nstop\nisready\n"));
  EXPECT_EQ(NextLine(e), "readyok");
  // A declared win plays no move and leaves no stop pending: a late "stop" says nothing,
  // and the next search answers with a move.
  const std::string declares =
      "position sfen RBG1K1GBR/PPPPPPPPP/9/9/9/9/9/9/4k4 b - 1\ngo btime 10000 wtime 10000 byoyomi 1000\n";
  EXPECT_EQ(UntilBestMoveAfter(e, declares), "bestmove win");
  ASSERT_TRUE(e.Write("stop\nisready\n"));
  EXPECT_EQ(NextLine(e), "readyok");
  EXPECT_EQ(UntilBestMoveAfter(e, declares), "bestmove win");
  best = UntilBestMoveAfter(e, "position startpos\ngo btime 0 wtime 0 byoyomi 1000\n");
  EXPECT_TRUE(IsLegalText("startpos", MoveOf(best))) << best;
  Quit(e);
}

// The pv lines among `lines`, each with every field a GUI reads.
std::vector<std::string> PvLines(const std::vector<std::string>& lines) {
  std::vector<std::string> pv;
  for (const std::string& l : lines) {
    if (l.find(" pv ") == std::string::npos) continue;
    EXPECT_TRUE(InfoField(l, "seldepth") >= 0 && InfoField(l, "nps") >= 0 && InfoField(l, "hashfull") >= 0) << l;
    pv.push_back(l);
  }
  return pv;
}

// Analysis as GUIs run it: "go infinite" is answered on "stop" alone, however soon its
// search ends (one legal move, a mate in one), "isready" is answered meanwhile, and a
// "stop" or "ponderhit" with nothing to answer, or a "stop" right behind a timed answer,
// says nothing. "go ponder" likewise waits for its "ponderhit".
TEST_F(UsiSession, OneBestMovePerGo) {
  UsiProcess e;
  StartGame(e);
  struct Case {
    const char* position;
    const char* move;
    const char* score;
  } cases[] = {
      {"sfen 8k/9/9/9/9/9/9/1r7/K8 b - 1", "9i8h", nullptr},       // one legal move
      {"sfen 4k4/9/4P4/9/9/9/9/9/4K4 b G 1", "G*5b", "score mate 1"},  // mate in one
      {"startpos moves 7g7f 3c3d", nullptr, nullptr},              // a search that runs on
  };
  for (const Case& c : cases) {
    const std::string position = c.position;
    ASSERT_TRUE(e.Write("position " + position + "\ngo infinite\n"));
    std::vector<std::string> lines;
    for (int ping = 0; ping < 2; ++ping) {
      if (ping == 1) std::this_thread::sleep_for(std::chrono::milliseconds(300));
      e.Send("isready");
      ASSERT_TRUE(e.ReadUntil("readyok", &lines)) << position;
    }
    for (const std::string& l : lines) ASSERT_TRUE(l == "readyok" || l.compare(0, 5, "info ") == 0) << l;
    e.Send("stop");
    auto answer = UntilBestMove(e);
    const std::string best = answer.back();
    EXPECT_TRUE(IsLegalText(position, MoveOf(best))) << position << ": " << best;
    if (c.move) {
      EXPECT_EQ(MoveOf(best), c.move);
    }
    lines.insert(lines.end(), answer.begin(), answer.end());
    PvLines(lines);  // every pv line with the fields GUIs read
    if (c.score) {
      bool shown = false;
      for (const std::string& l : lines) shown |= l.find(c.score) != std::string::npos;
      EXPECT_TRUE(shown) << position;
    }
    ASSERT_TRUE(e.Write("stop\nponderhit\nisready\n"));
    EXPECT_EQ(NextLine(e), "readyok") << position;
  }
  // Pondering on a forced move: no answer before "ponderhit", then one.
  ASSERT_TRUE(e.Write("position sfen 8k/9/9/9/9/9/9/1r7/K8 b - 1\ngo ponder btime 1000 wtime 1000 byoyomi 1000\n"
                      "isready\n"));
  EXPECT_EQ(NextLine(e), "readyok");
  ASSERT_TRUE(e.Write("ponderhit\nstop\nisready\n"));
  EXPECT_EQ(UntilBestMove(e).back(), "bestmove 9i8h");
  EXPECT_EQ(NextLine(e), "readyok");
  // A "stop" (a user's "move now") that comes just after a timed answer adds nothing.
  ASSERT_TRUE(e.Write("position startpos\ngo btime 0 wtime 0 byoyomi 300\n"));
  EXPECT_TRUE(IsLegalText("startpos", MoveOf(UntilBestMove(e).back())));
  ASSERT_TRUE(e.Write("stop\nisready\n"));
  EXPECT_EQ(NextLine(e), "readyok");
  Quit(e);
}

// The standard limits, alone or beside a clock, and several lines with their ranks.
TEST_F(UsiSession, SearchLimitsAndMultiPv) {
  UsiProcess e;
  StartGame(e);
  const std::string position = "position startpos moves 7g7f 3c3d\n";
  // Depth: iterations up to it and no further.
  auto lines = PvLines(([&] {
    EXPECT_TRUE(e.Write(position + "go depth 5\n"));
    return UntilBestMove(e);
  })());
  ASSERT_FALSE(lines.empty());
  long long deepest = 0;
  for (const std::string& l : lines) deepest = std::max(deepest, InfoField(l, "depth"));
  EXPECT_EQ(deepest, 5);
  // Nodes: the search stops at the count, well past the first iteration.
  ASSERT_TRUE(e.Write(position + "go nodes 20000\n"));
  lines = PvLines(UntilBestMove(e));
  ASSERT_FALSE(lines.empty());
  for (const std::string& l : lines) EXPECT_LE(InfoField(l, "nodes"), 20000) << l;
  EXPECT_GE(InfoField(lines.back(), "depth"), 3);
  // Move time, alone and under a longer clock: searched, not answered after one iteration.
  for (const char* go : {"go movetime 500\n", "go btime 600000 wtime 600000 byoyomi 60000 movetime 500\n"}) {
    ASSERT_TRUE(e.Write(position + go));
    lines = PvLines(UntilBestMove(e));
    ASSERT_FALSE(lines.empty()) << go;
    EXPECT_GE(InfoField(lines.back(), "depth"), 3) << go;
  }
  // Three lines: each iteration shows ranks 1 to 3 with three different moves, scores in
  // order, and the answer is the first line's move.
  ASSERT_TRUE(e.Write("setoption name MultiPV value 3\n" + position + "go depth 6\n"));
  const auto all = UntilBestMove(e);
  lines = PvLines(all);
  std::vector<std::string> last(3);
  for (const std::string& l : lines) {
    const long long rank = InfoField(l, "multipv");
    ASSERT_TRUE(rank >= 1 && rank <= 3) << l;
    if (InfoField(l, "depth") == 6) last[rank - 1] = l;
  }
  auto firstMove = [](const std::string& l) { return l.substr(l.find(" pv ") + 4, l.find(' ', l.find(" pv ") + 4) - l.find(" pv ") - 4); };
  for (const std::string& l : last) ASSERT_FALSE(l.empty());
  EXPECT_TRUE(firstMove(last[0]) != firstMove(last[1]) && firstMove(last[1]) != firstMove(last[2]) &&
              firstMove(last[0]) != firstMove(last[2]));
  EXPECT_GE(InfoField(last[0], "cp"), InfoField(last[1], "cp"));
  EXPECT_GE(InfoField(last[1], "cp"), InfoField(last[2], "cp"));
  EXPECT_EQ(MoveOf(all.back()), firstMove(last[0]));
  // Back to one line: no ranks shown.
  ASSERT_TRUE(e.Write("setoption name MultiPV value 1\n" + position + "go depth 3\n"));
  for (const std::string& l : PvLines(UntilBestMove(e))) EXPECT_EQ(InfoField(l, "multipv"), -1) << l;
  Quit(e);
}

TEST_F(UsiSession, PonderhitAndGoMate) {
  UsiProcess e;
  StartGame(e, {"setoption name USI_Ponder value true"});
  ASSERT_TRUE(e.Write("position sfen 4k4/9/9/9/9/9/9/9/4K4 b - 1\ngo mate 1000\n"));
  EXPECT_EQ(NextLine(e).compare(0, 10, "checkmate "), 0);
  std::string position = "startpos moves 2g2f 8c8d";
  // Pondering answers only on "ponderhit" or "stop", however short the clock.
  ASSERT_TRUE(e.Write("position " + position + "\ngo ponder btime 0 wtime 0 byoyomi 100\n"));
  std::vector<std::string> early;
  EXPECT_FALSE(e.ReadUntil("bestmove", &early, 1500));
  e.Send("stop");
  EXPECT_TRUE(IsLegalText(position, MoveOf(UntilBestMove(e).back())));
  // With byoyomi, then with increments: ponderhit answers once, with a legal move and,
  // USI_Ponder being on, a legal reply to ponder on.
  for (const char* clock : {"byoyomi 1000", "binc 1000 winc 1000"}) {
    const std::string line = UntilBestMoveAfter(
        e, "position " + position + "\ngo ponder btime 10000 wtime 10000 " + clock + "\nponderhit\n");
    EXPECT_TRUE(IsLegalAnswer(position, line, true)) << clock << ": " << line;
    position += " " + MoveOf(line) + " 3c3d";
  }
  // A "stop" that ends a pondering search (the opponent played another move) answers with
  // a move of the pondered position and no ponder move left over from the answer before.
  const std::string go = "go ponder btime 10000 wtime 10000 byoyomi 1000\n";
  std::string missed = UntilBestMoveAfter(e, "position startpos\n" + go + "ponderhit\n");
  const size_t at = missed.find(" ponder ");
  ASSERT_NE(at, std::string::npos) << missed;
  missed = "startpos moves " + MoveOf(missed) + " " + missed.substr(at + 8);
  const std::string stopped = UntilBestMoveAfter(e, "position " + missed + "\n" + go + "stop\n");
  EXPECT_TRUE(IsLegalAnswer(missed, stopped)) << stopped;
  // Two ponder searches with their "ponderhit" lines in one write: answering the first
  // "ponderhit" must not drop the flag of the second, or the second search ponders forever.
  const std::string pondered = "go ponder btime 10000 wtime 10000 binc 100 winc 100\nponderhit\n";
  ASSERT_TRUE(e.Write("position startpos\n" + pondered + "position startpos moves 7g7f 3c3d\n" + pondered));
  for (const char* played : {"startpos", "startpos moves 7g7f 3c3d"})
    EXPECT_TRUE(IsLegalText(played, MoveOf(UntilBestMove(e).back()))) << played;
  // "gameover" during a search returns to waiting without a "bestmove".
  ASSERT_TRUE(e.Write("position startpos\ngo infinite\ngameover lose\nisready\n"));
  std::vector<std::string> lines;
  ASSERT_TRUE(e.ReadUntil("readyok", &lines));
  for (const std::string& l : lines) EXPECT_NE(l.compare(0, 8, "bestmove"), 0) << l;
  // Back in waiting, a mate problem or a position to analyse sent without "usinewgame"
  // starts a game and is answered.
  ASSERT_TRUE(e.Write("position sfen 4k4/9/4P4/9/9/9/9/9/4K4 b G 1\ngo mate 1000\n"));
  EXPECT_EQ(NextLine(e).compare(0, 14, "checkmate G*5b"), 0);
  ASSERT_TRUE(e.Write("gameover draw\ngo btime 0 wtime 0 byoyomi 200\n"));
  EXPECT_TRUE(IsLegalText("sfen 4k4/9/4P4/9/9/9/9/9/4K4 b G 1", MoveOf(UntilBestMove(e).back())));
  Quit(e);
}

// The bytes of a recorded line, written as a Python bytes literal (b'...'): \n, \r, \t,
// \xNN, and a backslash taking the next character as it is.
std::string BytesLiteral(const std::string& text) {
  const size_t open = text.find('\''), close = text.rfind('\'');
  std::string out;
  for (size_t i = open + 1; open != std::string::npos && i < close; ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < close) {
      c = text[++i];
      if (c == 'x') c = (char)std::stoi(text.substr(i + 1, 2), nullptr, 16), i += 2;
      else if (c == 'n' || c == 'r' || c == 't') c = c == 'n' ? '\n' : c == 'r' ? '\r' : '\t';
    }
    out += c;
  }
  return out;
}

// A session recorded by an outside check (tests/usi/cases/NAME): each line is sent after
// its wait; then "stop" must bring a "bestmove", and after "gameover" the engine must be
// ready for the next game at once ("readyok" within the read timeout).
void ReplayRecordedSession(UsiProcess& e, const std::string& name) {
  std::ifstream in(std::string(KESTREL_TESTS_DIR) + "/usi/cases/" + name);
  ASSERT_TRUE(in.good()) << name;
  std::string line;
  int sent = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    std::this_thread::sleep_for(std::chrono::milliseconds((int)(std::stod(line.substr(0, tab)) * 1000)));
    ASSERT_TRUE(e.Write(BytesLiteral(line.substr(line.find('\t', tab + 1) + 1))));
    ++sent;
  }
  ASSERT_GT(sent, 10);
  e.Send("stop");
  std::vector<std::string> lines;
  EXPECT_TRUE(e.ReadUntil("bestmove", &lines));
  ASSERT_TRUE(e.Write("gameover draw\nisready\n"));
  EXPECT_TRUE(e.ReadUntil("readyok", &lines));
}

// Fuzzed: "go" lines queued behind a running search, the last with a clock too large to
// hold, then "stop" and "gameover": the queued searches must end with the game.
// The same race sent in one write: the "stop" answers the first search and must not
// take the flag of the "gameover" queued behind the second "go", which would otherwise
// search its capped clock for many seconds before "isready" is read.
TEST_F(UsiSession, RecordedIsreadyAfterQueuedGo) {
  {
    UsiProcess e;
    ASSERT_TRUE(e.Start(dir));
    ReplayRecordedSession(e, "isready-after-queued-go.txt");
    Quit(e);
  }
  UsiProcess e;
  StartGame(e);
  const std::string huge = "go btime 99999999999999999999 wtime 99999999999999999999 byoyomi 99999999999999999999\n";
  ASSERT_TRUE(e.Write("position startpos\n" + huge + "stop\nposition startpos moves 7g7f\n" + huge +
                      "gameover lose\nisready\n"));
  std::vector<std::string> lines;
  EXPECT_TRUE(e.ReadUntil("readyok", &lines));
  int answers = 0;
  for (const std::string& l : lines) answers += l.compare(0, 9, "bestmove ") == 0;
  EXPECT_EQ(answers, 1);
  Quit(e);
}

// A mate proved before the search is played out over the next turns with score 29999
// and no ponder move, whatever the defender replies.
TEST_F(UsiSession, ProvedMateIsPlayedOut) {
  UsiProcess e;
  StartGame(e, {"setoption name USI_Ponder value true"});
  const std::string position = "sfen 8k/9/9/9/9/9/9/9/K8 b RB 1";
  std::string moves;
  for (int turn = 0; turn < 12; ++turn) {
    const std::string text = position + (moves.empty() ? "" : " moves" + moves);
    ASSERT_TRUE(e.Write("position " + text + "\ngo btime 60000 wtime 60000 byoyomi 1000\n"));
    const auto lines = UntilBestMove(e);
    const std::string best = lines.back();
    ASSERT_TRUE(IsLegalText(text, MoveOf(best)) && best.find(" ponder ") == std::string::npos) << text << " " << best;
    bool mateScore = false;
    for (const std::string& l : PvLines(lines)) mateScore |= l.find(" score mate ") != std::string::npos;
    EXPECT_TRUE(mateScore) << "turn " << turn;
    moves += " " + MoveOf(best);
    // The defender's reply: the first legal move, if any.
    int side;
    auto p = test::MakePosition(position + " moves" + moves, &side);
    Move replies[MaxMoves];
    if (GenerateLegalMoves(*p, replies, side) == replies) return Quit(e);
    moves += " " + MoveToUsi(replies[0]);
  }
  FAIL() << "the mate was not completed";
}

}  // namespace
}  // namespace kestrel
