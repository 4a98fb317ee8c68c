// Program entry: command-line modes, otherwise the USI session.
#include <cstring>

#include "learn/generate.h"
#include "learn/trainer.h"
#include "match/match.h"
#include "usi/cli.h"
#include "usi/usi_loop.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "perft") == 0) return kestrel::RunPerftCommand(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) return kestrel::RunBenchCommand(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "match") == 0) return kestrel::RunMatchCommand(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "generate") == 0) return kestrel::RunGenerateCommand(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "train") == 0) return kestrel::RunTrainCommand(argc - 2, argv + 2);
  return kestrel::RunUsiSession();
}
