// kestrel-osl-rescore: replaces the teacher's score of every record of a training shard
// with OpenShogiLib's evaluation of the position (through its quiescence search by
// default), converted to Kestrel's points. Built only with -DKESTREL_OSL_TEACHER=ON.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board/material.h"
#include "learn/elapsed.h"
#include "learn/training_record.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "teacher/osl_teacher.h"
#include "engine/engine_setup.h"
#include "game/game_text.h"

namespace kestrel {

namespace {

// Kestrel points per OSL evaluation unit. On 6.28 million self-play records (pawn 100
// points) the least-squares slope of OSL's static value on Kestrel's material balance,
// both from the side to move, was 217.7 units a point; OSL's own pawn is 21760 units.
constexpr double DefaultFactor = 1.0 / 217.7;

struct Options {
  int threads = 2;
  double factor = DefaultFactor;
  int quiesceDepth = 4;  // plies; 0: static evaluation only
  double maxDiff = -1;  // points; < 0: keep every record
  // Scores are held to +-cap points. The generator ends a game once its search score
  // passes 3000, so none of its own records goes beyond; and OSL's values for mates and
  // mate threats seen by its quiescence search (far past any evaluation) named the
  // loser in 18 % of the decided games where they appeared: unbounded, they cost the
  // fit to the results more than all other records gain.
  int cap = 3000;
  size_t limit = 0;     // 0: every record
  size_t check = 0;     // records to cross-check legal moves on; 0: rescore
  std::string in, out;
};

// What the workers compute for one record.
struct Scored {
  int staticValue, quiesceValue;  // OSL units, side to move
  int material;                   // Kestrel points, side to move
  bool decided;                   // the quiescence search found a forced win
  bool ok;
};

// OSL units to Kestrel points, rounded and held to +-cap (at most the record's int16).
int16_t ToPoints(int value, double factor, int cap) {
  const double v = std::round(value * factor);
  return (int16_t)std::clamp(v, -(double)cap, (double)cap);
}

// Scores records [0, n) on `threads` threads, each taking blocks from a shared counter;
// the main thread prints progress. Returns false when OSL cannot score some record
// (that record's `ok` is false, the first reason is in *err).
bool ScoreAll(const Options& o, const std::vector<TrainingRecord>& records, size_t n, std::vector<Scored>* out,
              std::string* err) {
  out->assign(n, Scored{0, 0, 0, false, false});
  std::atomic<size_t> next{0}, done{0};
  std::atomic<bool> failed{false};
  std::string firstError;
  std::atomic<int> errorTaken{0};
  constexpr size_t Block = 256;
  auto work = [&] {
    OslScorer* scorer = NewOslScorer();
    auto p = std::make_unique<Position>();
    std::string why;
    for (;;) {
      const size_t lo = next.fetch_add(Block);
      if (lo >= n) break;
      const size_t hi = std::min(n, lo + Block);
      for (size_t i = lo; i < hi; ++i) {
        Scored& s = (*out)[i];
        int side;
        OslScore os;
        // ReadShard has already checked every position, so the unpack cannot fail.
        UnpackPosition(records[i].position, *p, &side);
        s.material = side == Black ? p->material : -p->material;
        s.ok = ScoreSfen(*scorer, PositionToSfen(*p, side), o.quiesceDepth, false, &os, &why);
        s.staticValue = os.staticValue;
        s.quiesceValue = os.quiesceValue;
        s.decided = os.decided;
        if (!s.ok && errorTaken.fetch_add(1) == 0) {
          firstError = "record " + std::to_string(i) + ": " + why;
          failed = true;
        }
      }
      done += hi - lo;
    }
    FreeOslScorer(scorer);
  };
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < std::max(1, o.threads); ++t) pool.emplace_back(work);
  double lastReport = 0;
  while (done < n) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double elapsed = SecondsSince(start);
    if (elapsed - lastReport >= 10) {
      lastReport = elapsed;
      const double rate = done / elapsed;
      std::fprintf(stderr, "rescored %zu of %zu, %.0f records/s, left %.0f s\n", done.load(), n, rate,
                   rate > 0 ? (n - done) / rate : 0.0);
    }
  }
  for (std::thread& t : pool) t.join();
  const double elapsed = SecondsSince(start);
  std::fprintf(stderr, "rescored %zu records in %.1f s, %.0f records/s on %d threads\n", n, elapsed,
               n / std::max(elapsed, 1e-9), std::max(1, o.threads));
  if (failed) *err = firstError;
  return !failed;
}

// Prints how OSL's values relate to Kestrel's material balance: the factor that best
// maps OSL's static value onto the material (least squares of OSL on material, which
// OSL's positional terms do not bias towards zero), the reverse regression and the ratio
// of the pawn values, for choosing --factor.
void ReportFit(const std::vector<Scored>& scored) {
  double sxy = 0, sxx = 0, syy = 0, qxy = 0;
  size_t n = 0;
  for (const Scored& s : scored) {
    if (!s.ok || s.decided) continue;
    const double m = s.material, v = s.staticValue;
    sxy += m * v, sxx += m * m, syy += v * v, qxy += m * s.quiesceValue;
    ++n;
  }
  if (n == 0 || sxx == 0 || syy == 0) {
    std::fprintf(stderr, "fit: no material to fit against (no Evaluation/evaluation.txt here?)\n");
    return;
  }
  std::fprintf(stderr,
               "fit over %zu records: OSL static = %.1f x material (factor %.6f = 1/%.1f), "
               "material on OSL static gives factor %.6f, quiescence = %.1f x material, "
               "correlation %.3f; pawn values %d points / %d OSL units = %.6f\n",
               n, sxy / sxx, sxx / sxy, sxy / sxx, sxy / syy, qxy / sxx, sxy / std::sqrt(sxx * syy),
               PieceValues[VKPawn], OslPawnValue(), (double)PieceValues[VKPawn] / OslPawnValue());
}

// Compares Kestrel's and OSL's legal move counts on the first records: a wrong side to
// move, a lost hand piece or a mirrored board shows up as a different count. Returns the
// exit status.
int CheckRecords(const Options& o, const std::vector<TrainingRecord>& records) {
  OslScorer* scorer = NewOslScorer();
  auto p = std::make_unique<Position>();
  Move list[MaxMoves];
  size_t mismatches = 0, checked = 0;
  double signAgree = 0, signCount = 0;
  for (size_t i = 0; i < records.size() && i < o.check; ++i, ++checked) {
    int side;
    UnpackPosition(records[i].position, *p, &side);
    const std::string sfen = PositionToSfen(*p, side);
    OslScore os;
    std::string why;
    const int mine = (int)(GenerateLegalMoves(*p, list, side) - list);
    if (!ScoreSfen(*scorer, sfen, 0, true, &os, &why)) {
      std::fprintf(stderr, "record %zu (%s): %s\n", i, sfen.c_str(), why.c_str());
      ++mismatches;
    } else if (os.legalMoves != mine) {
      std::fprintf(stderr, "record %zu (%s): Kestrel %d legal moves, OSL %d\n", i, sfen.c_str(), mine,
                   os.legalMoves);
      ++mismatches;
    }
    // With a clear material edge both should favour the same side.
    const int material = side == Black ? p->material : -p->material;
    if (std::abs(material) >= 300) {
      ++signCount;
      signAgree += (material > 0) == (os.staticValue > 0);
    }
  }
  FreeOslScorer(scorer);
  std::printf("checked %zu records: %zu mismatches; OSL agrees on the leading side in %.1f %% of %d positions "
              "with a material edge of 3 pawns or more\n",
              checked, mismatches, signCount ? 100 * signAgree / signCount : 0.0, (int)signCount);
  return mismatches == 0 ? 0 : 1;
}

// Writes the records with the new scores, leaving out those OSL could not score and,
// with --max-diff, those whose quiescence and static values differ by more than it.
bool WriteOutput(const Options& o, const std::vector<TrainingRecord>& records, const std::vector<Scored>& scored,
                 std::string* err) {
  ShardWriter w;
  if (!OpenShard(w, o.out, err)) return false;
  size_t kept = 0, nonQuiet = 0, failed = 0, clamped = 0, decided = 0;
  for (size_t i = 0; i < scored.size(); ++i) {
    const Scored& s = scored[i];
    if (!s.ok) {
      ++failed;
      continue;
    }
    if (o.maxDiff >= 0 && std::abs(s.quiesceValue - s.staticValue) * o.factor > o.maxDiff) {
      ++nonQuiet;
      continue;
    }
    TrainingRecord r = records[i];
    const int value = s.quiesceValue;
    r.score = ToPoints(value, o.factor, o.cap);
    clamped += std::abs(std::round(value * o.factor)) > o.cap;
    decided += s.decided;
    AppendRecord(w, r);
    ++kept;
    if (w.pending.size() >= 65536 && !FlushShard(w)) break;
  }
  if (!CloseShard(w)) {
    *err = "cannot write " + o.out;
    return false;
  }
  std::fprintf(stderr, "wrote %zu records to %s; dropped %zu non-quiet (--max-diff), %zu OSL could not score; "
               "%zu scores held to +-%d, %zu of them mates or mate threats seen by the quiescence search\n", kept, o.out.c_str(), nonQuiet,
               failed, clamped, o.cap, decided);
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: kestrel-osl-rescore [--threads N] [--factor X] [--quiesce DEPTH|--eval] [--max-diff POINTS]\n"
               "                           [--cap POINTS] [--limit N] IN_SHARD OUT_SHARD\n"
               "       kestrel-osl-rescore --check N IN_SHARD\n");
  return 2;
}

int Run(int argc, char** argv) {
  Options o;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--threads" && hasValue) o.threads = std::atoi(argv[++i]);
    else if (a == "--factor" && hasValue) o.factor = std::strtod(argv[++i], nullptr);
    else if (a == "--max-diff" && hasValue) o.maxDiff = std::strtod(argv[++i], nullptr);
    else if (a == "--cap" && hasValue) o.cap = std::atoi(argv[++i]);
    else if (a == "--limit" && hasValue) o.limit = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--check" && hasValue) o.check = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--quiesce" && hasValue) o.quiesceDepth = std::atoi(argv[++i]);
    else if (a == "--eval") o.quiesceDepth = 0;
    else if (!a.empty() && a[0] == '-') return Usage();
    else files.push_back(a);
  }
  if (files.size() != (o.check ? 1u : 2u) || o.threads < 1 || o.threads > 64 || !(o.factor > 0) || o.cap < 1 ||
      o.cap > 32767) return Usage();
  o.in = files[0];
  if (!o.check) o.out = files[1];

  InitEngine();
  // The piece values (from Evaluation/evaluation.txt here, if any) only serve the fit
  // report and the check's material test; rescoring does not need them.
  if (!LoadDataFiles()) std::fprintf(stderr, "no Evaluation/evaluation.txt here: material counts as 0\n");
  std::string err;
  if (!InitOslTeacher(&err)) {
    std::fprintf(stderr, "kestrel-osl-rescore: %s\n", err.c_str());
    return 1;
  }
  std::vector<TrainingRecord> records;
  if (!ReadShard(o.in, &records, &err)) {
    std::fprintf(stderr, "kestrel-osl-rescore: %s\n", err.c_str());
    return 1;
  }
  if (o.check) return CheckRecords(o, records);

  const size_t n = o.limit ? std::min(o.limit, records.size()) : records.size();
  std::vector<Scored> scored;
  if (!ScoreAll(o, records, n, &scored, &err))
    std::fprintf(stderr, "kestrel-osl-rescore: OSL could not score some records (%s); they are left out\n",
                 err.c_str());
  ReportFit(scored);
  if (!WriteOutput(o, records, scored, &err)) {
    std::fprintf(stderr, "kestrel-osl-rescore: %s\n", err.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

}  // namespace kestrel

int main(int argc, char** argv) { return kestrel::Run(argc, argv); }
