// The command line: option tables parse and reject words as documented, and the program
// answers unknown commands and options with its usage and a non-zero status, never
// with a USI session.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "app/command_line.h"
#include "app/commands.h"

namespace kestrel {
namespace {

// A command with every shape of option the program uses.
struct Parsed {
  int n = 5;
  double x = 0;
  bool flag = false;
  std::string file;
  std::vector<std::string> pair, rest;
};
CliCommand SampleCommand(Parsed* p) {
  return {"sample",
          "a test",
          {IntOption("--n", "N", "", -3, 9, &p->n), RealOption("--x", "X", "", 0, 1, &p->x),
           TextOption("--file", "F", "", &p->file), FlagOption("--flag", "", &p->flag),
           {"--pair", "A B [C]", "", 2, 3,
            [p](const std::vector<std::string>& v) { return p->pair = v, std::string(); }},
           {"", "WORDS...", "", 0, 2, [p](const std::vector<std::string>& v) { return p->rest = v, std::string(); }}}};
}

TEST(CommandLine, OptionTableDecisions) {
  const struct {
    std::vector<std::string> words;
    bool ok;
  } cases[] = {
      {{}, true},
      {{"--n", "-3", "--x", "0.5", "--flag", "w1"}, true},  // a negative number is a value
      {{"--n", "10"}, false},                               // out of range
      {{"--n", "4x"}, false},                               // trailing garbage
      {{"--n"}, false},                                     // value missing
      {{"--x", "1.5"}, false},
      {{"--x", "nan"}, false},
      {{"--bogus"}, false},
      {{"w1", "w2", "w3"}, false},  // more positional words than allowed
      {{"--pair", "a"}, false},
      {{"--pair", "a", "b", "c", "d"}, true},  // d is positional
  };
  for (const auto& c : cases) {
    Parsed p;
    const std::string err = ParseCommandLine(SampleCommand(&p), c.words);
    std::string text;
    for (const std::string& w : c.words) text += w + " ";
    EXPECT_EQ(err.empty(), c.ok) << text << "-> " << err;
  }
  Parsed p;
  ASSERT_EQ(ParseCommandLine(SampleCommand(&p), {"--pair", "a", "b", "--n", "7", "w", "--file", "f"}), "");
  EXPECT_EQ(p.pair, (std::vector<std::string>{"a", "b"}));  // the optional value stops at an option
  EXPECT_TRUE(p.n == 7 && p.file == "f" && p.rest == std::vector<std::string>{"w"});
  ASSERT_EQ(ParseCommandLine(SampleCommand(&p), {"--pair", "a", "b", "c", "d"}), "");
  EXPECT_EQ(p.pair.size(), 3u);
  EXPECT_EQ(p.rest, (std::vector<std::string>{"d"}));
  // Each mode's table names every option it parses in its usage, and the match command
  // refuses what it cannot play.
  for (auto make : {MakePerftCommand, MakeBenchCommand, MakeGenerateCommand, MakeTrainCommand, MakeMatchCommand}) {
    const ProgramCommand c = make();
    const std::string usage = CommandUsage(c.table);
    for (const CliOption& o : c.table.options)
      EXPECT_NE(usage.find(o.name.empty() ? o.values : o.name), std::string::npos) << c.table.name << " " << o.name;
  }
  ProgramCommand m = MakeMatchCommand();
  EXPECT_NE(ParseCommandLine(m.table, {"--option", "A=1"}), "");  // no engine to give it to
  ASSERT_EQ(ParseCommandLine(m.table, {"--engine", "a", "d", "--engine", "b", "d", "x", "--byoyomi", "0"}), "");
  EXPECT_NE(m.check(), "");  // an empty clock
  m = MakeMatchCommand();
  ASSERT_EQ(ParseCommandLine(m.table, {"--engine", "a", "d"}), "");
  EXPECT_NE(m.check(), "");  // one engine
  EXPECT_NE(ParseCommandLine(MakeGenerateCommand().table, {"--random-plies", "9", "3"}), "");
}

// Runs the program with `args` and no input; its exit status and standard output.
std::pair<int, std::string> RunProgram(const std::string& args) {
  FILE* f = popen((std::string(KESTREL_BINARY) + " " + args + " </dev/null 2>/dev/null").c_str(), "r");
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  const int status = pclose(f);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(CommandLine, ProgramAnswersHelpAndRefusesUnknownWords) {
  auto [status, out] = RunProgram("help");
  EXPECT_EQ(status, 0);
  for (const char* name : {"perft", "bench", "generate", "train", "match"})
    EXPECT_NE(out.find(name), std::string::npos) << out;
  std::tie(status, out) = RunProgram("match --help");
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("--sprt ELO0 ELO1"), std::string::npos) << out;
  for (const char* bad : {"usi", "bogus", "bench --threads 2", "perft", "perft 3 --depth", "help bogus"}) {
    std::tie(status, out) = RunProgram(bad);
    EXPECT_EQ(status, 2) << bad;
    EXPECT_EQ(out, "") << bad;  // the usage goes to standard error; no "usiok" or search
  }
}

}  // namespace
}  // namespace kestrel
