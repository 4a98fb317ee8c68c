// Program entry: without arguments a USI session on standard input and output (the way
// GUIs start engines); otherwise one of the command-line modes.
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "usi/usi_loop.h"

namespace kestrel {
namespace {

std::vector<ProgramCommand> AllCommands() {
  return {MakePerftCommand(), MakeBenchCommand(), MakeGenerateCommand(), MakeTrainCommand(), MakeMatchCommand()};
}

// The program's own usage: the USI session, the modes, and how to ask for a mode's options.
std::string ProgramUsage(const std::vector<ProgramCommand>& commands) {
  std::string text =
      "usage: kestrel                      a USI session on standard input and output (what GUIs start)\n"
      "       kestrel <command> [options]  a command-line mode:\n";
  for (const ProgramCommand& c : commands) {
    std::string head = "         " + c.table.name;
    head.append(head.size() < 20 ? 20 - head.size() : 1, ' ');
    text += head + c.table.summary + "\n";
  }
  text += "       kestrel help [command]       this text, or a command's options\n"
          "       kestrel <command> --help     a command's options\n";
  return text;
}

int Main(const std::vector<std::string>& args) {
  if (args.empty()) return RunUsiSession();
  const std::vector<ProgramCommand> commands = AllCommands();
  auto find = [&](const std::string& name) -> const ProgramCommand* {
    for (const ProgramCommand& c : commands)
      if (c.table.name == name) return &c;
    return nullptr;
  };
  const std::string& name = args[0];
  if (name == "help" || name == "--help" || name == "-h") {
    if (args.size() == 1) {
      std::fputs(ProgramUsage(commands).c_str(), stdout);
      return 0;
    }
    const ProgramCommand* c = find(args[1]);
    if (c && args.size() == 2) {
      std::fputs(CommandUsage(c->table).c_str(), stdout);
      return 0;
    }
    std::fprintf(stderr, "kestrel help: unknown command '%s'\n%s", args[1].c_str(), ProgramUsage(commands).c_str());
    return 2;
  }
  const ProgramCommand* c = find(name);
  if (!c) {
    std::fprintf(stderr, "kestrel: unknown command '%s'\n%s", name.c_str(), ProgramUsage(commands).c_str());
    return 2;
  }
  const std::vector<std::string> words(args.begin() + 1, args.end());
  for (const std::string& w : words)
    if (w == "--help") {
      std::fputs(CommandUsage(c->table).c_str(), stdout);
      return 0;
    }
  std::string err = ParseCommandLine(c->table, words);
  if (err.empty()) err = c->check();
  if (!err.empty()) {
    std::fprintf(stderr, "kestrel %s: %s\n%s", name.c_str(), err.c_str(), CommandUsage(c->table).c_str());
    return 2;
  }
  return c->run();
}

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv) { return kestrel::Main(std::vector<std::string>(argv + 1, argv + argc)); }
