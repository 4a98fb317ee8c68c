// Scripted USI sessions against the real executable, each in a fresh working directory:
// start-up and input handling, the settings file, bad positions, searches with their
// stop, ponder, mate and declaration answers, and sessions recorded from outside checks.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "usi/usi_process.h"

namespace kestrel_test {
namespace {

using namespace kestrel;

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
    test::InitTables();
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
  std::string Ini() { return ReadFileText(dir + "/Kestrel.ini"); }
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
    std::vector<std::string> expected = IdBlockDefaults;
    expected.push_back(NoWeightsLine());
    expected.insert(expected.end(), 40, "readyok");
    EXPECT_EQ(e.ReadAll(), expected);
    EXPECT_EQ(e.WaitExit(), 0);
  }
  // Windows line ends are accepted, a last line without a newline keeps its last letter,
  // and the end of input acts as "quit".
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  ASSERT_TRUE(e.Write("usi\r\nisready\r\nisready"));
  e.CloseInput();
  std::vector<std::string> expected = IdBlockDefaults;
  expected.push_back(NoWeightsLine());
  expected.insert(expected.end(), 2, "readyok");
  EXPECT_EQ(e.ReadAll(), expected);
  EXPECT_EQ(e.WaitExit(), 0);
}

// The settings file: read without case, written at once keeping everything else, values
// stored as sent but shown clamped, and shown again after a restart.
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
    e.Send("setoption name ThreadNumber value 5");
    e.Send("setoption name KestrelLevel value 99");
    e.Send("setoption name UseBookUntilMove value -3");
    Sync(e);
    const std::string written =
        "; engine settings\n[Other]\nThreadNumber=30\n\n[customsettings]\nThreadNumber=5\n"
        "KestrelLevel=99\nUseBookUntilMove=-3\n\n[Tail]\nx=1\n";
    EXPECT_EQ(Ini(), written);
    shown[2] = "option name KestrelLevel type spin default 10 min 1 max 10";
    shown[3] = "option name ThreadNumber type spin default 5 min 0 max 32";
    shown[4] = "option name UseBookUntilMove type spin default 0 min 0 max 50";
    EXPECT_EQ(Identify(e), shown);
    Sync(e);
    // Options sent during a game are ignored, and so is "isready".
    e.Send("usinewgame");
    e.Send("isready");
    e.Send("setoption name ThreadNumber value 9");
    e.Send("stop");
    EXPECT_EQ(NextLine(e), "bestmove resign");
    e.Send("gameover");
    Sync(e);
    EXPECT_EQ(Ini(), written);
    Quit(e);
  }
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
      "position foo",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1 b - 1",
      "position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b 99P 1",
      "position startpos moves 7g7f 3c3d 8h2b+ zz",
      std::string("position startpos moves 7g7f \x01\xff", 32),
  };
  for (const std::string& cmd : bad) {
    e.Send(cmd);
    e.Send("stop");  // its answer marks the end of the position command's output
    std::vector<std::string> lines;
    ASSERT_TRUE(e.ReadUntil("bestmove", &lines)) << cmd;
    ASSERT_EQ(lines.size(), 2u) << cmd;
    EXPECT_EQ(lines[0].compare(0, 12, "info string "), 0) << cmd << " -> " << lines[0];
    EXPECT_EQ(lines[1], "bestmove resign");
  }
  // A good position afterwards is taken without any message; its only move is played.
  e.Send("position sfen 8k/9/9/9/9/9/9/1r7/K8 b - 1");
  e.Send("go btime 600000 wtime 600000 byoyomi 10000");
  EXPECT_EQ(UntilBestMove(e).back(), "bestmove 9i8h");
  Quit(e);
}

// "go" with several clocks, "stop" behind "go infinite", and "stop" repeating the last
// move until a new game forgets it.
TEST_F(UsiSession, GoStopAndNewGame) {
  UsiProcess e;
  ASSERT_TRUE(e.Start(dir));
  // Lines of the game state sent before any game must not silence its first search.
  e.Send("stop");
  e.Send("ponderhit");
  e.Send("gameover");
  Sync(e);
  e.Send("usinewgame");
  const std::string position = "startpos moves 7g7f 3c3d";
  e.Send("position " + position);
  e.Send("go infinite");
  e.Send("stop");
  std::string best = UntilBestMove(e).back();
  EXPECT_TRUE(IsLegalText(position, MoveOf(best))) << best;
  // A second "stop" repeats the move: its answer is the very next line.
  e.Send("stop");
  EXPECT_EQ(NextLine(e), best);
  // Short and spent clocks still give a move, with no ponder part without USI_Ponder.
  for (const char* go : {"go btime 0 wtime 0 byoyomi 1000", "go btime 700 wtime 700", "go btime 0 wtime 0"}) {
    e.Send("position " + position);
    e.Send(go);
    best = UntilBestMove(e).back();
    EXPECT_TRUE(IsLegalText(position, MoveOf(best))) << go << ": " << best;
    EXPECT_EQ(best.find(" ponder "), std::string::npos) << best;
  }
  e.Send("gameover");
  e.Send("usinewgame");
  e.Send("stop");
  EXPECT_EQ(NextLine(e), "bestmove resign");
  Quit(e);
}

TEST_F(UsiSession, PonderhitAndGoMate) {
  UsiProcess e;
  StartGame(e, {"setoption name USI_Ponder value true"});
  e.Send("position sfen 4k4/9/9/9/9/9/9/9/4K4 b - 1");
  e.Send("go mate 1000");
  EXPECT_EQ(NextLine(e).compare(0, 10, "checkmate "), 0);
  std::string position = "startpos moves 2g2f 8c8d";
  // Pondering answers only on "ponderhit" or "stop", however short the clock.
  e.Send("position " + position);
  e.Send("go ponder btime 0 wtime 0 byoyomi 100");
  std::vector<std::string> early;
  EXPECT_FALSE(e.ReadUntil("bestmove", &early, 1500));
  e.Send("stop");
  EXPECT_TRUE(IsLegalText(position, MoveOf(UntilBestMove(e).back())));
  // With byoyomi, then with increments: ponderhit answers once, with a legal move and,
  // USI_Ponder being on, a legal reply to ponder on.
  for (const char* clock : {"byoyomi 1000", "binc 1000 winc 1000"}) {
    e.Send("position " + position);
    e.Send(std::string("go ponder btime 10000 wtime 10000 ") + clock);
    e.Send("ponderhit");
    const std::string line = UntilBestMove(e).back();
    const std::string best = MoveOf(line);
    EXPECT_TRUE(IsLegalText(position, best)) << clock << ": " << line;
    const size_t at = line.find(" ponder ");
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_TRUE(IsLegalText(position + " " + best, line.substr(at + 8))) << line;
    position += " " + best + " 3c3d";
  }
  // A "stop" that ends a pondering search (the opponent played another move) answers with
  // a move of the pondered position and no ponder move left over from the answer before.
  const std::string go = "go ponder btime 10000 wtime 10000 byoyomi 1000\n";
  std::string missed = UntilBestMoveAfter(e, "position startpos\n" + go + "ponderhit\n");
  const size_t at = missed.find(" ponder ");
  ASSERT_NE(at, std::string::npos) << missed;
  missed = "startpos moves " + MoveOf(missed) + " " + missed.substr(at + 8);
  const std::string stopped = UntilBestMoveAfter(e, "position " + missed + "\n" + go + "stop\n");
  EXPECT_TRUE(IsLegalText(missed, MoveOf(stopped))) << stopped;
  const size_t reply = stopped.find(" ponder ");
  if (reply != std::string::npos) {
    EXPECT_TRUE(IsLegalText(missed + " " + MoveOf(stopped), stopped.substr(reply + 8))) << stopped;
  }
  // Two ponder searches with their "ponderhit" lines in one write: answering the first
  // "ponderhit" must not drop the flag of the second, or the second search ponders forever.
  const std::string pondered = "go ponder btime 10000 wtime 10000 binc 100 winc 100\nponderhit\n";
  ASSERT_TRUE(e.Write("position startpos\n" + pondered + "position startpos moves 7g7f 3c3d\n" + pondered));
  for (const char* played : {"startpos", "startpos moves 7g7f 3c3d"})
    EXPECT_TRUE(IsLegalText(played, MoveOf(UntilBestMove(e).back()))) << played;
  // "gameover" during a search returns to waiting without a "bestmove".
  e.Send("position startpos");
  e.Send("go infinite");
  e.Send("gameover lose");
  e.Send("isready");
  std::vector<std::string> lines;
  ASSERT_TRUE(e.ReadUntil("readyok", &lines));
  for (const std::string& l : lines) EXPECT_NE(l.compare(0, 8, "bestmove"), 0) << l;
  Quit(e);
}

TEST_F(UsiSession, DeclarationWinThenAnOrdinarySearch) {
  UsiProcess e;
  StartGame(e);
  e.Send("position sfen RBG1K1GBR/PPPPPPPPP/9/9/9/9/9/9/4k4 b - 1");
  e.Send("go btime 10000 wtime 10000 byoyomi 1000");
  EXPECT_EQ(UntilBestMove(e).back(), "bestmove win");
  // No move was played: "stop" has nothing to repeat.
  e.Send("stop");
  EXPECT_EQ(NextLine(e), "bestmove resign");
  // A declared win leaves no stop pending: the next search answers with a move.
  e.Send("position sfen RBG1K1GBR/PPPPPPPPP/9/9/9/9/9/9/4k4 b - 1");
  e.Send("go btime 10000 wtime 10000 byoyomi 1000");
  EXPECT_EQ(UntilBestMove(e).back(), "bestmove win");
  e.Send("position startpos");
  e.Send("go btime 0 wtime 0 byoyomi 1000");
  EXPECT_TRUE(IsLegalText("startpos", MoveOf(UntilBestMove(e).back())));
  Quit(e);
}

// The bytes of a recorded line, written as a Python bytes literal (b'...'): \n, \r, \t,
// \\, \', \" and \xNN escapes.
std::string BytesLiteral(const std::string& text) {
  std::string out;
  const size_t open = text.find('\'');
  const size_t close = text.rfind('\'');
  if (open == std::string::npos || close <= open) return out;
  for (size_t i = open + 1; i < close; ++i) {
    if (text[i] != '\\' || i + 1 >= close) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'n') out += '\n';
    else if (c == 'r') out += '\r';
    else if (c == 't') out += '\t';
    else if (c == 'x' && i + 2 < close) {
      out += (char)std::stoi(text.substr(i + 1, 2), nullptr, 16);
      i += 2;
    } else out += c;
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
  e.Send("gameover draw");
  e.Send("isready");
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
    int side;
    auto p = test::MakePosition(position + " moves" + moves, &side);
    Move replies[MaxMoves];
    if (GenerateLegalMoves(*p, replies, side) == replies) return Quit(e);
    moves += " " + MoveToUsi(replies[0]);
  }
  FAIL() << "the mate was not completed";
}

}  // namespace
}  // namespace kestrel_test
