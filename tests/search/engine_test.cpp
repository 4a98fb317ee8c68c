// Engines as objects: two engines in one process search at the same time with their own
// settings and give what each gives alone, and a pair searching on several threads each
// finishes without a fault.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "search_fixture.h"

namespace kestrel {
namespace {

// What a fixed-depth search left: the move, the score, the main thread's nodes and, with
// several lines, each line's move and score.
struct Result {
  Move best;
  int score;
  uint64_t nodes;
  std::vector<std::pair<Move, int>> lines;
  bool operator==(const Result& o) const {
    return best == o.best && score == o.score && nodes == o.nodes && lines == o.lines;
  }
};

// One engine's work: a game to set up, a depth and its own settings (nullptr weights:
// material only).
struct Job {
  const char* game;
  int depth;
  uint64_t hashBytes;
  int threads;
  int multiPv;
  std::shared_ptr<const EvalWeights> weights;
};

// Searches the job on the engine from a new game.
Result Search(Engine& engine, const Job& job) {
  GameCursor game;
  std::string err;
  EXPECT_TRUE(SetPositionFromText(engine.state.root, job.game, game, &err)) << err;
  engine.state.sideToMove = game.side;
  engine.state.moveCount = game.moveCount;
  engine.state.lastMovePlayed = game.lastMove;
  NewGameReset(engine);
  SearchModes modes;
  modes.silent = true;
  modes.threads = job.threads;
  modes.multiPv = job.multiPv;
  Result r;
  r.nodes = SearchFixedDepth(engine, game.side, job.depth, modes);
  r.best = engine.state.bestMove;
  r.score = engine.state.rootScore;
  for (int i = 0; i < job.multiPv && i < engine.state.rootMoveCount && job.multiPv > 1; ++i)
    r.lines.emplace_back(engine.state.rootMoves[i].move, engine.rootLines[i].score);
  return r;
}

// Makes an engine with the job's table.
std::unique_ptr<Engine> MakeEngine(const Job& job) {
  auto e = std::make_unique<Engine>();
  EXPECT_TRUE(e->table.Allocate(job.hashBytes));
  e->UseWeights(job.weights);
  return e;
}

using Engines = test::SearchFixture;

// Alone, then side by side on two threads of the process: the same moves, scores and node
// counts, with different tables, depths, line counts and weights (positional ones or
// none), each run on a fresh engine.
TEST_F(Engines, TwoInOneProcessSearchAsEachDoesAlone) {
  const Job jobs[2] = {
      {"startpos moves 7g7f 3c3d 2g2f 8c8d 2f2e 8d8e 6i7h 4a3b", 7, 16000000, 1, 1, test::SmallRandomWeights(77)},
      {"sfen l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w RGgsn5p 1", 6, 48000000, 1, 3, nullptr},
  };
  Result alone[2];
  for (int i = 0; i < 2; ++i) alone[i] = Search(*MakeEngine(jobs[i]), jobs[i]);
  EXPECT_EQ(alone[1].lines.size(), 3u);
  // The weights take part: the first job on material alone searches another tree.
  Job plain = jobs[0];
  plain.weights = nullptr;
  EXPECT_NE(Search(*MakeEngine(plain), plain).nodes, alone[0].nodes);
  for (int round = 0; round < 2; ++round) {
    std::unique_ptr<Engine> engines[2] = {MakeEngine(jobs[0]), MakeEngine(jobs[1])};
    Result together[2];
    std::thread other([&] { together[1] = Search(*engines[1], jobs[1]); });
    together[0] = Search(*engines[0], jobs[0]);
    other.join();
    for (int i = 0; i < 2; ++i)
      EXPECT_TRUE(together[i] == alone[i]) << "engine " << i << ": " << MoveToUsi(together[i].best) << " "
                                           << together[i].score << " " << together[i].nodes << " against "
                                           << MoveToUsi(alone[i].best) << " " << alone[i].score << " "
                                           << alone[i].nodes;
  }
  // The process's engine was not touched by either.
  EXPECT_EQ(ProcessEngine().state.rootMoveCount, 0);
}

// Two engines of three threads each search at once: each finishes with a legal move, and
// each one's split points stay within its own threads.
TEST_F(Engines, PairOnSeveralThreadsEach) {
  const Job jobs[2] = {
      {"startpos moves 2g2f 8c8d 2f2e 8d8e 7g7f 4a3b", 7, 16000000, 3, 1, nullptr},
      {"startpos moves 7g7f 3c3d 8h2b+ 3a2b", 7, 16000000, 3, 2, nullptr},
  };
  std::unique_ptr<Engine> engines[2] = {MakeEngine(jobs[0]), MakeEngine(jobs[1])};
  Result r[2];
  std::thread other([&] { r[1] = Search(*engines[1], jobs[1]); });
  r[0] = Search(*engines[0], jobs[0]);
  other.join();
  for (int i = 0; i < 2; ++i) {
    GameCursor game;
    std::string err;
    auto p = test::NewPosition();
    ASSERT_TRUE(SetPositionFromText(*p, jobs[i].game, game, &err));
    EXPECT_TRUE(IsLegalMove(*p, r[i].best, game.side)) << i << " " << MoveToUsi(r[i].best);
    EXPECT_GT(r[i].nodes, 1000u);
    EXPECT_GT(engines[i]->pool.SplitCount(), 0) << i;
  }
}

}  // namespace
}  // namespace kestrel
