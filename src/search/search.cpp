// The node search and the quiescence search.
#include "search/search.h"

#include <cassert>
#include <cmath>

#include "board/makemove.h"
#include "board/material.h"
#include "eval/eval_accumulator.h"
#include "eval/evaluate.h"
#include "eval/movegain.h"
#include "movegen/attacks.h"
#include "movegen/mate1.h"
#include "movegen/see.h"
#include "search/engine.h"
#include "search/history.h"
#include "search/parallel.h"
#include "search/picker.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace kestrel {

int PawnValue = 0;
int P2 = 0;
int DrawScore = 0;

void SwitchPonderToTimed(Engine& engine) {
  engine.time.StartTimedAfterPonderhit(engine.ponderhitAtMs);
  engine.state.searchStartMs = NowMs();
}

void ComputeSearchThresholds() {
  PawnValue = PieceValues[VKPawn];
  P2 = CaptureGain[BPawn];
  DrawScore = 2 * PawnValue;
}

bool SearchAborted(const SearchBlock& b) {
  return b.engine->state.searchStatus.load(std::memory_order_relaxed) != 0 ||
         b.stop.load(std::memory_order_relaxed) != 0;
}

// True when the position can be evaluated through accumulators: weights are loaded and
// both kings stand on the board.
static inline bool AccumulatorUsable(const EvalWeights& w, const Position& p) {
  return w.Present() && p.kingSquare[0] < (uint32_t)SquareCount && p.kingSquare[1] < (uint32_t)SquareCount;
}

// Makes the accumulator of the current ply valid: derived from the ply before when that
// one is valid, from scratch otherwise (the root, a split point's first ply).
static void ResolveAccumulator(SearchBlock& b, int ply) {
  PlyState& s = b.ply[ply];
  if (s.accState == AccValid) return;
  const EvalWeights& w = b.engine->Weights();
  if (s.accState == AccFromParent && ply > 0 && b.ply[ply - 1].accState == AccValid) {
    if (s.accMove == 0) b.acc[ply] = b.acc[ply - 1];
    else if (!UpdateAccumulator(w, b.pos, s.accMove, b.acc[ply - 1], b.acc[ply]))
      ComputeAccumulator(w, b.pos, b.acc[ply]);
  } else {
    ComputeAccumulator(w, b.pos, b.acc[ply]);
  }
  s.accState = AccValid;
}

void MakeSearchMove(SearchBlock& b, int ply, Move m, int side, int givesCheck) {
  Position& p = b.pos;
  // The child's sums will be derived from this node's: bring them up to date while the
  // position is still this node's.
  if (b.ply[ply].accState != AccValid && AccumulatorUsable(b.engine->Weights(), p)) ResolveAccumulator(b, ply);
  b.ply[ply].undo = PlayMove(p, m);
  b.engine->table.Prefetch(p.keyFull, -side);
  b.ply[ply + 1].accState = AccFromParent;
  b.ply[ply + 1].accMove = m;
  const bool check = givesCheck == CheckUnknown ? InCheck(p, -side) : givesCheck != 0;
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
  const EvalWeights& w = b.engine->Weights();
  if (!AccumulatorUsable(w, p)) return Evaluate(w, p, side);
  ResolveAccumulator(b, ply);
  const int v = EvaluateWithAccumulator(p, side, b.acc[ply]);
  assert(v == Evaluate(w, p, side));
  if (b.engine->verifyIncrementalEval) {
    b.engine->evalChecks.fetch_add(1, std::memory_order_relaxed);
    if (v != Evaluate(w, p, side)) b.engine->evalMismatches.fetch_add(1, std::memory_order_relaxed);
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

// Moves a history entry towards +-HistoryLimit: the step shrinks as the entry nears the
// limit in the step's direction, so entries stay bounded without periodic halving.
template <typename T>
static inline void AddHistory(std::atomic<T>& entry, int bonus) {
  const int h = entry.load(std::memory_order_relaxed);
  const int magnitude = bonus < 0 ? -bonus : bonus;
  entry.store((T)(h + bonus - h * magnitude / HistoryLimit), std::memory_order_relaxed);
}

// The history and continuation entries of a quiet move at `ply` move by `bonus`.
static void AddQuietHistory(const SearchBlock& b, int ply, int side, Move m, int bonus) {
  Histories& h = b.engine->history;
  AddHistory(h.main[HistoryIndex(m, side)], bonus);
  for (int back = 1; back <= 2; ++back) {
    const Move before = MoveBefore(b, ply, back);
    if (before != 0) AddHistory(h.continuation[ContinuationIndex(before, m)], bonus);
  }
}

void UpdateKillersAndHistory(SearchBlock& b, int ply, int side, Depth depth, Move m) {
  if (MoveIsCapture(m)) return;
  const int plies = WholePlies(depth);
  const int bonus = plies >= 16 ? HistoryLimit / 2 : 32 * (plies * plies + 2 * plies + 1);
  AddQuietHistory(b, ply, side, m, bonus);
  // The quiet moves tried before it at this node failed to do what it did.
  const Move* tried = b.searched[ply];
  for (int i = 0; i < b.ply[ply].searchedCount; ++i)
    if (tried[i] != m && !MoveIsCapture(tried[i]) && !MovePromotes(tried[i])) AddQuietHistory(b, ply, side, tried[i], -bonus);
  if (b.ply[ply].killers[0] != m) {
    b.ply[ply].killers[1] = b.ply[ply].killers[0];
    b.ply[ply].killers[0] = m;
  }
}

// The side to move stands better than at its previous move (or that is not known).
static bool Improving(const SearchBlock& b, int ply) {
  const int now = b.ply[ply].staticEval;
  if (ply <= 2 || now == ScoreNone || b.ply[ply - 2].staticEval == ScoreNone) return true;
  return now >= b.ply[ply - 2].staticEval;
}

// Late-move reductions in quarter plies by depth and move number (both capped at 63):
// OnePly * (0.5 + 0.6 ln(depth) ln(moveNumber)).
static int ReductionTable[64][64];
static const bool reductionTableBuilt = [] {
  for (int d = 1; d < 64; ++d)
    for (int n = 1; n < 64; ++n) ReductionTable[d][n] = (int)(OnePly * (0.5 + 0.6 * std::log(d) * std::log(n)));
  return true;
}();

Depth LateMoveReduction(const SearchBlock& b, int ply, Move m, int side, Depth depth, int moveCount, bool pvNode, Depth e,
                        bool givesCheck) {
  const PlyState& s = b.ply[ply];
  if (depth < Plies(3) || moveCount < 2 || !s.lateMove || s.inCheck) return 0;
  Depth r = ReductionTable[WholePlies(depth) < 63 ? WholePlies(depth) : 63][moveCount < 63 ? moveCount : 63];
  if (pvNode) r -= OnePly;
  if (givesCheck) r -= OnePly;
  // A node whose evaluation fell since the side's last move is less promising.
  if (!Improving(b, ply)) r += OnePly / 2;
  if (!MoveIsCapture(m))
    r -= b.engine->history.QuietMoveScore(m, side, MoveBefore(b, ply, 1), MoveBefore(b, ply, 2)) * OnePly / (3 * HistoryLimit / 2);
  // The reduced search stays a full search of at least one ply.
  const Depth room = depth + e - OnePly;
  if (r > room) r = room;
  return r < 0 ? 0 : r;
}

// True when the move just made from `ply` gives a check worth a full extra ply: a
// discovered check, or a checking piece that the opponent cannot win by exchange.
// Checks that only sacrifice material are searched at their normal depth.
static bool CheckIsSound(SearchBlock& b, int ply, Move m, int side) {
  Position& p = b.pos;
  const Square to = MoveTo(m);
  const Square king = (Square)p.kingSquare[SideIndex(-side)];
  if (king < SquareCount && !TestSquare(PieceAttacks(p, p.board[to], to), king)) return true;
  UnmakeSearchMove(b, ply, m);
  const bool sound = StaticExchangeOfMove(p, m, side) >= 0;
  MakeSearchMove(b, ply, m, side);
  return sound;
}

Depth ExtensionFor(SearchBlock& b, int ply, Move m, int side) {
  Depth e = 0;
  if (b.ply[ply].givesCheck && CheckIsSound(b, ply, m, side)) e += OnePly;
  if (b.ply[ply].inCheck && b.ply[ply].moveListEnd - ListStart(b, ply) == 1) e += OnePly / 2;
  // A recapture on the square of the last capture, when it does not lose the exchange.
  if (ply > 1 && MoveIsCapture(m) && b.ply[ply - 1].currentMove != 0 &&
      MoveIsCapture(b.ply[ply - 1].currentMove) && MoveTo(b.ply[ply - 1].currentMove) == MoveTo(m) && e < OnePly) {
    UnmakeSearchMove(b, ply, m);
    if (StaticExchangeOfMove(b.pos, m, side) >= 0) e += OnePly / 2;
    MakeSearchMove(b, ply, m, side);
  }
  if (e > OnePly) e = OnePly;
  if (e > 0) {
    // Extensions stop at twice the iteration's depth.
    const int D = b.engine->state.iterationDepth;
    if (D > 0 && ply > 2 * D) e = 0;
    return e;
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
  const int rootSign = side == b.engine->state.rootSide ? -1 : 1;
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

// The score of a node left without a legal move: mated, unless the move into it was a
// pawn drop, which is then the dropper's loss.
static int NoMoveScore(const SearchBlock& b, int ply) {
  const Move prev = ply > 1 ? b.ply[ply - 1].currentMove : 0;
  return (prev != 0 && MoveIsDrop(prev) && (MovePiece(prev) & ~1) == BPawn) ? ScoreRuleWin : MatedAt(ply);
}

int NextTimeCheck(const SearchModes& modes, uint64_t nodes) {
  if (!modes.exactNodeLimit || nodes >= modes.nodeLimit) return TimeCheckInterval;
  const uint64_t left = modes.nodeLimit - nodes;
  return left < (uint64_t)TimeCheckInterval ? (int)left : TimeCheckInterval;
}

// Counts a node and runs the main thread's periodic time check.
static inline bool CountNodeAndCheckTime(SearchBlock& b) {
  b.nodes++;
  if (b.threadId == 0 && !b.engine->state.pondering && --b.engine->countdown.value < 1) {
    Engine& engine = *b.engine;
    engine.countdown.value = NextTimeCheck(engine.modes, b.nodes);
    if (engine.time.TimeUp() || (engine.modes.nodeLimit != 0 && b.nodes >= engine.modes.nodeLimit)) {
      b.engine->state.searchStatus = StatusTimeUp;
      return true;
    }
  }
  return false;
}

bool PrunedBeforeMaking(const SearchBlock& b, int ply, Move m, int side, bool givesCheck, int alpha, Depth depth,
                        int moveCount, bool pvNode) {
  const PlyState& s = b.ply[ply];
  if (pvNode || s.inCheck || s.mateThreat || moveCount < 2 || ply <= RootPly || IsProvenLoss(alpha)) return false;
  const Position& p = b.pos;
  const int plies = WholePlies(depth);
  // 1. Captures, promotions and checks that lose material beyond a depth-scaled bound.
  if (MoveIsCapture(m) || MovePromotes(m) || givesCheck)
    return plies < 8 && ExchangeBelow(p, m, side, -3 * PawnValue / 2 * plies);
  // 2. Late quiet moves near the leaves, by their number (most moves of a node end here).
  if (plies < 8 && moveCount >= (Improving(b, ply) ? 5 + plies * plies : 3 + plies * plies / 2)) return true;
  // 3. Quiet moves at the depth they would be searched at (reduced, less their own ply):
  // futility, then a losing exchange.
  const Depth r = LateMoveReduction(b, ply, m, side, depth, moveCount, false, -OnePly, false);
  int lmr = WholePlies(depth - OnePly - r);
  if (lmr < 0) lmr = 0;
  if (lmr < 6 && s.staticEval != ScoreNone && s.staticEval + 2 * PawnValue + 3 * PawnValue / 2 * lmr <= alpha)
    return true;
  return ExchangeBelow(p, m, side, -PawnValue / 4 * lmr * lmr);
}

int SearchMadeMove(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, Depth e, Depth r, bool first) {
  const int nd = depth + e;
  auto child = [&](int a, int bt, Depth d) {
    return d < OnePly ? -Quiesce(b, -bt, -a, ply + 1, -side, 0) : -Search(b, -bt, -a, d, ply + 1, -side, true);
  };
  if (first) return child(alpha, beta, nd);
  int v = child(alpha, alpha + 1, nd - r);
  if (SearchAborted(b)) return 0;
  if (r > 0 && v > alpha) {
    v = child(alpha, alpha + 1, nd);
    if (SearchAborted(b)) return 0;
  }
  if (alpha < v && v < beta && beta > alpha + 1) v = child(alpha, beta, nd);
  return v;
}

namespace {

// The front end asked the search to end ("stop" once a move is known, "gameover"), or
// a "ponderhit" turns the pondering search into a timed one. True when the node must
// return at once.
bool InterruptedByFrontEnd(const SearchBlock& b) {
  if (b.engine->stopRequested.load(std::memory_order_relaxed) && b.engine->state.bestMove != 0) {
    b.engine->state.searchStatus = StatusStopped;
    return true;
  }
  if (b.engine->gameoverReceived.load(std::memory_order_relaxed)) {
    b.engine->state.searchStatus = StatusGameover;
    return true;
  }
  if (b.engine->state.pondering && b.threadId == 0 && b.engine->ponderhitReceived.load(std::memory_order_relaxed)) {
    SwitchPonderToTimed(*b.engine);
  }
  return false;
}

// A step of the node search that may end the node with `score`.
struct NodeOutcome {
  bool ends;
  int score;
};

// A node off the principal variation whose static evaluation clears beta by a margin
// that grows with the depth is cut with its evaluation (reverse futility): over the few
// plies above the leaves the opponent is not expected to win that much back.
NodeOutcome StaticCutoff(SearchBlock& b, int beta, Depth depth, int ply) {
  const int eval = b.ply[ply].staticEval;
  const int plies = WholePlies(depth);
  if (plies >= 7 || eval == ScoreNone || eval >= ScoreHandGain) return {false, 0};
  const int margin = 3 * PawnValue / 2 * (Improving(b, ply) ? plies - 1 : plies) + PawnValue / 2;
  return {eval - margin >= beta, eval};
}

// What the null move decided: the node ends with `score` (a fail high, or 0 when the
// search is aborted), or it goes on, knowing whether the reply to the null move mates.
struct NullMoveOutcome {
  bool ends;
  int score;
  int mateThreat;
};

// The null move of a node off the principal variation, not in check, whose evaluation
// reaches beta: the opponent moves twice, searched R plies shallower with a null window
// at beta, R growing with the depth and with the margin above beta. A score still at
// beta or above is stored as a lower bound and ends the node (an unproven mate score is
// cut to beta). Near the leaves the quiescence search answers.
NullMoveOutcome TryNullMove(SearchBlock& b, HashKey key, int beta, Depth depth, int ply, int side) {
  Position& p = b.pos;
  const int eval = b.ply[ply].staticEval;
  if (eval == ScoreNone || eval < beta || depth < Plies(2)) return {false, 0, 0};
  b.ply[ply].currentMove = 0;
  b.ply[ply].nullMoveMade = 1;  // the child takes its evaluation from this node's
  // Without piece values (no weight file) every excess counts as none.
  const int excess = PawnValue > 0 ? (eval - beta) / (2 * PawnValue) : 0;
  const Depth R = Plies(3) + depth / 4 + Plies(excess < 3 ? excess : 3);
  const Depth d = depth - R;
  if (b.ply[ply].accState != AccValid && AccumulatorUsable(b.engine->Weights(), p)) ResolveAccumulator(b, ply);
  b.ply[ply].undo = PlayNullMove(p);
  b.ply[ply].givesCheck = 0;
  b.ply[ply + 1].accState = AccFromParent;
  b.ply[ply + 1].accMove = 0;
  int v = d < OnePly ? -Quiesce(b, -beta, 1 - beta, ply + 1, -side, 0)
                     : -Search(b, -beta, 1 - beta, d, ply + 1, -side, false);
  TakeBackNullMove(p, b.ply[ply].undo);
  b.ply[ply].nullMoveMade = 0;
  if (SearchAborted(b)) return {true, 0, 0};
  if (v >= beta) {
    if (IsProvenWin(v)) v = beta;
    b.engine->table.Store(key, BoundLower, ply, depth, v, 0, 0);
    return {true, v, 0};
  }
  // The reply to the null move mates: the node is under a mate threat.
  return {false, 0, IsProvenLoss(v) ? 1 : 0};
}

// Internal iterative deepening: a node of the principal variation without a table move
// is searched two plies shallower (with the window widened down to mate when that
// fails low) to find the move to try first. Returns false when the search is aborted.
bool DeepenForFirstMove(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, bool inCheck) {
  const Depth d = depth - Plies(2);
  const int eval = b.ply[ply].staticEval;
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
  b.ply[ply].staticEval = eval;
  b.ply[ply].mateThreat = 0;
  b.ply[ply].moveListEnd = ListStart(b, ply);
  b.ply[ply].searchedCount = 0;
  ClearPv(b, ply);
  return true;
}

}  // namespace

void CheckWhileWaiting(const SearchBlock& b) {
  if (b.engine->state.searchStatus.load(std::memory_order_relaxed) != 0 || InterruptedByFrontEnd(b)) return;
  if (!b.engine->state.pondering && b.engine->time.TimeUp()) b.engine->state.searchStatus = StatusTimeUp;
}

int Search(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, bool allowNull) {
  Position& p = b.pos;
  // 1. Count the node; the main thread checks the clock every 10000 nodes.
  if (SearchAborted(b)) return 0;
  if (CountNodeAndCheckTime(b)) return 0;
  if (ply > b.selDepth) b.selDepth = ply;
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
  const ProbeOutcome probe = b.engine->table.Probe(key, ply, depth, alpha, beta);
  b.ply[ply].hashMove = probe.move;
  if ((probe.result == ProbeLowerCut || probe.result == ProbeUpperCut) && beta == alpha + 1)
    return probe.result == ProbeLowerCut ? beta : alpha;
  // An exact score ends only nodes off the principal variation: there it would cut the
  // line short.
  if (probe.result == ProbeExactHit && beta == alpha + 1) return probe.score;
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
  b.ply[ply].mateThreat = 0;
  const bool pvNode = beta > alpha + 1;
  // 7. Mate in one.
  if (!inCheck) {
    const Move mate = FindMateInOne(p, side);
    if (mate != 0) {
      const int score = MateIn(ply);
      b.ply[ply].hashMove = mate;
      SetPv(b, ply, mate);
      b.engine->table.Store(key, BoundExact, ply, depth, score, mate, 0);
      if (!(score > alpha && score < beta)) ClearPv(b, ply);
      return score;
    }
    b.ply[ply].staticEval = EvaluateAt(b, ply, side);
  }
  // 8. Static cut-off and null move, off the principal variation.
  if (!pvNode && !inCheck) {
    const NodeOutcome cut = StaticCutoff(b, beta, depth, ply);
    if (cut.ends) return cut.score;
    if (allowNull) {
      const NullMoveOutcome null = TryNullMove(b, key, beta, depth, ply, side);
      if (null.ends) return null.score;
      mateThreat = null.mateThreat;
      b.ply[ply].mateThreat = (uint8_t)mateThreat;
    }
  }
  // 9. Internal iterative deepening on the principal variation.
  if (b.ply[ply].hashMove == 0 && pvNode && depth >= Plies(3) &&
      !DeepenForFirstMove(b, alpha, beta, depth, ply, side, inCheck))
    return 0;
  // 10. Move loop. The root (RootSearch) and the split points (SearchSplitPoint) have
  //     loops of their own around the same steps (PrunedBeforeMaking, ExtensionFor,
  //     LateMoveReduction, SearchMadeMove): the root walks its ordered list, reports
  //     each move and writes the answer; a split point takes its moves from the owner's
  //     picker under the owner's lock and shares the move count. Each of the three keeps
  //     only what is its own around those steps.
  const int alphaAtStart = alpha;
  bool searchedAny = false;
  Move best = 0;
  b.ply[ply].pickerStage = PickerStart;
  b.ply[ply].nullMoveMade = 0;
  b.ply[ply].moveListEnd = ListStart(b, ply);
  b.ply[ply].searchedCount = 0;
  b.ply[ply].moveCount = 0;
  for (;;) {
    const int stage = inCheck ? NextEvasion(b, ply, side) : NextMove(b, ply, side);
    if (stage == 0) break;
    const Move m = b.ply[ply].currentMove;
    b.ply[ply].lateMove = IsLatePick(stage);
    // 10.1 Late moves pruned before they are made (most moves of a node end here);
    // counted as if legal.
    const bool givesCheck = MoveGivesCheck(p, m, side);
    if (PrunedBeforeMaking(b, ply, m, side, givesCheck, alpha, depth, b.ply[ply].moveCount + 1, pvNode)) {
      ++b.ply[ply].moveCount;
      searchedAny = true;
      continue;
    }
    // 10.2 Illegal moves are counted and skipped.
    MakeSearchMove(b, ply, m, side, givesCheck);
    if (LeftInCheck(p, m, side, inCheck)) {
      b.nodes++;
      UnmakeSearchMove(b, ply, m);
      continue;
    }
    // 10.3 Extension and reduction, asked with the move made so that its check is known.
    const int moveCount = ++b.ply[ply].moveCount;
    const Depth e = ExtensionFor(b, ply, m, side) - OnePly;
    const Depth r = LateMoveReduction(b, ply, m, side, depth, moveCount, pvNode, e, b.ply[ply].givesCheck);
    // 10.4 Record the move, search it.
    b.searched[ply][b.ply[ply].searchedCount++] = m;
    const int v = SearchMadeMove(b, alpha, beta, depth, ply, side, e, r, !searchedAny);
    searchedAny = true;
    UnmakeSearchMove(b, ply, m);
    // 10.5 Abort.
    if (SearchAborted(b)) return 0;
    // 10.6 Improvement and cut-off.
    if (v > alpha) {
      alpha = v;
      best = m;
      UpdatePv(b, ply, m);
      if (v >= beta) {
        UpdateKillersAndHistory(b, ply, side, depth, m);
        b.ply[ply].currentMove = m;
        b.engine->table.Store(key, BoundLower, ply, depth, v, m, mateThreat);
        return v;
      }
    }
    // 10.7 Offer the remaining moves to idle threads.
    if (depth >= b.engine->state.minSplitDepth && b.engine->pool.IdleHelpersAvailable()) {
      int splitBest = alpha;
      Move splitMove = 0;
      const int r = SplitNode(b, alpha, beta, depth, ply, side, mateThreat, inCheck, &splitBest, &splitMove);
      if (r) {
        if (SearchAborted(b)) return 0;
        if (splitBest > alpha) {
          alpha = splitBest;
          best = splitMove;
          if (alpha >= beta) {
            UpdateKillersAndHistory(b, ply, side, depth, splitMove);
            b.ply[ply].currentMove = splitMove;
            b.engine->table.Store(key, BoundLower, ply, depth, alpha, splitMove, mateThreat);
            return alpha;
          }
        }
        break;
      }
    }
  }
  // 11. After the loop.
  if (searchedAny) {
    if (alpha > alphaAtStart && best != 0) UpdateKillersAndHistory(b, ply, side, depth, best);
    if (alpha > alphaAtStart) b.engine->table.Store(key, BoundExact, ply, depth, alpha, PvMove(b, ply), mateThreat);
    else b.engine->table.Store(key, BoundUpper, ply, depth, alpha, 0, mateThreat);
    return alpha;
  }
  ClearPv(b, ply);
  return NoMoveScore(b, ply);
}

int Quiesce(SearchBlock& b, int alpha, int beta, int ply, int side, int qdepth) {
  Position& p = b.pos;
  // 1. Count the node and check the clock: a search may spend its whole time here (the
  // root's ordering has no full-width node at all).
  if (SearchAborted(b)) return 0;
  b.qnodes++;
  if (CountNodeAndCheckTime(b)) return 0;
  if (ply > b.selDepth) b.selDepth = ply;
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
      if (childEval != ScoreNone) b.engine->margins.Learn(b.engine->Weights(), p, eval, -childEval, m, side);
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
