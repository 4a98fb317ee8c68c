// The depth-first proof-number mate solver, its time limit and the read-outs of a
// proved line from the table.
#include "mate/solver.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <algorithm>

#include "board/makemove.h"
#include "board/move_text.h"
#include "board/state.h"
#include "mate/mate_table.h"
#include "movegen/attacks.h"
#include "movegen/checks.h"
#include "movegen/evasions.h"
#include "movegen/movegen.h"

namespace kestrel {

MateWorkArea* MateWork = nullptr;
int matePlyLimit = MatePlyLimit;
uint32_t mateNodes = 0;
bool mateAborted = false;
bool kingMissing = false;
int mateOutcome = MateNotProved;

namespace {

constexpr int ClockInterval = 10000;
int32_t mateClockCountdown = ClockInterval;
int64_t mateSolveStart = 0;

enum RepeatMode { RepeatExact = 1, RepeatDominated = 2 };

// Compares a position reached one ply below `ply` with the earlier positions of the
// path that have the same side to move. Exact: same board and Black hand (1).
// Dominated: same board, and the attacker's hand then held at least as much of every
// kind as now (2); with the board equal, White's hand grows exactly where Black's shrinks.
int PathRepeats(int ply, int mode, HashKey keyBoard, uint32_t hand) {
  const MatePathEntry* h = MateWork->pathHistory;
  for (int j = ply - 2; j >= 0; j -= 2) {
    if (h[j].keyBoard != keyBoard) continue;
    if (mode == RepeatExact) {
      if (h[j].hand == hand) return RepeatExact;
    } else if (mateAttacker == Black ? HandContains(h[j].hand, hand) : HandContains(hand, h[j].hand)) {
      return RepeatDominated;
    }
  }
  return 0;
}

// Table values of the child reached by m, read through the key changes alone; also
// the path repetition test of that child when `mode` asks for one.
struct ChildValues {
  uint32_t phi, delta, length;
  int repeat;
};
inline ChildValues ProbeChild(Position& p, Move m, int side, int ply, int mode) {
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  const Hand h0 = p.hand[0], h1 = p.hand[1];
  AdvanceKeys(p, m);
  ChildValues c;
  MateTableProbe(p, -side, &c.phi, &c.delta, &c.length);
  c.repeat = mode ? PathRepeats(ply, mode, p.keyBoard, p.hand[0]) : 0;
  p.keyFull = kf;
  p.keyBoard = kb;
  p.hand[0] = h0;
  p.hand[1] = h1;
  return c;
}

inline Move* ListBegin(int ply) { return MateWork->moveStack + MateWork->listEnd[ply - 1]; }
inline Move* ListEnd(int ply) { return MateWork->moveStack + MateWork->listEnd[ply]; }

// The smallest child delta; 0 at once for a lost child, or at a defender node for a
// move back to a path position where Black's hand was no poorer (a refutation).
uint32_t MinChildDelta(Position& p, int side, int nodeType, int ply, uint32_t* bestLength) {
  uint32_t result = MateInfinity;
  for (Move* m = ListBegin(ply); m != ListEnd(ply); ++m) {
    const ChildValues c = ProbeChild(p, *m, side, ply, nodeType == -1 ? RepeatDominated : 0);
    if (c.delta == 0 || c.repeat) {
      *bestLength = c.length;
      return 0;
    }
    if (c.delta < result) result = c.delta;
  }
  return result;
}

// The sum of the child phi values (a check back into an exact path repetition counts as
// refuted, phi 0); infinite as soon as one child is. An uncapped sum that lands on the
// infinite value by accident is moved past it so that it is never read as a proof.
uint32_t SumChildPhi(Position& p, int side, int nodeType, int ply, uint32_t* maxLength) {
  uint32_t sum = 0;
  *maxLength = 0;
  for (Move* m = ListBegin(ply); m != ListEnd(ply); ++m) {
    ChildValues c = ProbeChild(p, *m, side, ply, nodeType == 1 ? RepeatExact : 0);
    if (nodeType == 1 && c.phi != 0 && c.repeat == RepeatExact) c.phi = 0;
    if (c.length > *maxLength) *maxLength = c.length;
    if (c.phi == MateInfinity) return MateInfinity;
    sum += c.phi;
  }
  return sum == MateInfinity ? MateInfinity + 1 : sum;
}

// The child with the smallest delta (first of equals), its phi, and the second-smallest
// delta. Returns false when no child has a delta below infinity.
bool SelectMateChild(Position& p, int side, int ply, Move* best, uint32_t* phiBest, uint32_t* delta2) {
  uint32_t bestDelta = MateInfinity;
  *delta2 = MateInfinity;
  *best = NoMove;
  *phiBest = MateInfinity;
  for (Move* m = ListBegin(ply); m != ListEnd(ply); ++m) {
    const ChildValues c = ProbeChild(p, *m, side, ply, 0);
    if (c.delta < bestDelta) {
      *delta2 = bestDelta;
      bestDelta = c.delta;
      *best = *m;
      *phiBest = c.phi;
    } else if (c.delta < *delta2) {
      *delta2 = c.delta;
    }
    if (c.phi == MateInfinity) break;
  }
  return *best != NoMove;
}

// Answers whether the solve must end: its own time limit is passed (counted from the
// start of this solve) or a stop was requested. The game clock is the caller's business.
bool CheckSolverClock() {
  if (stopRequested) return true;
  return (uint64_t)mateTimeLimit < (uint64_t)(NowMs() - mateSolveStart);
}

// Ends a node with the given values, stored in the table.
inline void Resolve(Position& p, int side, int ply, uint32_t phi, uint32_t delta, uint32_t length) {
  MateWork->phiBound[ply] = phi;
  MateWork->deltaBound[ply] = delta;
  MateWork->mateLength[ply] = length;
  MateTableStore(p, side, phi, delta, length);
}

// One node of the search. nodeType 1 = attacker (checks), -1 = defender (evasions).
// The results come back in phiBound[ply] and deltaBound[ply].
void SearchMateNode(Position& p, int side, int nodeType, int ply) {
  MateWorkArea& w = *MateWork;
  // 1-3. Abort, node limit and, every so many nodes, the clock and the stop flag.
  if (mateAborted) return;
  if (mateNodes > mateSolverLimit) {
    mateAborted = true;
    return;
  }
  if (--mateClockCountdown <= 0) {
    mateClockCountdown = ClockInterval;
    if (CheckSolverClock()) {
      mateAborted = true;
      return;
    }
  }
  // 4. Depth cut-off: no more plies, or no room left on the move stack for this ply's
  // list. The node counts as a failure of the attack and is stored as such so that the
  // parent sees the result.
  if (ply >= matePlyLimit || ply >= MatePlyLimit || w.listEnd[ply - 1] + MaxMoves > MateStackSize) {
    if (nodeType == 1) Resolve(p, side, ply, MateInfinity, 0, MateInfinity);
    else Resolve(p, side, ply, 0, MateInfinity, MateInfinity);
    return;
  }
  // 5. A table entry that already reaches one of the thresholds answers the node.
  uint32_t phi, delta, length;
  if (MateTableProbe(p, side, &phi, &delta, &length) && (w.phiBound[ply] <= phi || w.deltaBound[ply] <= delta)) {
    w.phiBound[ply] = phi;
    w.deltaBound[ply] = delta;
    return;
  }
  // 6-8. The move list, and the nodes decided without a search.
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  Move* const begin = w.moveStack + w.listEnd[ply - 1];
  Move* end;
  if (nodeType == 1) {
    end = GenerateChecks(p, begin, side);
    if (end == begin) {
      Resolve(p, side, ply, MateInfinity, 0, MateInfinity);
      return;
    }
  } else {
    if (!kingMissing && InCheck(p, -side)) {  // the attacker left its own king en prise
      Resolve(p, side, ply, 0, MateInfinity, 0);
      return;
    }
    end = GenerateEvasions(p, begin, side, 1);
    if (end == begin) {
      const Move last = w.playedMove[ply - 1];
      if (MoveIsDrop(last) && (MovePiece(last) & ~1) == BPawn) Resolve(p, side, ply, 0, MateInfinity, MateInfinity);
      else Resolve(p, side, ply, MateInfinity, 0, 0);
      return;
    }
  }
  w.listEnd[ply] = (int)(end - w.moveStack);
  // 9. While searched, the node's entry holds its own thresholds.
  w.mateLength[ply] = MateInfinity;
  MateTableStore(p, side, w.phiBound[ply], w.deltaBound[ply], MateInfinity);
  // 10. Expand the most promising child until a threshold is reached.
  uint32_t bestLength = 0, maxLength = 0;
  for (;;) {
    phi = MinChildDelta(p, side, nodeType, ply, &bestLength);
    if (phi == 0) {
      delta = MateInfinity;
    } else {
      delta = SumChildPhi(p, side, nodeType, ply, &maxLength);
      if (delta == MateInfinity) phi = 0;
    }
    if (w.phiBound[ply] <= phi || w.deltaBound[ply] <= delta) break;
    Move best;
    uint32_t phiBest, delta2;
    if (!SelectMateChild(p, side, ply, &best, &phiBest, &delta2)) break;
    w.phiBound[ply + 1] = w.deltaBound[ply] + phiBest - delta;
    w.deltaBound[ply + 1] = w.phiBound[ply] < delta2 + 1 ? w.phiBound[ply] : delta2 + 1;
    MakeMove(p, best);
    ++mateNodes;
    w.playedMove[ply] = best;
    w.pathHistory[ply] = MatePathEntry{p.keyBoard, p.hand[0]};
    SearchMateNode(p, -side, -nodeType, ply + 1);
    UnmakeMove(p, best);
    p.keyFull = kf;
    p.keyBoard = kb;
    if (mateAborted) return;
  }
  // 11. Results and the mate length of a proved node.
  w.phiBound[ply] = phi;
  w.deltaBound[ply] = delta;
  if (nodeType == 1 && phi == 0) w.mateLength[ply] = bestLength + 1;
  else if (nodeType == -1 && delta == 0) w.mateLength[ply] = maxLength + 1;
  MateTableStore(p, side, phi, delta, w.mateLength[ply]);
}

// Makes m and records the reached position in the path history of `ply`.
inline void MakeOnPath(Position& p, Move m, int ply) {
  MakeMove(p, m);
  MateWork->pathHistory[ply] = MatePathEntry{p.keyBoard, p.hand[0]};
}

}  // namespace

void AllocateMateWorkArea() {
  if (MateWork) return;
  MateWork = static_cast<MateWorkArea*>(std::calloc(1, sizeof(MateWorkArea)));
  if (!MateWork) std::exit(12);
}

int SolveMate(Position& p, int attacker, int printInfo) {
  AllocateMateWorkArea();
  MateWorkArea& w = *MateWork;
  // 1-3. Clock, table, root slots and counters.
  mateSolveStart = NowMs();
  ClearMateTable();
  mateAttacker = attacker;
  w.listEnd[0] = w.listEnd[1] = 0;
  w.phiBound[0] = w.phiBound[1] = w.deltaBound[0] = w.deltaBound[1] = MateInfinity - 1;
  w.pathHistory[0] = MatePathEntry{p.keyBoard, p.hand[0]};
  w.playedMove[0] = NoMove;
  mateNodes = 0;
  kingMissing = p.kingSquare[0] == NoSquare || p.kingSquare[1] == NoSquare;
  mateAborted = false;
  mateClockCountdown = ClockInterval;
  mateOutcome = MateNotProved;
  // Without a table or a king to mate there is nothing to prove.
  if (!MateTableReady() || p.kingSquare[SideIndex(-attacker)] == NoSquare) return 0;
  // 4. Search the root.
  SearchMateNode(p, attacker, 1, 1);
  // 5. Proved exactly when the root's delta is infinite.
  if (w.deltaBound[1] != MateInfinity) {
    mateOutcome = mateAborted ? MateLimitHit : MateNotProved;
    return 0;
  }
  mateOutcome = MateProved;
  if (printInfo) {
    const int elapsed = (int)(NowMs() - mateSolveStart);
    const uint32_t nodes = mateNodes;
    std::string line;
    w.mateLength[1] = 0;
    AppendMateLine(p, attacker, 1, 1, line);
    // The depth goes before the line: USI readers take everything after "pv" as moves.
    std::printf("info time %d depth %d nodes %d score cp %d pv %s\n", elapsed, (int)w.mateLength[1], (int)nodes,
                29999, line.c_str());
  }
  return 1;
}

namespace {

// How many times one line read-out may re-prove a stretch whose entries were overwritten.
constexpr int MaxLineResolves = 8;

// The first check whose child is stored as lost and is no exact repetition of the path;
// it is left made on the position. NoMove when there is none.
Move ChooseMatingCheck(Position& p, int side, int ply) {
  MateWorkArea& w = *MateWork;
  Move* const begin = w.moveStack + w.listEnd[ply - 1];
  Move* const end = GenerateChecks(p, begin, side);
  w.listEnd[ply] = (int)(end - w.moveStack);
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  for (Move* m = begin; m != end; ++m) {
    MakeOnPath(p, *m, ply);
    uint32_t phi, delta, length;
    const bool found = MateTableProbe(p, -side, &phi, &delta, &length);
    if (found && phi == MateInfinity && PathRepeats(ply, RepeatExact, p.keyBoard, p.hand[0]) != RepeatExact)
      return *m;
    UnmakeMove(p, *m);
    p.keyFull = kf;
    p.keyBoard = kb;
  }
  return NoMove;
}

// Proves the position again from here after its entries were overwritten by later
// stores; the line's own path and list bounds are kept.
bool ResolveStretch(Position& p, int side, int ply) {
  MateWorkArea& w = *MateWork;
  std::vector<MatePathEntry> path(w.pathHistory, w.pathHistory + ply);
  std::vector<int> ends(w.listEnd, w.listEnd + ply);
  const bool proved = SolveMate(p, side, 0) == 1;
  std::copy(path.begin(), path.end(), w.pathHistory);
  std::copy(ends.begin(), ends.end(), w.listEnd);
  return proved;
}

// The read-out proper: counts the moves written in *count.
void AppendLine(Position& p, int side, int nodeType, int ply, std::string& out, uint32_t* count,
                int* resolves) {
  MateWorkArea& w = *MateWork;
  if (ply >= MatePlyLimit || w.listEnd[ply - 1] + MaxMoves > MateStackSize) return;
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  Move chosen = NoMove;
  if (nodeType == 1) {
    // 1. The first check into a position stored as lost for the defender; when the
    // entries of this stretch were overwritten, it is proved again once.
    chosen = ChooseMatingCheck(p, side, ply);
    if (chosen == NoMove && *resolves > 0) {
      --*resolves;
      if (ResolveStretch(p, side, ply)) chosen = ChooseMatingCheck(p, side, ply);
    }
  } else {
    // 2. The evasion with the longest stored defence (an unknown one counts as long).
    Move* const begin = w.moveStack + w.listEnd[ply - 1];
    Move* const end = GenerateEvasions(p, begin, side, 1);
    w.listEnd[ply] = (int)(end - w.moveStack);
    uint32_t longest = 0;
    for (Move* m = begin; m != end; ++m) {
      MakeOnPath(p, *m, ply);
      uint32_t phi, delta, length;
      MateTableProbe(p, -side, &phi, &delta, &length);
      UnmakeMove(p, *m);
      p.keyFull = kf;
      p.keyBoard = kb;
      if (chosen == NoMove || length > longest) {
        chosen = *m;
        longest = length;
      }
    }
    if (chosen != NoMove) MakeOnPath(p, chosen, ply);
  }
  if (chosen == NoMove) return;
  // 3. Write the chosen move and follow it.
  char buf[8];
  out += FormatUsiMove(buf, chosen);
  out += ' ';
  ++*count;
  AppendLine(p, -side, -nodeType, ply + 1, out, count, resolves);
  UnmakeMove(p, chosen);
  p.keyFull = kf;
  p.keyBoard = kb;
}

}  // namespace

void AppendMateLine(Position& p, int side, int nodeType, int ply, std::string& out) {
  AllocateMateWorkArea();
  const uint32_t before = MateWork->mateLength[1];
  const uint32_t nodes = mateNodes;
  const int outcome = mateOutcome;
  uint32_t count = 0;
  int resolves = MaxLineResolves;
  AppendLine(p, side, nodeType, ply, out, &count, &resolves);
  // A stretch proved again replaced the table; the root's proof is rebuilt (the solve is
  // deterministic and took `nodes` moves) so that the line can still be played from it.
  if (resolves != MaxLineResolves && nodeType == 1 && ply == 1) {
    const uint32_t nodeLimit = mateSolverLimit;
    const int64_t timeLimit = mateTimeLimit;
    mateSolverLimit = nodes;
    mateTimeLimit = -1;
    SolveMate(p, side, 0);
    mateSolverLimit = nodeLimit;
    mateTimeLimit = timeLimit;
  }
  mateNodes = nodes;
  mateOutcome = outcome;
  MateWork->mateLength[1] = before + count;
}

void PrintMateLine(Position& p, int side, int nodeType, int ply) {
  std::string line;
  AppendMateLine(p, side, nodeType, ply, line);
  std::fputs(line.c_str(), stdout);
}

Move FirstMatingMove(int side, Position& p) {
  Move list[MaxMoves];
  Move* const end = GenerateChecks(p, list, side);
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  for (Move* m = list; m != end; ++m) {
    MakeMove(p, *m);
    uint32_t phi, delta, length;
    const bool found = MateTableProbe(p, -side, &phi, &delta, &length);
    UnmakeMove(p, *m);
    p.keyFull = kf;
    p.keyBoard = kb;
    if (found && phi == MateInfinity) return *m;
  }
  return NoMove;
}

void ForgetMateChild(int side, Position& p, Move move) {
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  MakeMove(p, move);
  MateTableStore(p, -side, 1, 1, 0);
  UnmakeMove(p, move);
  p.keyFull = kf;
  p.keyBoard = kb;
}

}  // namespace kestrel
