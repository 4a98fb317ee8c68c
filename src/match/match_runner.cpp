// A match: games on several cores, running results and the sequential test.
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/attack_tables.h"
#include "board/hashkeys.h"
#include "game/opening.h"
#include "match/match.h"
#include "match/match_stats.h"

namespace kestrel {

namespace {

void PrintThink(const char* name, const ThinkTimes& t) {
  if (t.moves == 0) return;
  std::printf("  %s: %d moves, mean think %" PRId64 " ms, longest %" PRId64 " ms, lowest clock %" PRId64 " ms\n",
              name, t.moves, t.totalMs / t.moves, t.longestMs, t.lowestClockMs);
}

}  // namespace

int RunMatch(MatchSettings s) {
  if (s.engines[0].name == s.engines[1].name) s.engines[1].name += "'";
  InitBoardTables();
  InitHashKeys();
  FILE* log = s.logPath.empty() ? nullptr : std::fopen(s.logPath.c_str(), "w");
  std::mutex m;
  MatchTally tally;
  ThinkTimes think[2];
  int illegal = 0, timeLosses = 0, crashes = 0, finished = 0;
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};
  auto worker = [&] {
    for (;;) {
      const int n = next.fetch_add(1);
      if (n >= s.games || stop.load()) return;
      // Games 2k and 2k + 1 share an opening, with colours swapped.
      const std::string opening = RandomOpening(s.randomPlies, s.seed * 1000003 + (uint64_t)(n / 2));
      const int blackIndex = n % 2;
      GameOutcome g = PlayMatchGame(s.engines, blackIndex, s.clock, opening, s.maxPlies);
      std::lock_guard<std::mutex> lock(m);
      ++finished;
      if (g.winner == 0) ++tally.wins;
      else if (g.winner == 1) ++tally.losses;
      else ++tally.draws;
      illegal += g.illegal;
      timeLosses += g.timeLoss;
      crashes += g.crash;
      think[0].Add(g.think[0]);
      think[1].Add(g.think[1]);
      const char* result = g.winner < 0 ? "1/2-1/2" : (g.winner == blackIndex) ? "1-0" : "0-1";
      std::printf("game %d: %s (black) - %s (white) %s, %s, %d plies; %s %d-%d-%d\n", n + 1,
                  s.engines[blackIndex].name.c_str(), s.engines[1 - blackIndex].name.c_str(), result,
                  g.reason.c_str(), g.plies, s.engines[0].name.c_str(), tally.wins, tally.draws, tally.losses);
      if (log) {
        std::fprintf(log, "game %d %s %s %s %s: startpos moves %s\n", n + 1, s.engines[blackIndex].name.c_str(),
                     s.engines[1 - blackIndex].name.c_str(), result, g.reason.c_str(), g.moves.c_str());
        std::fflush(log);
      }
      if (s.sprt) {
        const double llr = SprtLogLikelihoodRatio(tally, s.elo0, s.elo1);
        const int d = SprtDecision(llr, s.alpha, s.beta);
        std::printf("  LLR %.2f (bounds %.2f, %.2f)%s\n", llr, std::log(s.beta / (1 - s.alpha)),
                    std::log((1 - s.beta) / s.alpha), d == 0 ? "" : d > 0 ? ": H1 accepted" : ": H0 accepted");
        if (d != 0) stop = true;
      }
      std::fflush(stdout);
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < s.concurrency; ++i) threads.emplace_back(worker);
  for (auto& t : threads) t.join();
  if (log) std::fclose(log);
  const EloEstimate e = EstimateElo(tally);
  std::printf("Score of %s vs %s: %d wins, %d draws, %d losses over %d games: %.1f %%\n", s.engines[0].name.c_str(),
              s.engines[1].name.c_str(), tally.wins, tally.draws, tally.losses, finished, 100 * e.score);
  std::printf("Elo difference: %.0f, 95 %% interval [%.0f, %.0f]\n", e.elo, e.eloLow, e.eloHigh);
  std::printf("Illegal moves or declarations: %d, losses on time: %d, crashes or silences: %d\n", illegal,
              timeLosses, crashes);
  PrintThink(s.engines[0].name.c_str(), think[0]);
  PrintThink(s.engines[1].name.c_str(), think[1]);
  return 0;
}

}  // namespace kestrel
