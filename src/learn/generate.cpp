// Self-play games for training positions. Each move is chosen by the engine's own
// search at a fixed depth (or node count) on one thread, without book or mate pre-search;
// quiet positions are kept with the search score, the best move and the game's result.
#include "learn/generate.h"

#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <thread>
#include <unordered_map>

#include "board/move_text.h"
#include "engine/engine_setup.h"
#include "game/game_text.h"
#include "game/opening.h"
#include "game/referee.h"
#include "learn/elapsed.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"

namespace kestrel {

namespace {

constexpr int MaxNodeModeDepth = 30;  // deeper than any node budget reaches

// Searches the root for `side` to the settings' depth, or as deep as the node budget
// allows; the move is in the engine record. Returns the score to record, or false when
// the search finished no iteration (nothing to record).
bool SearchMove(Engine& engine, const GenerateSettings& s, int side, GenerateTotals* t, int* score) {
  const SearchState& st = engine.state;
  ++t->moves;
  // One silent thread, and no mate tests at the root: a fixed-depth search then costs
  // the same at every move and orders its root moves by quiescence alone.
  SearchModes modes;
  modes.silent = true;
  modes.rootMateTests = false;
  modes.nodeLimit = s.nodes != 0 ? s.nodes : s.maxNodes;
  modes.threads = 1;
  SearchFixedDepth(engine, side, s.nodes != 0 ? MaxNodeModeDepth : s.depth, modes);
  if (st.searchStatus != StatusTimeUp) {
    *score = st.rootScore;
    return true;
  }
  // Cut by the node budget: the last finished iteration's score stands.
  if (s.nodes == 0) ++t->cutSearches;
  *score = st.previousScore;
  return st.previousScore != -ScoreNone;
}

// One game from a start position after random opening moves. Returns the records it made.
void PlayGame(Engine& engine, const GenerateSettings& s, std::mt19937_64& rng, ShardWriter& shard, GenerateTotals* t) {
  SearchState& st = engine.state;
  NewGameReset(engine);
  GameCursor game;
  std::string err;
  const std::string start = s.startPositions.empty() ? "startpos" : s.startPositions[rng() % s.startPositions.size()];
  if (!SetPositionFromText(st.root, start, game, &err)) {
    std::fprintf(stderr, "generate: skipping start position: %s\n", err.c_str());
    return;
  }
  Position& root = st.root;
  // 1. Random opening moves for variety; a game that ends during them is dropped.
  const int span = s.randomPliesMax - s.randomPliesMin + 1;
  const int randomPlies = s.randomPliesMin + (span > 0 ? (int)(rng() % (uint64_t)span) : 0);
  if (!PlayRandomMoves(root, game, randomPlies, rng, false)) return;
  // 2. The game proper, judged by the referee as matches are; its length counts from here.
  std::vector<TrainingRecord> records;
  std::vector<int> sides;
  Referee referee;
  Verdict verdict = StartReferee(referee, root, game.side, s.plyCap);
  for (;;) {
    const int side = game.side;
    if (verdict.end == GameEnd::None && JudgeDeclaration(root, side).winner == side) verdict = {GameEnd::Declaration, side};
    if (verdict.end != GameEnd::None) break;
    st.sideToMove = side;
    st.moveCount = game.moveCount;
    st.lastMovePlayed = game.lastMove;
    int score = 0;
    const bool scored = SearchMove(engine, s, side, t, &score);
    const Move best = st.bestMove;
    if (best == NoMove || !IsLegalMove(root, best, side)) {
      verdict = {GameEnd::Mate, -side};
      break;
    }
    const bool single = st.rootMoveCount == 1 || !scored;
    if (!single && (score >= s.resignScore || score <= -s.resignScore)) {
      // Resignation, a found mate or a decided repetition: the scored side wins.
      if (IsProven(score)) ++t->skippedMate;
      verdict = {GameEnd::Resignation, score > 0 ? side : -side};
      break;
    }
    if (!single) {
      if (InCheck(root, side)) {
        ++t->skippedInCheck;
      } else if (MoveIsCapture(best)) {
        ++t->skippedCapture;
      } else if (score == -DrawScore) {
        // The search's line repeats: its score is the draw value the root side gives a
        // repetition, not a judgement of the position.
        ++t->skippedRepetition;
      } else {
        TrainingRecord r{};
        PackPosition(root, side, r.position);
        r.score = (int16_t)score;
        r.move = PackMove(best);
        r.ply = (uint16_t)(game.moveCount > 65535 ? 65535 : game.moveCount);
        records.push_back(r);
        sides.push_back(side);
      }
    }
    PlayGameMove(root, game, best);
    verdict = JudgeAfterMove(referee, root, game.side);
  }
  // 3. The result, from each record's side to move.
  const int winner = verdict.winner;
  if (verdict.end == GameEnd::Repetition) ++t->repetitionDraws;
  if (verdict.end == GameEnd::PlyCap) ++t->plyCapDraws;
  if (verdict.end == GameEnd::PerpetualCheck) {
    ++t->perpetualChecks;
    t->perpetualCheckRecords += records.size();
  }
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].result = (int8_t)(winner == 0 ? 0 : winner == sides[i] ? 1 : -1);
    AppendRecord(shard, records[i]);
  }
  ++t->games;
  t->records += records.size();
  if (winner == Black) ++t->blackWins;
  else if (winner == White) ++t->whiteWins;
  else ++t->draws;
}

// "12m05s" for a number of seconds.
std::string Duration(double seconds) {
  if (seconds < 0 || seconds > 1e8) return "?";
  const long s = (long)seconds;
  char buf[32];
  if (s >= 3600) std::snprintf(buf, sizeof buf, "%ldh%02ldm", s / 3600, s / 60 % 60);
  else std::snprintf(buf, sizeof buf, "%ldm%02lds", s / 60, s % 60);
  return buf;
}

}  // namespace

bool GeneratePositions(Engine& engine, const GenerateSettings& s, ShardWriter& shard, GenerateTotals* totals) {
  GenerateTotals& t = *totals;
  std::mt19937_64 rng(s.seed);
  const auto start = std::chrono::steady_clock::now();
  double lastReport = 0;
  bool ok = true;
  while ((s.games == 0 || t.games < s.games) && (s.records == 0 || t.records < s.records) &&
         (s.seconds == 0 || SecondsSince(start) < (double)s.seconds)) {
    if (s.games == 0 && s.records == 0 && s.seconds == 0) break;
    PlayGame(engine, s, rng, shard, &t);
    if (!FlushShard(shard)) {
      std::fprintf(stderr, "generate: cannot write the shard\n");
      ok = false;
      break;
    }
    const double elapsed = SecondsSince(start);
    if (!s.quiet && elapsed - lastReport >= 5) {
      lastReport = elapsed;
      const double rate = t.records / elapsed;
      double left = -1;
      if (s.records) left = (double)(s.records - t.records) / (rate > 0 ? rate : 1e-9);
      else if (s.games) left = elapsed / t.games * (double)(s.games - t.games);
      if (s.seconds && (left < 0 || left > (double)s.seconds - elapsed)) left = (double)s.seconds - elapsed;
      std::fprintf(stderr, "games %" PRIu64 ", records %" PRIu64 ", %.0f records/s, %.1f moves/s, left %s\n", t.games,
                   t.records, rate, t.moves / elapsed, Duration(left).c_str());
    }
  }
  t.seconds = SecondsSince(start);
  return ok;
}

std::string ThreadShardPath(const GenerateSettings& s, int index) {
  if (s.threads <= 1) return s.outPath;
  const size_t slash = s.outPath.find_last_of('/');
  const size_t dot = s.outPath.find_last_of('.');
  const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : s.outPath.size();
  return s.outPath.substr(0, at) + "-" + std::to_string(s.seed + (uint64_t)index) + s.outPath.substr(at);
}

namespace {

// One thread's run: its engine plays its seed's games into its own shard.
bool RunOneThread(Engine& engine, const GenerateSettings& s, GenerateTotals* t) {
  const std::string path = s.outPath;
  if (!engine.table.Allocate((uint64_t)s.hashMb << 20)) {
    std::fprintf(stderr, "generate: cannot allocate the hash table\n");
    return false;
  }
  ShardWriter shard;
  std::string err;
  if (!OpenShard(shard, path, &err)) {
    std::fprintf(stderr, "generate: %s\n", err.c_str());
    return false;
  }
  bool ok = GeneratePositions(engine, s, shard, t);
  ok = CloseShard(shard) && ok;
  engine.pool.StopHelpers();
  return ok;
}

// Adds one thread's totals to the run's.
void AddTotals(GenerateTotals& sum, const GenerateTotals& t) {
  sum.games += t.games;
  sum.records += t.records;
  sum.moves += t.moves;
  sum.skippedInCheck += t.skippedInCheck;
  sum.skippedCapture += t.skippedCapture;
  sum.skippedMate += t.skippedMate;
  sum.skippedRepetition += t.skippedRepetition;
  sum.cutSearches += t.cutSearches;
  sum.repetitionDraws += t.repetitionDraws;
  sum.plyCapDraws += t.plyCapDraws;
  sum.perpetualChecks += t.perpetualChecks;
  sum.perpetualCheckRecords += t.perpetualCheckRecords;
  sum.blackWins += t.blackWins;
  sum.whiteWins += t.whiteWins;
  sum.draws += t.draws;
}

}  // namespace

int RunGenerate(GenerateSettings s, const std::string& startFile) {
  if (!startFile.empty()) {
    std::ifstream in(startFile);
    if (!in) {
      std::fprintf(stderr, "generate: cannot open %s\n", startFile.c_str());
      return 1;
    }
    for (std::string line; std::getline(in, line);) {
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (line.compare(0, 9, "position ") == 0) line.erase(0, 9);
      if (!line.empty()) s.startPositions.push_back(line);
    }
  }
  // The process's engine loads the weights every thread's engine reads.
  Engine& main = ProcessEngine();
  InitEngine(main);
  if (!LoadDataFiles(main)) {
    std::fprintf(stderr, "generate: no Evaluation/evaluation.txt in this directory\n");
    return 1;
  }
  std::fprintf(stderr, "Evaluation: %s\n", DescribeEvaluationData(main).c_str());
  const auto start = std::chrono::steady_clock::now();
  const int threads = s.threads < 1 ? 1 : s.threads;
  std::vector<GenerateSettings> each(threads, s);
  std::vector<GenerateTotals> totals(threads);
  std::vector<std::unique_ptr<Engine>> engines;
  std::vector<char> ok(threads, 0);
  for (int i = 0; i < threads; ++i) {
    each[i].outPath = ThreadShardPath(s, i);
    each[i].seed = s.seed + (uint64_t)i;
    each[i].quiet = s.quiet || i > 0;  // progress lines from the first thread only
    if (threads == 1) continue;
    engines.push_back(std::make_unique<Engine>());
    engines.back()->directory = main.directory;
    engines.back()->UseWeights(main.SharedWeights());
  }
  if (threads == 1) {
    ok[0] = RunOneThread(main, each[0], &totals[0]);
  } else {
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
      workers.emplace_back([&, i] { ok[i] = RunOneThread(*engines[i], each[i], &totals[i]); });
    for (std::thread& w : workers) w.join();
  }
  GenerateTotals t;
  for (const GenerateTotals& one : totals) AddTotals(t, one);
  t.seconds = SecondsSince(start);
  std::fprintf(stderr,
               "done: %" PRIu64 " games (Black %" PRIu64 ", White %" PRIu64 ", draws %" PRIu64 "), %" PRIu64
               " records in %.1f s, %.0f records/s; left out: %" PRIu64 " in check, %" PRIu64
               " capturing best move, %" PRIu64 " repetition scores; %" PRIu64 " searches cut at --max-nodes; draws: %" PRIu64 " by repetition, %" PRIu64
               " at the ply cap; %" PRIu64 " games lost by perpetual check (%" PRIu64 " records)\n",
               t.games, t.blackWins, t.whiteWins, t.draws, t.records, t.seconds, t.records / (t.seconds > 0 ? t.seconds : 1),
               t.skippedInCheck, t.skippedCapture, t.skippedRepetition, t.cutSearches, t.repetitionDraws, t.plyCapDraws,
               t.perpetualChecks, t.perpetualCheckRecords);
  for (char good : ok)
    if (!good) return 1;
  return 0;
}

}  // namespace kestrel
