// The node search and the quiescence search.
#include "search/search.h"

#include <cassert>

#include "board/makemove.h"
#include "board/material.h"
#include "board/state.h"
#include "eval/eval_accumulator.h"
#include "eval/evaluate.h"
#include "eval/movegain.h"
#include "movegen/attacks.h"
#include "movegen/mate1.h"
#include "search/history.h"
#include "search/parallel.h"
#include "search/picker.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace kestrel {

int PawnValue = 0;
int P2 = 0;
int DrawScore = 0;
// On a cache line of its own: the main thread writes it at every node, while the
// values around it are read by every search thread.
namespace {
struct alignas(64) CountdownLine {
  int value = TimeCheckInterval;
};
CountdownLine countdownLine;
}  // namespace
int& timeCheckCountdown = countdownLine.value;
bool silentSearch = false;
uint64_t searchNodeLimit = 0;
bool verifyIncrementalEval = false;
std::atomic<uint64_t> evalChecks{0}, evalMismatches{0};

void SwitchPonderToTimed() {
  StartTimedAfterPonderhit(ponderhitAtMs);
  State->searchStartMs = NowMs();
}

void ComputeSearchThresholds() {
  PawnValue = PieceValues[VKPawn];
  P2 = CaptureGain[BPawn];
  DrawScore = 2 * PawnValue;
}

bool SearchAborted(const SearchBlock& b) {
  return State->searchStatus.load(std::memory_order_relaxed) != 0 ||
         b.stop.load(std::memory_order_relaxed) != 0;
}

// True when the position can be evaluated through accumulators: weights are loaded and
// both kings stand on the board.
static inline bool AccumulatorUsable(const Position& p) {
  return EvalWeightsPresent && p.kingSquare[0] < (uint32_t)SquareCount && p.kingSquare[1] < (uint32_t)SquareCount;
}

// Makes the accumulator of the current ply valid: derived from the ply before when that
// one is valid, from scratch otherwise (the root, a split point's first ply).
static void ResolveAccumulator(SearchBlock& b, int ply) {
  PlyState& s = b.ply[ply];
  if (s.accState == AccValid) return;
  if (s.accState == AccFromParent && ply > 0 && b.ply[ply - 1].accState == AccValid) {
    if (s.accMove == 0) b.acc[ply] = b.acc[ply - 1];
    else if (!UpdateAccumulator(b.pos, s.accMove, b.acc[ply - 1], b.acc[ply])) ComputeAccumulator(b.pos, b.acc[ply]);
  } else {
    ComputeAccumulator(b.pos, b.acc[ply]);
  }
  s.accState = AccValid;
}

void MakeSearchMove(SearchBlock& b, int ply, Move m, int side) {
  Position& p = b.pos;
  // The child's sums will be derived from this node's: bring them up to date while the
  // position is still this node's.
  if (b.ply[ply].accState != AccValid && AccumulatorUsable(p)) ResolveAccumulator(b, ply);
  b.ply[ply].undo = PlayMove(p, m);
  PrefetchBucket(p.keyFull, -side);
  b.ply[ply + 1].accState = AccFromParent;
  b.ply[ply + 1].accMove = m;
  const bool check = InCheck(p, -side);
  b.ply[ply].givesCheck = check;
  // The game history has room for every ply of a search: the position command
  // keeps the game well below its end.
  RecordPosition(p, check);
}

void UnmakeSearchMove(SearchBlock& b, int ply, Move m) {
  TakeBackMove(b.pos, m, b.ply[ply].undo);
}

int EvaluateAt(SearchBlock& b, int ply, int side) {
  Position& p = b.pos;
  if (!AccumulatorUsable(p)) return Evaluate(p, side);
  ResolveAccumulator(b, ply);
  const int v = EvaluateWithAccumulator(p, side, b.acc[ply]);
  assert(v == Evaluate(p, side));
  if (verifyIncrementalEval) {
    evalChecks.fetch_add(1, std::memory_order_relaxed);
    if (v != Evaluate(p, side)) evalMismatches.fetch_add(1, std::memory_order_relaxed);
  }
  return v;
}

void UpdatePv(SearchBlock& b, int ply, Move m) {
  PvRow& row = b.pv[ply];
  const PvRow& child = b.pv[ply + 1];
  row.moves[ply] = m;
  const bool tail = child.length >= ply + 1;
  const int last = tail ? child.length : ply;
  for (int i = ply + 1; i <= last; ++i) row.moves[i] = child.moves[i];
  row.length = last;
  row.flag = tail ? child.flag : 0;
}

// Makes the line at `ply` the single move m.
static void SetPv(SearchBlock& b, int ply, Move m) {
  b.pv[ply].moves[ply] = m;
  b.pv[ply].length = ply;
  b.pv[ply].flag = 0;
}

// The first move of the line at `ply`, or 0 when the line is empty.
static Move PvMove(const SearchBlock& b, int ply) {
  return b.pv[ply].length >= ply ? b.pv[ply].moves[ply] : 0;
}

// Empties the line at `ply`, optionally marking it as cut by a repetition.
static void ClearPv(SearchBlock& b, int ply, int flag = 0) {
  b.pv[ply].length = ply - 1;
  b.pv[ply].flag = flag;
}

void UpdateKillersAndHistory(SearchBlock& b, int ply, int side, int depth, Move m) {
  if (MoveIsCapture(m)) return;
  const int idx = HistoryIndex(m, side);
  const int v = HistoryValue(HistoryScore, idx) + depth * depth;
  HistoryScore[idx].store(v, std::memory_order_relaxed);
  if (v > 32767)
    for (int i = 0; i < HistoryTableSize; ++i)
      HistoryScore[i].store(HistoryValue(HistoryScore, i) / 2, std::memory_order_relaxed);
  if (b.ply[ply].killers[0] != m) {
    b.ply[ply].killers[1] = b.ply[ply].killers[0];
    b.ply[ply].killers[0] = m;
  }
}

void UpdateHistoryOnImprovement(SearchBlock& /*b*/, int side, const Move* searched, int count) {
  if (count <= 0) return;
  const Move best = searched[count - 1];
  bool overflow = false;
  for (int i = 0; i < count; ++i) {
    const Move m = searched[i];
    if (MoveIsCapture(m) || MovePromotes(m)) continue;
    const int idx = HistoryIndex(m, side);
    if (m == best) HistorySuccess[idx].fetch_add(100, std::memory_order_relaxed);
    if (HistoryTried[idx].fetch_add(1, std::memory_order_relaxed) + 1 > 32767) overflow = true;
  }
  if (overflow) {
    for (int i = 0; i < HistoryTableSize; ++i) {
      HistorySuccess[i].store(HistoryValue(HistorySuccess, i) / 2, std::memory_order_relaxed);
      HistoryTried[i].store(HistoryValue(HistoryTried, i) / 2 + 1, std::memory_order_relaxed);
    }
  }
}

int ExtensionFor(SearchBlock& b, int ply, Move m, int side, int depth) {
  int e = 0;
  if (b.ply[ply].givesCheck) e += OnePly;
  if (b.ply[ply].inCheck && b.ply[ply].moveListEnd - ListStart(b, ply) == 1) e += OnePly / 2;
  if (ply > 1 && b.ply[ply - 1].currentMove != 0 && MoveTo(b.ply[ply - 1].currentMove) == MoveTo(m)) e += OnePly / 2;
  if (e > OnePly) e = OnePly;
  if (e > 0) {
    const int D = State->iterationDepth;
    if (D > 0 && ply > 2 * D) e = ply <= 4 * D ? (4 * D - ply) * e / (2 * D) : 0;
    return e;
  }
  // A late quiet move with a poor success record is searched one ply shallower.
  if (b.ply[ply].lateMove && depth >= 3 * OnePly && !b.ply[ply].inCheck && !MoveIsCapture(m) &&
      !MovePromotes(m)) {
    const int idx = HistoryIndex(m, side);
    const int tried = HistoryValue(HistoryTried, idx);
    if (HistoryValue(HistorySuccess, idx) / (tried > 0 ? tried : 1) < 60) return -OnePly;
  }
  return 0;
}

int RepetitionCheck(SearchBlock& b, int ply, int side) {
  const Position& p = b.pos;
  const int cur = (int)p.historyCount;
  const int rootIndex = cur - (ply - 1);
  const HistoryEntry* h = p.history;
  const uint64_t key = h[cur].keyBoard;
  const uint32_t H = h[cur].hand;
  const int rootSign = side == State->rootSide ? -1 : 1;
  const uint32_t pieceBits = 0xFFFFF;  // lance .. rook fields
  int count = 0;
  const int maxBack = ply + 27;
  for (int k = 2; k <= maxBack && cur - k >= 0; ++k) {
    const HistoryEntry& e = h[cur - k];
    if (e.keyBoard != key) continue;
    const uint32_t E = e.hand;
    if ((k & 1) == 0) {
      if (H == E) {
        // Who was in check at each turn since the earlier occurrence?
        bool selfAlways = true, oppAlways = true;
        for (int j = 0; j <= k; j += 2) selfAlways &= h[cur - j].inCheck != 0;
        for (int j = 1; j < k; j += 2) oppAlways &= h[cur - j].inCheck != 0;
        if (selfAlways) return ScorePerpetual;
        if (oppAlways) return -ScorePerpetual;
        if (ply > 3) return rootSign * DrawScore;
        if (++count >= 3) return rootSign * 3 * PawnValue;
        continue;
      }
      if (H <= E && (H & ~E & pieceBits) == 0) return side == Black ? -ScoreHandGain : ScoreHandGain;
      if (E <= H && (E & ~H & pieceBits) == 0) return side == Black ? ScoreHandGain : -ScoreHandGain;
    } else if (H == E && cur - k >= rootIndex) {
      return ScoreHandGain;
    }
  }
  return count == 0 ? 0 : rootSign * count * PawnValue;
}

// Counts a node and runs the main thread's periodic time check.
static inline bool CountNodeAndCheckTime(SearchBlock& b) {
  b.nodes++;
  if (b.threadId == 0 && !State->pondering && --timeCheckCountdown < 1) {
    timeCheckCountdown = TimeCheckInterval;
    if (TimeUp() || (searchNodeLimit != 0 && b.nodes >= searchNodeLimit)) {
      State->searchStatus = StatusTimeUp;
      return true;
    }
  }
  return false;
}

bool FutilityPrunes(SearchBlock& b, int ply, Move m, int side, int alpha, int nd, bool inCheck,
                    bool searchedAny) {
  if (nd >= 3 * OnePly || b.ply[ply].givesCheck || inCheck) return false;
  Position& p = b.pos;
  const int M = MaxCaptureGain * 2 / 8;
  UnmakeSearchMove(b, ply, m);
  const int gain = MoveGainEstimate(p, m, side);
  int eval = b.ply[ply].staticEval;
  bool prune = false;
  if (nd < OnePly) {
    // Near the leaves the node is evaluated only once it has a few moves to spare.
    if (eval == ScoreNone && searchedAny && b.ply[ply].moveListEnd - ListStart(b, ply) > 2)
      eval = b.ply[ply].staticEval = EvaluateAt(b, ply, side);
    if (eval != ScoreNone && FutilityBound(side, eval, gain, p, m) <= alpha) prune = true;
  } else {
    if (eval == ScoreNone) eval = b.ply[ply].staticEval = EvaluateAt(b, ply, side);
    if (FutilityBound(side, eval, gain, p, m) <= alpha - M) prune = true;
  }
  if (!prune) MakeSearchMove(b, ply, m, side);
  return prune;
}

int SearchMadeMove(SearchBlock& b, int alpha, int beta, int depth, int ply, int side, int e, bool first) {
  const int nd = depth + e;
  auto child = [&](int a, int bt, int d) {
    return d < OnePly ? -Quiesce(b, -bt, -a, ply + 1, -side, 0) : -Search(b, -bt, -a, d, ply + 1, -side, true);
  };
  if (first) return child(alpha, beta, nd);
  int v = child(alpha, alpha + 1, nd);
  if (SearchAborted(b)) return 0;
  if (e < -OnePly && v > alpha) {
    v = child(alpha, alpha + 1, depth - OnePly);
    if (SearchAborted(b)) return 0;
  }
  if (alpha < v && v < beta) v = child(alpha, beta, depth + (e > -OnePly ? e : -OnePly));
  return v;
}

namespace {

// The front end asked the search to end ("stop" once a move is known, "gameover"), or
// a "ponderhit" turns the pondering search into a timed one. True when the node must
// return at once.
bool InterruptedByFrontEnd(const SearchBlock& b) {
  if (stopRequested.load(std::memory_order_relaxed) && State->bestMove != 0) {
    State->searchStatus = StatusStopped;
    return true;
  }
  if (gameoverReceived.load(std::memory_order_relaxed)) {
    State->searchStatus = StatusGameover;
    return true;
  }
  if (State->pondering && b.threadId == 0 && ponderhitReceived.load(std::memory_order_relaxed)) {
    SwitchPonderToTimed();
  }
  return false;
}

// A step of the node search that may end the node with `score`.
struct NodeOutcome {
  bool ends;
  int score;
};

// Near the leaves (below three plies, not in check) a node whose static evaluation, or
// below two plies a quiescence search, clears beta by a margin is cut at beta (stored as
// a lower bound). A quiescence search that stays below and an evaluation below beta
// rule out the null move. Ends the node with 0 when the search is aborted.
NodeOutcome NearLeafCutoff(SearchBlock& b, HashKey key, int beta, int depth, int ply, int side, bool* allowNull) {
  const int M = MaxCaptureGain * 2 / 8;
  if (depth < 2 * OnePly) {
    b.ply[ply].staticEval = EvaluateAt(b, ply, side);
    if (b.ply[ply].staticEval >= beta + M) {
      b.ply[ply].currentMove = 0;
      Store(key, BoundLower, ply, depth, beta, 0, 0);
      return {true, beta};
    }
    return {false, 0};
  }
  const int q = Quiesce(b, beta + M - 1, beta + M, ply, side, 0);
  if (SearchAborted(b)) return {true, 0};
  if (q >= beta + M) {
    b.ply[ply].currentMove = 0;
    Store(key, BoundLower, ply, depth, beta, 0, 0);
    return {true, beta};
  }
  if (b.ply[ply].staticEval < beta) *allowNull = false;
  return {false, 0};
}

// What the null move decided: the node ends with `score` (a fail high, or 0 when the
// search is aborted), or it goes on, knowing whether the reply to the null move mates.
struct NullMoveOutcome {
  bool ends;
  int score;
  int mateThreat;
};

// The null move of a node not in check: the opponent moves twice, searched R plies
// shallower with a null window at beta. A score still at beta or above is stored as a
// lower bound and ends the node. Near the leaves the quiescence search answers; deeper,
// only a node whose static evaluation reaches beta tries it.
NullMoveOutcome TryNullMove(SearchBlock& b, HashKey key, int beta, int depth, int ply, int side) {
  Position& p = b.pos;
  b.ply[ply].currentMove = 0;
  b.ply[ply].nullMoveMade = 1;  // the child takes its evaluation from this node's
  const int R = depth > 6 * OnePly ? 4 * OnePly : 3 * OnePly;
  const int d = depth - R;
  int v = -ScoreNone;
  bool tried = false;
  if (b.ply[ply].accState != AccValid && AccumulatorUsable(p)) ResolveAccumulator(b, ply);
  b.ply[ply].undo = PlayNullMove(p);
  b.ply[ply].givesCheck = 0;
  b.ply[ply + 1].accState = AccFromParent;
  b.ply[ply + 1].accMove = 0;
  if (d < OnePly) {
    v = -Quiesce(b, -beta, 1 - beta, ply + 1, -side, 0);
    if (b.ply[ply + 1].staticEval != ScoreNone) b.ply[ply].staticEval = -b.ply[ply + 1].staticEval;
    tried = true;
  } else {
    if (b.ply[ply].staticEval == ScoreNone) b.ply[ply].staticEval = EvaluateAt(b, ply, side);
    if (b.ply[ply].staticEval >= beta) {
      v = -Search(b, -beta, 1 - beta, d, ply + 1, -side, false);
      tried = true;
    }
  }
  TakeBackNullMove(p, b.ply[ply].undo);
  if (SearchAborted(b)) return {true, 0, 0};
  if (!tried) return {false, 0, 0};
  if (v >= beta) {
    Store(key, BoundLower, ply, depth, v, 0, 0);
    return {true, v, 0};
  }
  // The reply to the null move mates: the node is under a mate threat.
  return {false, 0, v == MatedAt(ply + 2) ? 1 : 0};
}

// The window of the node is the root's (negated at the opponent's plies): the node is
// on the principal variation.
bool OnRootWindow(int alpha, int beta, int ply) {
  return (ply % 2 == 0) ? (alpha == -State->rootBeta && beta == -State->rootAlpha)
                        : (alpha == State->rootAlpha && beta == State->rootBeta);
}

// Internal iterative deepening: a node of the principal variation without a table move
// is searched two plies shallower (with the window widened down to mate when that
// fails low) to find the move to try first. Returns false when the search is aborted.
bool DeepenForFirstMove(SearchBlock& b, int alpha, int beta, int depth, int ply, int side, bool inCheck) {
  const int d = depth - 2 * OnePly;
  auto iid = [&](int a, int bt) {
    return d < OnePly ? Quiesce(b, a, bt, ply, side, 0) : Search(b, a, bt, d, ply, side, true);
  };
  int v = iid(alpha, beta);
  if (SearchAborted(b)) return false;
  Move found = 0;
  if (v > alpha && v < beta) found = PvMove(b, ply);
  else if (v >= beta) found = b.ply[ply].currentMove;
  else {
    v = iid(-ScoreMate, beta);
    if (SearchAborted(b)) return false;
    if (v > -ScoreMate && v < beta) found = PvMove(b, ply);
    else if (v >= beta) found = b.ply[ply].currentMove;
  }
  b.ply[ply].hashMove = found;
  // The nested searches reused this ply's slots: start the node afresh.
  b.ply[ply].inCheck = inCheck;
  b.ply[ply].moveListEnd = ListStart(b, ply);
  b.ply[ply].searchedCount = 0;
  ClearPv(b, ply);
  return true;
}

}  // namespace

int Search(SearchBlock& b, int alpha, int beta, int depth, int ply, int side, bool allowNull) {
  Position& p = b.pos;
  // 1. Count the node; the main thread checks the clock every 10000 nodes.
  if (SearchAborted(b)) return 0;
  if (CountNodeAndCheckTime(b)) return 0;
  // 2. Interrupts from the front end.
  if (InterruptedByFrontEnd(b)) return 0;
  // 3. Depth limit of the arrays.
  ClearPv(b, ply);
  if (ply > DeepestPly) return beta;
  // 4. Repetitions.
  const int rep = RepetitionCheck(b, ply, side);
  if (rep != 0) {
    if (rep > alpha && rep < beta) ClearPv(b, ply, 1);
    return rep;
  }
  // 5. Table probe. The entry's mate-threat flag is not used: a node's threat comes
  // from its own null move.
  const HashKey key = TableKey(p.keyFull, side);
  const ProbeOutcome probe = Probe(key, ply, depth, alpha, beta);
  b.ply[ply].hashMove = probe.move;
  if ((probe.result == ProbeLowerCut || probe.result == ProbeUpperCut) && beta == alpha + 1)
    return probe.result == ProbeLowerCut ? beta : alpha;
  if (probe.result == ProbeExactHit) {
    if (probe.score < beta && probe.move != 0) {
      SetPv(b, ply, probe.move);
    }
    return probe.score;
  }
  if (probe.result == ProbeSkipNull) allowNull = false;
  int mateThreat = 0;
  // 6. Fresh node state. Whether the side to move is in check was found when the move
  // leading here was made (and is 0 after a null move).
  const bool inCheck = ply > RootPly ? b.ply[ply - 1].givesCheck != 0 : InCheck(p, side);
  b.ply[ply].inCheck = inCheck;
  b.ply[ply].givesCheck = 0;
  b.ply[ply].moveListEnd = ListStart(b, ply);
  b.ply[ply].searchedCount = 0;
  b.ply[ply].staticEval = ScoreNone;
  // 7. Mate in one.
  if (!inCheck) {
    const Move mate = FindMateInOne(p, side);
    if (mate != 0) {
      const int score = MateIn(ply);
      b.ply[ply].hashMove = mate;
      SetPv(b, ply, mate);
      Store(key, BoundExact, ply, depth, score, mate, 0);
      if (!(score > alpha && score < beta)) ClearPv(b, ply);
      return score;
    }
  }
  // 8. Near-leaf cut-offs.
  if (!inCheck && depth < 3 * OnePly) {
    const NodeOutcome cut = NearLeafCutoff(b, key, beta, depth, ply, side, &allowNull);
    if (cut.ends) return cut.score;
  }
  // 9. Null move.
  if (allowNull && !inCheck) {
    const NullMoveOutcome null = TryNullMove(b, key, beta, depth, ply, side);
    if (null.ends) return null.score;
    mateThreat = null.mateThreat;
  }
  // 10. Internal iterative deepening on the principal variation.
  if (b.ply[ply].hashMove == 0 && allowNull && depth >= 3 * OnePly && OnRootWindow(alpha, beta, ply) &&
      !DeepenForFirstMove(b, alpha, beta, depth, ply, side, inCheck))
    return 0;
  // 11. Move loop.
  const int alphaAtStart = alpha;
  bool searchedAny = false;
  Move best = 0;
  b.ply[ply].pickerStage = PickerStart;
  b.ply[ply].nullMoveMade = 0;
  b.ply[ply].moveListEnd = ListStart(b, ply);
  b.ply[ply].searchedCount = 0;
  for (;;) {
    const int stage = inCheck ? NextEvasion(b, ply, side) : NextMove(b, ply, side);
    if (stage == 0) break;
    const Move m = b.ply[ply].currentMove;
    b.ply[ply].lateMove = PickingLateMoves(b.ply[ply]);
    // 11.1 Extension, asked with the move made so that its check is known.
    MakeSearchMove(b, ply, m, side);
    const int e = ExtensionFor(b, ply, m, side, depth) - OnePly;
    const int nd = depth + e;
    // 11.2 Futility pruning of quiet-enough moves that cannot reach alpha; checks and
    // evasions are always searched.
    if (FutilityPrunes(b, ply, m, side, alpha, nd, inCheck, searchedAny)) {
      searchedAny = true;
      continue;
    }
    // 11.4 Illegal moves are counted and skipped.
    if (InCheck(p, side)) {
      b.nodes++;
      UnmakeSearchMove(b, ply, m);
      continue;
    }
    // 11.5 Record the move, 11.6 search it.
    b.searched[ply][b.ply[ply].searchedCount++] = m;
    const int v = SearchMadeMove(b, alpha, beta, depth, ply, side, e, !searchedAny);
    searchedAny = true;
    UnmakeSearchMove(b, ply, m);
    // 11.7 Abort.
    if (SearchAborted(b)) return 0;
    // 11.8 Improvement and cut-off.
    if (v > alpha) {
      UpdateHistoryOnImprovement(b, side, b.searched[ply], b.ply[ply].searchedCount);
      b.ply[ply].searchedCount = 0;
      alpha = v;
      best = m;
      UpdatePv(b, ply, m);
      if (v >= beta) {
        UpdateKillersAndHistory(b, ply, side, depth, m);
        b.ply[ply].currentMove = m;
        Store(key, BoundLower, ply, depth, v, m, mateThreat);
        return v;
      }
    }
    // 11.10 Offer the remaining moves to idle threads.
    if (depth >= State->minSplitDepth && IdleHelpersAvailable()) {
      int splitBest = alpha;
      Move splitMove = 0;
      const int r = SplitNode(b, alpha, beta, depth, ply, side, mateThreat, inCheck, &splitBest, &splitMove);
      if (r) {
        if (SearchAborted(b)) return 0;
        if (splitBest > alpha) {
          alpha = splitBest;
          best = splitMove;
          if (splitMove) UpdateHistoryOnImprovement(b, side, &splitMove, 1);
          if (alpha >= beta) {
            UpdateKillersAndHistory(b, ply, side, depth, splitMove);
            b.ply[ply].currentMove = splitMove;
            Store(key, BoundLower, ply, depth, alpha, splitMove, mateThreat);
            return alpha;
          }
        }
        break;
      }
    }
  }
  // 12. After the loop.
  if (searchedAny) {
    if (alpha > alphaAtStart && best != 0) UpdateKillersAndHistory(b, ply, side, depth, best);
    if (alpha > alphaAtStart) Store(key, BoundExact, ply, depth, alpha, PvMove(b, ply), mateThreat);
    else Store(key, BoundUpper, ply, depth, alpha, 0, mateThreat);
    return alpha;
  }
  const Move prev = ply > 1 ? b.ply[ply - 1].currentMove : 0;
  const int score = (prev != 0 && MoveIsDrop(prev) && (MovePiece(prev) & ~1) == BPawn) ? ScoreRuleWin
                                                                                      : MatedAt(ply);
  ClearPv(b, ply);
  return score;
}

int Quiesce(SearchBlock& b, int alpha, int beta, int ply, int side, int qdepth) {
  Position& p = b.pos;
  // 1. Count the node.
  if (SearchAborted(b)) return 0;
  b.nodes++;
  b.qnodes++;
  if (b.threadId == 0 && !State->pondering && timeCheckCountdown > 1) --timeCheckCountdown;
  // 2. Stand pat.
  int eval;
  if (ply < 3 || !b.ply[ply - 1].nullMoveMade || b.ply[ply - 1].staticEval == ScoreNone)
    eval = EvaluateAt(b, ply, side);
  else
    eval = -b.ply[ply - 1].staticEval;
  b.ply[ply].staticEval = eval;
  ClearPv(b, ply);
  if (eval > alpha) {
    if (eval >= beta) return eval;
    alpha = eval;
  }
  // 3. Depth limit.
  if (ply > DeepestPly) return beta;
  // 4. Mate probe near the top of the quiescence search.
  const bool inCheck = ply > RootPly ? b.ply[ply - 1].givesCheck != 0 : InCheck(p, side);
  if (!inCheck && qdepth <= 6) {
    const Move mate = FindMateInOne(p, side);
    if (mate != 0) {
      const int score = MateIn(ply);
      if (score > alpha && score < beta) {
        SetPv(b, ply, mate);
      }
      return score;
    }
  }
  // 5. Captures and promotions.
  const int alphaAtStart = alpha;
  b.ply[ply].moveListEnd = ListStart(b, ply);
  b.ply[ply].pickerStage = QuiescenceStart;
  b.ply[ply].nullMoveMade = 0;
  for (;;) {
    const int stage = NextQuiescenceMove(b, ply, alpha, side, qdepth);
    if (stage == 0) break;
    const Move m = b.ply[ply].currentMove;
    if ((MoveCaptured(m) & ~1) == BKing) return beta;
    MakeSearchMove(b, ply, m, side);
    const int v = -Quiesce(b, -beta, -alpha, ply + 1, -side, qdepth + 1);
    const int childEval = b.ply[ply + 1].staticEval;
    UnmakeSearchMove(b, ply, m);
    if (SearchAborted(b)) return 0;
    if (v > alpha) {
      if (childEval != ScoreNone) LearnMargins(p, eval, -childEval, m, side);
      alpha = v;
      UpdatePv(b, ply, m);
      if (v >= beta) return v;
    }
  }
  // 6. The best line found stays in this ply's row.
  (void)alphaAtStart;
  return alpha;
}

}  // namespace kestrel
