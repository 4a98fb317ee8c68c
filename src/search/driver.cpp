// The search driver.
#include "search/driver.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/material.h"
#include "board/move_text.h"
#include "book/shortcuts.h"
#include "eval/movegain.h"
#include "mate/solver.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"
#include "search/engine.h"
#include "search/history.h"
#include "search/info_line.h"
#include "search/parallel.h"
#include "search/picker.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace kestrel {

namespace {

// Sort keys of root moves that are not to be searched (illegal, a pawn drop that mates,
// or answered by a mate): far below every quiescence score, and dropped after sorting.
// Moves the clock left unscored sort below every score but are kept.
constexpr int KeyNotPlayable = -4000000;
constexpr int KeyDropBelow = -2999999;
constexpr int KeyUnscored = -2999998;
// Deepest iteration of any search (the per-ply arrays end at ply 50).
constexpr int MaxIterationDepth = 40;
// Scores within this bound get an aspiration window; beyond it (decided games, rule
// results) the iteration takes the full window.
constexpr int AspirationLimit = 20000;

// The mate tests of a fixed-depth search are bounded by moves instead of the clock, so
// that the search is the same on every machine and under any load: at most this many
// for one test and for all tests of the search together (about what one and three
// seconds give on a desktop core).
constexpr uint32_t FixedDepthMateTestNodes = 300000;
constexpr uint32_t FixedDepthMateNodes = 900000;

// The root's own mate test: the first, before the search, may spend this many moves;
// each later one, between iterations, twice what the one before it ran out of.
constexpr uint32_t RootMateFirstNodes = 1u << 15;

// A mate test: `attacker` mates in the position within `nodes` and the time the plan
// still gives such tests, before the search or (`between`) between its iterations; none
// is started without time left. In a fixed-depth search within the moves it still has
// for them instead. *limit, when given, receives the moves the test was given (0: it
// did not run).
bool MateTest(Engine& engine, Position& p, int attacker, uint32_t nodes, bool between, int printInfo,
              uint32_t* limit) {
  const LineSink* info = printInfo ? &engine.out : nullptr;
  MateLimits limits;
  limits.nodes = nodes;
  if (limit) *limit = 0;
  if (engine.modes.fixedDepth) {
    uint32_t& left = engine.fixedDepthMateNodesLeft;
    if (left == 0) return false;
    limits.nodes = std::min({nodes, FixedDepthMateTestNodes, left});
    if (limit) *limit = limits.nodes;
    const bool proved = engine.mate.Solve(p, attacker, limits, info) != 0;
    left -= std::min(engine.mate.Nodes(), left);
    return proved;
  }
  limits.timeMs = between ? engine.time.RootMateTestTimeMs(engine.rootMateSpentMs)
                          : engine.time.PreSearchMateTimeMs(1000);
  if (limits.timeMs <= 0) return false;
  if (limit) *limit = limits.nodes;
  return engine.mate.Solve(p, attacker, limits, info) != 0;
}

bool MateTestProves(Engine& engine, Position& p, int attacker, uint32_t nodes, int printInfo) {
  return MateTest(engine, p, attacker, nodes, false, printInfo, nullptr);
}

// The root's own mate test with `nodes` moves at most, before the search or (`between`)
// after an iteration. A test that ran out of its moves (not of time, nor by giving up a
// tree too large) leaves twice as many to the next one. True when the mate it proves
// reads out as a line: its first move is then the answer, the engine plays the mate out,
// and a test between iterations reports it as the search's last line.
bool RootMateTestPlays(Engine& engine, int side, uint32_t nodes, bool between) {
  SearchState& st = engine.state;
  Position& root = st.root;
  const int64_t start = NowMs();
  uint32_t limit = 0;
  const bool print = !engine.modes.silent;
  const bool proved = MateTest(engine, root, side, nodes, between, print && !between, &limit);
  engine.rootMateSpentMs += NowMs() - start;
  const bool outOfMoves = limit > 0 && engine.mate.Outcome() == MateLimitHit && engine.mate.Nodes() >= limit;
  engine.rootMateNextNodes = !proved && outOfMoves && limit <= MateNodesUnlimited / 2 ? 2 * limit : 0;
  std::string line;
  Move first = NoMove;
  if (!proved || !engine.mate.AppendLine(root, side, line, &first)) return false;
  if (between && print) {
    InfoFields f;
    f.depth = f.selDepth = engine.mate.LineLength();
    f.nodes = engine.pool.MainBlock().nodes + engine.mate.Nodes();
    f.score = MateIn(f.depth);
    Report(engine.out, FormatInfoLine(f, NowMs() - st.searchStartMs, engine.table.Hashfull(), line));
  }
  engine.mateSequenceActive = true;
  st.bestMove = first;
  st.rootScore = ScoreMate;
  if (st.pondering) {
    st.searchStatus = StatusPonderMate;
    st.pondering = 0;
  }
  return true;
}

// Replays the previous main line on the root, storing each move in the table so
// that the next iteration searches it first.
void SeedPrincipalVariation(SearchBlock& b, int side) {
  Position& p = b.pos;
  const int end = b.pv[RootPly].length;
  Move played[PlyCount];
  MoveUndo undo[PlyCount];
  int n = 0, s = side;
  for (int ply = RootPly; ply <= end && n < PlyCount - 2; ++ply) {
    const Move m = b.pv[RootPly].moves[ply];
    if (m == 0 || !IsLegalMove(p, m, s)) break;
    b.engine->table.StoreMove(TableKey(p.keyFull, s), m);
    undo[n] = PlayMove(p, m);
    played[n++] = m;
    s = -s;
  }
  while (n > 0) {
    --n;
    TakeBackMove(p, played[n], undo[n]);
  }
}

// Counts one more fail low or fail high in the first root entry's flags.
int BumpCounter(uint8_t& flags, int shift) {
  int count = 0;
  for (int bit = 0; bit < 3; ++bit)
    if (flags & (1 << (shift + bit))) ++count;
  if (count < 3) flags |= (uint8_t)(1 << (shift + count));
  return count + 1 > 3 ? 3 : count + 1;
}

// Root entries from `first` on may be searched again (the entries above belong to the
// lines a MultiPV search has already found in this iteration).
void ClearSearchedFlags(SearchState& st, int first) {
  for (int i = first; i < st.rootMoveCount; ++i) st.rootMoves[i].flags &= ~RootSearched;
}

void ClearRootFlags(SearchState& st, int first) {
  for (int i = first; i < st.rootMoveCount; ++i) st.rootMoves[i].flags = 0;
}

// The lines a search shows: the MultiPV option, at most the number of root moves.
int LinesWanted(const Engine& engine) {
  const int k = engine.modes.multiPv < 1 ? 1 : engine.modes.multiPv;
  return k < engine.state.rootMoveCount ? k : engine.state.rootMoveCount;
}

}  // namespace

int LevelDepthLimit(int level) {
  if (level >= 10) return MaxIterationDepth;
  return level < 1 ? 1 : level;
}

void PrintRootLine(const SearchBlock& b, const PvRow& row, int score, ScoreBound bound, int multiPv) {
  Engine& engine = *b.engine;
  InfoFields f;
  f.depth = engine.state.iterationDepth;
  const int deepest = std::max(b.selDepth, engine.pool.MainBlock().selDepth);
  f.selDepth = std::max(deepest - RootPly, f.depth);
  f.nodes = b.nodes;
  f.score = score;
  f.bound = bound;
  f.multiPv = multiPv;
  Report(engine.out, FormatInfoLine(f, NowMs() - engine.state.searchStartMs, engine.table.Hashfull(), row.moves, row.length));
}

void OnNewRootBest(SearchBlock& b, int index, Move m, int score, int beta, int first) {
  SearchState& st = b.engine->state;
  RootMove entry = st.rootMoves[index];
  if (first == 0) {
    // Keep the first entry's iteration counters where they are read.
    const uint8_t counters = st.rootMoves[0].flags & (FailLowBits | FailHighBits);
    for (int i = index; i > 0; --i) st.rootMoves[i] = st.rootMoves[i - 1];
    st.rootMoves[0] = entry;
    st.rootMoves[0].flags = (uint8_t)((entry.flags & RootSearched) | counters);
    if (index > 0) st.rootMoves[1].flags &= ~(FailLowBits | FailHighBits);
  } else {
    // A later line of a MultiPV search: the lines above it stay where they are.
    for (int i = index; i > first; --i) st.rootMoves[i] = st.rootMoves[i - 1];
    st.rootMoves[first] = entry;
  }
  PvRow& row = b.pv[RootPly];
  if (score < beta) {
    UpdatePv(b, RootPly, m);
    // With several lines they are shown together once the iteration has found them all.
    if (st.iterationDepth > 0 && !b.engine->modes.silent && b.engine->modes.multiPv <= 1)
      PrintRootLine(b, row, score, ScoreBound::Exact, 0);
  } else if (row.length < RootPly || row.moves[RootPly] != m) {
    // A fail high with a new move: the line is that move alone until it is resolved.
    row.moves[RootPly] = m;
    row.length = RootPly;
    row.flag = 1;
  }
  row.depth = st.iterationDepth;
  SearchBlock& main = b.engine->pool.MainBlock();
  if (&main != &b) {
    for (int i = RootPly; i <= b.pv[RootPly].length; ++i) main.pv[RootPly].moves[i] = b.pv[RootPly].moves[i];
    main.pv[RootPly].length = b.pv[RootPly].length;
    main.pv[RootPly].flag = b.pv[RootPly].flag;
    main.pv[RootPly].depth = b.pv[RootPly].depth;
  }
}

// The root's own move loop, beside the node search's (Search) and the split points'
// (SearchSplitPoint), with the same per-move steps: its moves come from the ordered root
// list (all legal, none pruned), each is reported as "info currmove", a new best move
// becomes the answer and brings its line to the main block, and the later lines of a
// MultiPV search start after `first`.
int RootSearch(SearchBlock& b, int alpha, int beta, Depth depth, int side, int first) {
  SearchState& st = b.engine->state;
  Position& p = b.pos;
  const bool inCheck = InCheck(p, side);
  b.ply[RootPly].inCheck = inCheck;
  b.ply[RootPly].moveListEnd = ListStart(b, RootPly);
  b.ply[RootPly].nullMoveMade = b.ply[RootPly].lateMove = 0;
  bool searchedAny = false;
  for (int i = first; i < st.rootMoveCount; ++i) {
    if (st.rootMoves[i].flags & RootSearched) continue;
    st.rootMoves[i].flags |= RootSearched;
    const Move m = st.rootMoves[i].move;
    if (!b.engine->modes.silent) Report(b.engine->out, "info currmove " + MoveToUsi(m));
    b.ply[RootPly].currentMove = m;
    // Every root move after the first may be reduced, on every thread alike.
    b.ply[RootPly].lateMove = i > first;
    MakeSearchMove(b, RootPly, m, side);
    if (InCheck(p, side)) {
      UnmakeSearchMove(b, RootPly, m);
      continue;
    }
    const Depth e = ExtensionFor(b, RootPly, m, side) - OnePly;
    const Depth r = LateMoveReduction(b, RootPly, m, side, depth, i - first + 1, true, e, b.ply[RootPly].givesCheck);
    const uint64_t before = b.nodes;
    const int v = SearchMadeMove(b, alpha, beta, depth, RootPly, side, e, r, !searchedAny);
    searchedAny = true;
    UnmakeSearchMove(b, RootPly, m);
    if (SearchAborted(b)) return alpha;
    st.rootMoves[i].nodes = b.nodes - before;
    if (v > alpha) {
      OnNewRootBest(b, i, m, v, beta, first);
      // Only the first line is the search's answer.
      if (first == 0) {
        st.rootScore = v;
        st.bestMove = m;
      }
      if (v >= beta || IsDecidedWin(v)) {
        UpdateKillersAndHistory(b, RootPly, side, depth, m);
        return v;
      }
      alpha = v;
    }
    // Offer the remaining root moves to idle helpers. The helpers' root loop fills the
    // first line only, so the later lines of a MultiPV search are searched here alone.
    if (first == 0 && b.engine->pool.IdleHelpersAvailable() && b.engine->pool.RootSplitUseful(i + 1)) {
      int best = alpha;
      Move bestMove = 0;
      if (SplitRoot(b, alpha, beta, depth, side, &best, &bestMove)) {
        if (SearchAborted(b)) return alpha;
        if (best > alpha) {
          alpha = best;
          if (alpha >= beta || IsDecidedWin(alpha)) {
            if (bestMove) UpdateKillersAndHistory(b, RootPly, side, depth, bestMove);
            return alpha;
          }
        }
        break;
      }
    }
  }
  if (!searchedAny && alpha <= MatedAt(RootPly)) {
    b.pv[RootPly].length = RootPly - 1;
    if (!b.engine->modes.silent) PrintRootLine(b, b.pv[RootPly], MatedAt(RootPly), ScoreBound::Exact, 0);
  }
  return alpha;
}

void OrderRootMoves(SearchBlock& b, int side, bool mateTests) {
  SearchState& st = b.engine->state;
  Position& p = b.pos;
  // 1. Does the opponent threaten mate? Then each root move is checked for a mate reply.
  bool perMoveChecks = false;
  uint32_t perMoveNodes = 0;
  if (!mateTests) {
    // Training games: the ordering comes from the quiescence scores alone.
  } else if (InCheck(p, side)) {
    perMoveChecks = true;
    perMoveNodes = 10000;
  } else if (MateTestProves(*b.engine, p, -side, MateNodesUnlimited, 0)) {
    perMoveChecks = true;
    perMoveNodes = b.engine->mate.Nodes() + 1000;
  }
  // 2. Score every legal move by a quiescence search of the position after it.
  Move list[MaxMoves];
  Move* end = GenerateAllMoves(p, list, side);
  end = GenerateDrops(end, p, side);
  int n = (int)(end - list);
  int keys[MaxMoves];
  b.ply[RootPly].inCheck = InCheck(p, side);
  b.ply[RootPly].nullMoveMade = b.ply[RootPly].lateMove = 0;
  b.ply[RootPly].staticEval = ScoreNone;
  for (int i = 0; i < n; ++i) {
    const Move m = list[i];
    b.ply[RootPly].currentMove = m;
    // A pawn drop that mates is not a legal move: it goes with the illegal ones.
    const bool pawnDropMate = IsPawnDropMate(p, m, side);
    MakeSearchMove(b, RootPly, m, side);
    if (pawnDropMate || InCheck(p, side)) {
      keys[i] = KeyNotPlayable;
    } else if (perMoveChecks && MateTestProves(*b.engine, p, -side, perMoveNodes, 0)) {
      keys[i] = KeyNotPlayable;
    } else {
      keys[i] = -Quiesce(b, -ScoreInfinite, ScoreInfinite, RootPly + 1, -side, 0);
      // Out of time (the quiescence search then returns at once): the moves left
      // unscored go after the scored ones, in list order.
      if (SearchAborted(b)) keys[i] = KeyUnscored;
    }
    UnmakeSearchMove(b, RootPly, m);
  }
  // 3. Sort, highest first (stable), and drop illegal and mated moves.
  for (int i = 1; i < n; ++i) {
    const Move m = list[i];
    const int k = keys[i];
    int j = i;
    while (j > 0 && keys[j - 1] < k) {
      keys[j] = keys[j - 1];
      list[j] = list[j - 1];
      --j;
    }
    keys[j] = k;
    list[j] = m;
  }
  while (n > 0 && keys[n - 1] < KeyDropBelow) --n;
  // 4. Easy move: a clear best that recaptures, or a clear best that is not winning much.
  st.easyMove = 0;
  if (n >= 2 && keys[0] > keys[1] + 5 * P2) {
    const Move top = list[0];
    bool recapture = false;
    const Move last = st.lastMovePlayed;
    if (last != 0 && MoveTo(last) == MoveTo(top) && MoveIsCapture(last) && MoveIsCapture(top) &&
        ((MoveCaptured(last) ^ MoveCaptured(top)) & ~1) == 0)
      recapture = true;
    if (recapture || keys[0] < P2) st.easyMove = top;
  }
  // 5. The root list.
  st.rootMoveCount = n;
  for (int i = 0; i < n; ++i) st.rootMoves[i] = RootMove{list[i], 0, 0};
}

// One iteration of one line: the root entries from `first` on, with an aspiration window
// of half a pawn around the line's last score (`previous`), widened step by step on a
// fail either way; the first iterations and decided scores take the full window. Entry
// `first` ends as the line's move and the block's root row as its moves. Without piece
// values (no weight file) a pawn is worth nothing and such a window would never widen,
// so every iteration takes the full window. The first line
// is the search's answer: only it keeps the root score, the window and the fail counters
// that the time rules read, and the easy move. Returns the line's score (meaningless
// when the search was stopped or decided meanwhile: see searchStatus and resultCode).
static int SearchLine(SearchBlock& b, int side, int depth, int first, int previous) {
  SearchState& st = b.engine->state;
  const bool answer = first == 0;
  const bool showBounds = answer && !b.engine->modes.silent && b.engine->modes.multiPv <= 1;
  int delta = PawnValue / 2;
  const bool aspire = PawnValue > 0 && depth >= 4 && previous > -AspirationLimit && previous < AspirationLimit;
  int alpha = aspire ? previous - delta : -ScoreInfinite;
  int beta = aspire ? previous + delta : ScoreInfinite;
  if (answer) st.rootScore = alpha;
  ClearRootFlags(st, first);
  for (;;) {
    if (answer) {
      st.rootAlpha = alpha;
      st.rootBeta = beta;
    }
    const int v = RootSearch(b, alpha, beta, Plies(depth) + OnePly / 2, side, first);
    if (answer && st.searchStatus == 0) {
      if (IsProvenWin(st.rootScore)) st.searchStatus = StatusWin;
      else if (IsProvenLoss(st.rootScore)) st.searchStatus = StatusLoss;
      else if (IsHandGain(st.rootScore)) st.searchStatus = StatusHandGain;
    }
    if (st.searchStatus != 0 || st.resultCode != 0) return v;
    uint8_t& flags = st.rootMoves[0].flags;
    if (v > alpha && v < beta) {
      if (answer) st.previousScore = st.rootScore;
      ClearRootFlags(st, first);
      return v;
    }
    // A bound: shown as one, with the line that holds it (the move that failed high, or
    // the last line when every move failed low).
    if (showBounds)
      PrintRootLine(b, b.pv[RootPly], v >= beta ? v : alpha, v >= beta ? ScoreBound::Lower : ScoreBound::Upper, 0);
    ClearSearchedFlags(st, first);
    delta += delta / 4 + PawnValue / 20;
    const bool wide = delta > 10 * PawnValue;
    if (v <= alpha) {
      // Fail low: the window's top comes down halfway, its bottom goes below the score.
      if (answer) {
        BumpCounter(flags, 0);
        st.easyMove = 0;
      }
      beta = wide ? ScoreInfinite : (alpha + beta) / 2;
      alpha = wide ? -ScoreInfinite : std::max(v - delta, -ScoreInfinite);
    } else {
      // Fail high: the window's top goes above the score.
      if (answer) BumpCounter(flags, 3);
      beta = wide ? ScoreInfinite : std::min(v + delta, (int)ScoreInfinite);
      if (wide) alpha = -ScoreInfinite;
    }
    if (answer) st.rootScore = alpha;
  }
}

// One iteration of a MultiPV search: line after line, each over the root moves the lines
// before it left, each shown with its rank once found. A finished iteration sorts its
// lines by score (a later line may come out higher than one found before it); the best
// is the answer, and the root's row and the next iteration's first move are its own.
static void SearchLines(SearchBlock& b, int side, int depth, int lines) {
  SearchState& st = b.engine->state;
  std::vector<RootLine>& rootLines = b.engine->rootLines;
  if ((int)rootLines.size() < lines) rootLines.resize(lines, RootLine{0, -ScoreNone, PvRow{}});
  for (int j = 0; j < lines; ++j) {
    const int v = SearchLine(b, side, depth, j, j == 0 ? st.previousScore : rootLines[j].score);
    const int status = st.searchStatus;
    // A proven first line ends the search as it ends one of a single line; a stop leaves
    // the lines of the iteration before.
    const bool decided = j == 0 && (status == StatusWin || status == StatusLoss || status == StatusHandGain);
    if ((status != 0 && !decided) || st.resultCode != 0) break;
    rootLines[j] = RootLine{st.rootMoves[j].move, j == 0 ? (int)st.rootScore : v, b.pv[RootPly]};
    if (!b.engine->modes.silent) PrintRootLine(b, rootLines[j].pv, rootLines[j].score, ScoreBound::Exact, j + 1);
    if (decided) {
      b.pv[RootPly] = rootLines[0].pv;
      return;
    }
  }
  if (st.searchStatus != 0 || st.resultCode != 0) {
    b.pv[RootPly] = rootLines[0].pv;
    return;
  }
  // Stable sort of the finished lines by score, the root entries with them.
  bool reordered = false;
  for (int i = 1; i < lines; ++i) {
    for (int j = i; j > 0 && rootLines[j].score > rootLines[j - 1].score; --j) {
      std::swap(rootLines[j], rootLines[j - 1]);
      std::swap(st.rootMoves[j], st.rootMoves[j - 1]);
      reordered = true;
    }
  }
  b.pv[RootPly] = rootLines[0].pv;
  if (reordered) {
    st.bestMove = rootLines[0].move;
    st.rootScore = st.previousScore = rootLines[0].score;
    if (!b.engine->modes.silent)
      for (int j = 0; j < lines; ++j) PrintRootLine(b, rootLines[j].pv, rootLines[j].score, ScoreBound::Exact, j + 1);
  }
}

// The search proper: root list, shortcuts for zero or one move, helpers and
// iterative deepening up to `depthLimit` plies.
static void SearchRoot(Engine& engine, int side, int depthLimit) {
  SearchState& st = engine.state;
  SearchBlock& b = engine.pool.MainBlock();
  Position& root = st.root;
  // 1. Fresh search state.
  std::memcpy(static_cast<void*>(&b.pos), &root, sizeof(Position));
  ResetSearchBlock(b);
  b.nodes = b.qnodes = 0;
  b.threadId = 0;
  b.stop = 0;
  b.pos.material = ComputeMaterial(b.pos);
  root.material = b.pos.material;
  st.rootSide = side;
  engine.table.NextAge();
  st.iterationDepth = 0;
  st.rootAlpha = -ScoreInfinite;
  st.rootBeta = ScoreInfinite;
  OrderRootMoves(b, side, engine.modes.rootMateTests);
  engine.time.SetEasyTime();
  // 2. Margins shrink a little at every search.
  engine.margins.Decay();
  // 3. Nothing or only one move to play.
  if (st.searchStatus != StatusTimeUp && st.resultCode == 0) {
    if (st.rootMoveCount == 0) {
      if (!st.pondering) {
        st.resultCode = ResultNoMove;
      } else {
        st.searchStatus = StatusPonderNothing;
        st.pondering = 0;
      }
      st.rootScore = -ScoreMate;
      return;
    }
    if (st.rootMoveCount == 1) {
      st.bestMove = st.rootMoves[0].move;
      st.rootScore = 0;
      if (st.pondering) {
        st.searchStatus = StatusPonderNothing;
        st.pondering = 0;
      }
      return;
    }
  }
  // 4. Helpers.
  st.previousScore = -ScoreNone;
  engine.pool.StartHelpers();
  engine.pool.SetSearchRunning(true);
  // 5. Iterative deepening.
  b.pv[RootPly].length = RootPly - 1;
  b.selDepth = 0;
  engine.rootLines.clear();
  for (int depth = 1; depth <= MaxIterationDepth; ++depth) {
    if (depth > depthLimit) break;
    st.iterationDepth = depth;
    SeedPrincipalVariation(b, side);
    const int lines = LinesWanted(engine);
    if (lines <= 1) {
      SearchLine(b, side, depth, 0, st.previousScore);
    } else {
      SearchLines(b, side, depth, lines);
    }
    const double elapsed = (NowMs() - st.searchStartMs) / 1000.0;
    if (elapsed > 0 && !engine.modes.silent)
      Report(engine.out, "info nodes " + std::to_string((int)(uint32_t)b.nodes) + " nps " +
                             std::to_string((int64_t)(b.nodes / elapsed)));
    if (st.searchStatus != 0 || st.resultCode != 0) break;
    if (st.rootMoveCount == 1) break;
    // The root's mate test again, with twice the moves of the last, while the plan's
    // share for such tests lasts.
    if (engine.rootMateNextNodes != 0 && RootMateTestPlays(engine, side, engine.rootMateNextNodes, true)) break;
    // Time use: no next iteration when the clock cannot pay for it; the best move stands.
    if (engine.time.StopAfterIteration(depth, st.rootScore, st.bestMove)) break;
  }
  engine.pool.SetSearchRunning(false);
  st.iterationDepth = 0;
  // A search stopped before its first move was finished still plays the best move of
  // the ordering rather than resigning.
  if (st.bestMove == 0 && st.rootMoveCount > 0 && st.resultCode == 0)
    st.bestMove = st.rootMoves[0].move;
}

// Starts the clock of a search under the caller's modes and clears its results.
static void BeginSearch(Engine& engine, int side, const SearchModes& modes) {
  SearchState& st = engine.state;
  engine.modes = modes;
  st.searchStartMs = NowMs();
  engine.time.byoyomiMarginMs = engine.byoyomiMargin;
  engine.time.StartMoveClock(side);
  engine.countdown.value = NextTimeCheck(modes, 0);
  st.searchStatus = 0;
  st.resultCode = 0;
  st.bestMove = 0;
  engine.rootMateNextNodes = 0;
  engine.rootMateSpentMs = 0;
  // The root list is built anew by each search; until then there is none.
  st.rootMoveCount = 0;
  engine.pool.ResetSplitStatistics();
}

void Think(Engine& engine, int side, const SearchModes& modes) {
  SearchState& st = engine.state;
  Position& root = st.root;
  // 1. Start of the clock and of the search state.
  BeginSearch(engine, side, modes);
  // 2. Declaration win, stored mate, book.
  const bool bookAllowed = st.moveCount < engine.useBookUntilMove;
  const RootShortcutResult shortcut =
      RootShortcuts(root, side, bookAllowed, engine.mateSequenceActive, engine.mate, engine.book, engine.out);
  if (shortcut.kind == ShortcutDeclaration) {
    st.resultCode = ResultDeclaration;
    return;
  }
  if (shortcut.kind != ShortcutNone) {
    st.bestMove = shortcut.move;
    st.rootScore = shortcut.score;
    return;
  }
  engine.time.ComputeBudget();
  // 3. A quick forced mate first; a longer test follows between iterations where this
  // one ran out of moves.
  if (modes.rootMateTests && !InCheck(root, side) && engine.level > 5 &&
      RootMateTestPlays(engine, side, RootMateFirstNodes, false))
    return;
  int depthLimit = st.noTimeLimit ? MaxIterationDepth : LevelDepthLimit(engine.level);
  if (modes.depthLimit > 0 && modes.depthLimit < depthLimit) depthLimit = modes.depthLimit;
  SearchRoot(engine, side, depthLimit);
  // Out of time before a move was chosen. Whether the game is lost is the GUI's call (its
  // clock may allow a grace), so a legal move is still played rather than resigning: the
  // best of the ordering, or the first legal move when the ordering was not reached.
  if (st.bestMove == 0 && st.resultCode == ResultFlagged) {
    Move list[MaxMoves];
    if (st.rootMoveCount > 0) st.bestMove = st.rootMoves[0].move;
    else if (GenerateLegalMoves(root, list, side) != list) st.bestMove = list[0];
  }
}

uint64_t SearchFixedDepth(Engine& engine, int side, int depth, const SearchModes& modes) {
  SearchModes fixed = modes;
  fixed.fixedDepth = true;
  BeginSearch(engine, side, fixed);
  engine.state.pondering = 0;
  engine.fixedDepthMateNodesLeft = FixedDepthMateNodes;
  SearchRoot(engine, side, depth);
  return engine.pool.MainBlock().nodes;
}

void NewGameReset(Engine& engine) {
  SearchState& st = engine.state;
  engine.table.ResetAge();
  engine.table.Clear();
  engine.history.Clear();
  SearchBlock& b = engine.pool.MainBlock();
  for (int p = 0; p < PlyCount; ++p) b.ply[p].killers[0] = b.ply[p].killers[1] = 0;
  ClearGameHistory(st.root);
  b.pv[RootPly].length = RootPly - 1;
  engine.margins.Reset();
  st.lastMovePlayed = 0;
}

void SelectPonderMove(Engine& engine) {
  SearchState& st = engine.state;
  SearchBlock& b = engine.pool.MainBlock();
  std::memcpy(static_cast<void*>(&b.pos), &st.root, sizeof(Position));
  const int side = st.sideToMove;
  // A window wider than every stored score: only an exact entry ends the probe early.
  constexpr int Wide = 999999;
  const Move m = engine.table.Probe(TableKey(b.pos.keyFull, side), 0, 0, -Wide, Wide).move;
  engine.ponderMove = (m != 0 && IsLegalMove(b.pos, m, side)) ? m : 0;
}

}  // namespace kestrel
