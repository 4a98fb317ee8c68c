// The program's command-line modes: each binds its option table to a settings record of
// its own and runs with what the table parsed.
#pragma once

#include <functional>
#include <string>

#include "app/command_line.h"

namespace kestrel {

struct ProgramCommand {
  CliCommand table;
  // After parsing: the checks that involve several options ("" when all is well).
  std::function<std::string()> check;
  // Runs the mode; returns the process exit status.
  std::function<int()> run;
};

ProgramCommand MakePerftCommand();
ProgramCommand MakeBenchCommand();
ProgramCommand MakeGenerateCommand();
ProgramCommand MakeTrainCommand();
ProgramCommand MakeMatchCommand();

}  // namespace kestrel
