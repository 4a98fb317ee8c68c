// The depth-first proof-number mate solver, its time limit and the read-outs of a
// proved line from the table.
#include "mate/solver.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>
#include <algorithm>

#include "board/makemove.h"
#include "board/move_text.h"
#include "board/clock.h"
#include "mate/mate_table.h"
#include "movegen/attacks.h"
#include "movegen/checks.h"
#include "movegen/evasions.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"

namespace kestrel {

namespace {

constexpr int ClockInterval = 10000;

// Finite proof and disproof numbers stay below the root's full thresholds (65534), so
// that the root ends only on a proof, a disproof or a limit, never because a sum grew
// large; with the thresholds lowered to the cap, the root gives up once it is reached.
constexpr uint32_t MateNumberCap = MateInfinity - 2;

enum RepeatMode { RepeatExact = 1, RepeatDominated = 2 };

}  // namespace

// Compares a position reached one ply below `ply` with the earlier positions of the
// path that have the same side to move. Exact: same board and Black hand. Dominated:
// same board, and the attacker's hand then held at least as much of every kind as now;
// with the board equal, White's hand grows exactly where Black's shrinks. Returns the
// path index of the earliest such position, or -1.
int MateSolver::PathRepeats(int ply, int mode, HashKey keyBoard, uint32_t hand) const {
  const MatePathEntry* h = work_->pathHistory;
  int found = -1;
  for (int j = ply - 2; j >= 0; j -= 2) {
    if (h[j].keyBoard != keyBoard) continue;
    if (mode == RepeatExact ? h[j].hand == hand
                            : (table_.attacker == Black ? HandContains(h[j].hand, hand) : HandContains(hand, h[j].hand)))
      found = j;
  }
  return found;
}

// The same test against the positions of a line being read out that lie above the root
// of a nested solve (none in an ordinary solve). The prefix ends just above the root,
// which is attacker to move; a child one ply below an odd ply is defender to move, as are
// the prefix positions of odd index.
bool MateSolver::LinePrefixRepeats(int ply, int mode, HashKey keyBoard, uint32_t hand) const {
  const MateWorkArea& w = *work_;
  for (int i = (ply & 1) ? w.linePrefixLength - 1 : w.linePrefixLength - 2; i >= 0; i -= 2) {
    const MatePathEntry& e = w.linePrefix[i];
    if (e.keyBoard != keyBoard) continue;
    if (mode == RepeatExact ? e.hand == hand
                            : (table_.attacker == Black ? HandContains(e.hand, hand) : HandContains(hand, e.hand)))
      return true;
  }
  return false;
}

namespace {

// Path tags. A disproof found through a move back into the path holds only while that
// path position is still on the path; it carries the serial of the node searched there
// (serials grow with depth along the path). The depth bit marks results cut off by the
// ply or move-stack limit, which are never a real disproof.
inline uint32_t TagSerial(uint32_t tag) { return tag & MateSerialMask; }

}  // namespace

// True when the node named by `tag` is on the path from the root down to ply `top`.
bool MateSolver::TagOnPath(uint32_t tag, int top) const {
  const uint32_t serial = TagSerial(tag);
  const uint32_t* s = work_->nodeSerial;
  int lo = 1, hi = top;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    if (s[mid] == serial) return true;
    if (s[mid] < serial) lo = mid + 1;
    else hi = mid - 1;
  }
  return false;
}

namespace {

// Of two refutations, the one trusted longer: untagged first, then without the depth
// bit, then the shallower path node, then the one resting on that node alone.
inline uint32_t LongerLivedTag(uint32_t a, uint32_t b) {
  if (!a || !b) return 0;
  if ((a ^ b) & MateDepthTag) return (a & MateDepthTag) ? b : a;
  if (TagSerial(a) != TagSerial(b)) return TagSerial(a) < TagSerial(b) ? a : b;
  return (a & MateSingleTag) ? a : b;
}

}  // namespace

// Both results needed at once: the deeper path node, the depth bit of either, and the
// single bit only when both rest on the same one node.
inline uint32_t JointTag(uint32_t a, uint32_t b) {
  if (!a || a == b) return b;
  if (!b) return a;
  return MatePathTag | ((a | b) & MateDepthTag) | (TagSerial(a) > TagSerial(b) ? TagSerial(a) : TagSerial(b));
}

// A tag as seen from the node at `ply`: a dependence on the node itself is settled there
// (a move back to a position cannot help the side that had it). A result that rested on
// that node alone then holds on any path; anything else it rests on lies higher up the
// path, so it is kept as a dependence on the parent. Children are settled one by one
// before their tags are joined, so that one child's other dependences do not spread to
// the rest.
uint32_t MateSolver::SettleTag(uint32_t tag, int ply) const {
  if (!tag || TagSerial(tag) != work_->nodeSerial[ply]) return tag;
  if ((tag & (MateSingleTag | MateDepthTag)) == MateSingleTag) return 0;
  if (ply > 1) return MatePathTag | (tag & MateDepthTag) | work_->nodeSerial[ply - 1];
  return (tag & MateDepthTag) ? MatePathTag | MateDepthTag : 0;
}

namespace {

// The board key and Black hand of the position m leads to, through the key changes
// alone.
MatePathEntry ChildKeyOf(Position& p, Move m) {
  const HashKey kf = p.keyFull, kb = p.keyBoard;
  const Hand h0 = p.hand[0], h1 = p.hand[1];
  AdvanceKeys(p, m);
  const MatePathEntry child{p.keyBoard, p.hand[0]};
  p.keyFull = kf;
  p.keyBoard = kb;
  p.hand[0] = h0;
  p.hand[1] = h1;
  return child;
}

}  // namespace

// The path tag of a child when its move leads back into the path: at a defender node
// to an attacker position no richer for the attacker, at an attacker node to the same
// defender position. Both are wins for the defender on this path. 0 otherwise.
uint32_t MateSolver::RepeatTagOf(const MatePathEntry& child, int nodeType, int ply) const {
  const int mode = nodeType == -1 ? RepeatDominated : RepeatExact;
  int j = PathRepeats(ply, mode, child.keyBoard, child.hand);
  // A position of the line being read out above this solve's root is as much a return
  // into the path as one of the solve's own path; it is held fixed for the whole solve,
  // so it counts as a repetition of the root.
  if (j < 0 && LinePrefixRepeats(ply, mode, child.keyBoard, child.hand)) j = 0;
  return j < 0 ? 0 : MatePathTag | MateSingleTag | work_->nodeSerial[j + 1];
}

// Table values of the child reached by the move at stack index i, read by the child's
// key; where the table has lost the entry, what the node last learnt of the child (two
// children that keep pushing each other out of one bucket would otherwise be searched
// in turn for ever). A stored path-dependent result whose path node is gone reads as
// unknown; a move back into the path reads as a win for the defender. `tag` is 0 for
// results that hold on any path.
struct MateSolver::ChildValues {
  uint32_t phi, delta, length, tag;
};
inline MateSolver::ChildValues MateSolver::ProbeChild(int i, int side, int nodeType, int ply) const {
  const MatePathEntry& key = work_->childKey[i];
  ChildValues c;
  if (!table_.Probe(key.keyBoard, key.hand, -side, &c.phi, &c.delta, &c.length)) {
    const MateChildMemo& memo = work_->childMemo[i];
    c.phi = memo.phi;
    c.delta = memo.delta;
    c.length = memo.length;
  }
  c.tag = 0;
  if (c.length & MatePathTag) {
    // Only wins of the defender carry tags; anything else would be a stray entry.
    const bool defenderWin = nodeType == -1 ? c.delta == 0 : c.phi == 0;
    if (defenderWin && TagOnPath(c.length, ply)) {
      c.tag = SettleTag(c.length, ply);  // settled child by child, which keeps it precise
    } else {
      c.phi = c.delta = 1;
      c.length = MateLengthUnknown;
    }
  }
  if (c.phi != MateInfinity && c.phi > MateNumberCap) c.phi = MateNumberCap;
  if (c.delta != MateInfinity && c.delta > MateNumberCap) c.delta = MateNumberCap;
  const uint32_t repeat = work_->repeatTag[i];
  if (repeat) {
    const bool defenderWins = nodeType == -1 ? c.delta == 0 : c.phi == 0;
    c.tag = defenderWins ? LongerLivedTag(c.tag, repeat) : repeat;
    c.phi = nodeType == -1 ? MateInfinity : 0;
    c.delta = nodeType == -1 ? 0 : MateInfinity;
    c.length = MateInfinity;
  }
  return c;
}

// What one pass over a node's children gives: the node's phi and delta, the tag of a
// win for the defender (on which part of the search it holds), the length of a proved
// node's shortest and longest children, and the child to search next with its phi and
// the second-smallest delta.
struct MateSolver::ChildScan {
  uint32_t phi, delta, tag;
  uint32_t bestLength, maxLength;
  int best;  // stack index of the child to search, -1 for none
  uint32_t phiBest, delta2;
};

// Scans the children once. phi is the smallest child delta, 0 when a child is lost for
// its side to move (at a defender node that includes a move back into the path): a
// refutation that holds on any path ends the scan, otherwise the tags of all such
// children give the one trusted longest. delta is the sum of the child phi values, kept
// below the root's thresholds, and phi becomes infinite when the sum is 0 (every child
// won for its side to move; the tag then joins theirs). The child to search next is the
// one with the smallest delta, the first of equals. One pass, not one per number: the
// table look-ups of the children are most of the solver's time.
void MateSolver::ScanChildren(int side, int nodeType, int ply, ChildScan& s) const {
  uint32_t minDelta = MateInfinity, sum = 0, refuteTag = 0, sumTag = 0, bestDelta = MateInfinity;
  bool refuted = false;
  s.bestLength = s.maxLength = 0;
  s.best = -1;
  s.phiBest = s.delta2 = MateInfinity;
  const int begin = work_->listEnd[ply - 1], end = work_->listEnd[ply];
  // The children's buckets are fetched together rather than one after the other.
  for (int i = begin; i != end; ++i) table_.Prefetch(work_->childKey[i].keyBoard, -side);
  for (int i = begin; i != end; ++i) {
    const ChildValues c = ProbeChild(i, side, nodeType, ply);
    if (c.delta == 0) {
      if (!c.tag) {
        s.phi = 0;
        s.delta = MateInfinity;
        s.tag = 0;
        s.bestLength = c.length;
        return;
      }
      refuteTag = refuted ? LongerLivedTag(refuteTag, c.tag) : c.tag;
      refuted = true;
      continue;
    }
    if (c.delta < minDelta) minDelta = c.delta;
    if (!c.tag && c.length > s.maxLength) s.maxLength = c.length;
    if (c.phi == 0) sumTag = JointTag(sumTag, c.tag);
    sum += c.phi;
    if (c.delta < bestDelta) {
      s.delta2 = bestDelta;
      bestDelta = c.delta;
      s.best = i;
      s.phiBest = c.phi;
    } else if (c.delta < s.delta2) {
      s.delta2 = c.delta;
    }
  }
  if (refuted) {
    s.phi = 0;
    s.delta = MateInfinity;
    s.tag = refuteTag;
    return;
  }
  // A child lost for its side to move has delta 0, so every phi here is finite.
  s.phi = sum == 0 ? MateInfinity : minDelta;
  s.delta = sum > MateNumberCap ? MateNumberCap : sum;
  s.tag = sumTag;
}

// Answers whether the solve must end: its own time limit is passed (counted from the
// start of this solve) or a stop was requested. The game clock is the caller's business.
bool MateSolver::CheckClock() const {
  if (stop_ && stop_->load(std::memory_order_relaxed)) return true;
  return (uint64_t)runningLimits_.timeMs < (uint64_t)(NowMs() - solveStart_);
}

// Ends a node with the given values, stored in the table.
inline void MateSolver::Resolve(Position& p, int side, int ply, uint32_t phi, uint32_t delta, uint32_t length) {
  work_->phiBound[ply] = phi;
  work_->deltaBound[ply] = delta;
  work_->mateLength[ply] = length;
  table_.Store(p, side, phi, delta, length);
}

// One node of the search. nodeType 1 = attacker (checks), -1 = defender (evasions).
// The results come back in phiBound[ply] and deltaBound[ply].
void MateSolver::SearchNode(Position& p, int side, int nodeType, int ply) {
  MateWorkArea& w = *work_;
  // 1. Abort, node limit and, every so many nodes, the clock and the stop flag.
  if (aborted_) return;
  if (nodes_ > runningLimits_.nodes) {
    aborted_ = true;
    return;
  }
  if (--clockCountdown_ <= 0) {
    clockCountdown_ = ClockInterval;
    if (CheckClock()) {
      aborted_ = true;
      return;
    }
  }
  // 2. Depth cut-off: no more plies, or no room left on the move stack for this ply's
  // list. The node counts as a failure of the attack, so that the parent sees a result,
  // but one marked as cut off: it holds only below the parent, and a root disproved
  // through it is unresolved, not disproved.
  if (ply >= runningLimits_.plyLimit || ply >= MatePlyLimit || w.listEnd[ply - 1] + MaxMoves > MateStackSize) {
    const uint32_t cut = MatePathTag | MateDepthTag | w.nodeSerial[ply - 1];
    if (nodeType == 1) Resolve(p, side, ply, MateInfinity, 0, cut);
    else Resolve(p, side, ply, 0, MateInfinity, cut);
    return;
  }
  // 3. A table entry that already reaches one of the thresholds answers the node.
  // A result that holds only on part of the search counts while its path node is on
  // the path (plies above this one).
  uint32_t phi, delta, length, work;
  if (table_.Probe(p, side, &phi, &delta, &length, &work) && (w.phiBound[ply] <= phi || w.deltaBound[ply] <= delta) &&
      (!(length & MatePathTag) || TagOnPath(length, ply - 1))) {
    w.phiBound[ply] = phi;
    w.deltaBound[ply] = delta;
    return;
  }
  if (serial_ >= MateSerialMask) {  // serials exhausted: too long a solve to tag soundly
    aborted_ = true;
    return;
  }
  w.nodeSerial[ply] = ++serial_;
  // 4. The move list, and the nodes decided without a search. A pawn drop that mates
  // is no move at all, so it never enters a list: its position is not stored as a
  // refutation, which a pawn push to the same board would read as one.
  Move* const begin = w.moveStack + w.listEnd[ply - 1];
  Move* end;
  if (nodeType == 1) {
    end = RemovePawnDropMates(p, begin, GenerateChecks(p, begin, side), side);
    if (end == begin) {
      Resolve(p, side, ply, MateInfinity, 0, MateInfinity);
      return;
    }
  } else {
    if (!kingMissing_ && InCheck(p, -side)) {  // the attacker left its own king en prise
      Resolve(p, side, ply, 0, MateInfinity, 0);
      return;
    }
    end = RemovePawnDropMates(p, begin, GenerateEvasions(p, begin, side, 1), side);
    if (end == begin) {
      Resolve(p, side, ply, MateInfinity, 0, 0);
      return;
    }
  }
  w.listEnd[ply] = (int)(end - w.moveStack);
  // The children's keys and the moves back into the path are found once: the path stays
  // as it is while this node is searched.
  for (Move* m = begin; m != end; ++m) {
    const int i = (int)(m - w.moveStack);
    w.childKey[i] = ChildKeyOf(p, *m);
    w.repeatTag[i] = RepeatTagOf(w.childKey[i], nodeType, ply);
    w.childMemo[i] = MateChildMemo{1, 1, MateLengthUnknown};
  }
  // 5. While searched, the node's entry holds its own thresholds, with the work done
  // below it so far, so that its bucket keeps it meanwhile.
  const uint32_t nodesAtEntry = nodes_;
  w.mateLength[ply] = MateInfinity;
  table_.Store(p, side, w.phiBound[ply], w.deltaBound[ply], MateInfinity, work + 1);
  // 6. Expand the most promising child until a threshold is reached.
  ChildScan scan;
  for (;;) {
    ScanChildren(side, nodeType, ply, scan);
    phi = scan.phi;
    delta = scan.delta;
    if (w.phiBound[ply] <= phi || w.deltaBound[ply] <= delta || scan.best < 0) break;
    // Thresholds stay below infinity: a searched node's entry holds them meanwhile. The
    // child may run half as far again past the second-best child's delta before the
    // search turns to that one: switching back and forth between near-equal children
    // costs more than it saves.
    const uint32_t childPhiBound = w.deltaBound[ply] + scan.phiBest - delta;
    w.phiBound[ply + 1] = childPhiBound < MateInfinity ? childPhiBound : MateInfinity - 1;
    const uint32_t childDeltaBound = scan.delta2 + scan.delta2 / 2 + 1;
    w.deltaBound[ply + 1] = w.phiBound[ply] < childDeltaBound ? w.phiBound[ply] : childDeltaBound;
    const Move best = w.moveStack[scan.best];
    const MoveUndo undo = PlayMove(p, best);
    ++nodes_;
    w.pathHistory[ply] = MatePathEntry{p.keyBoard, p.hand[0]};
    SearchNode(p, -side, -nodeType, ply + 1);
    if (aborted_) {
      TakeBackMove(p, best, undo);
      return;
    }
    // What the child's search left, kept in case the table loses it.
    MateChildMemo& memo = w.childMemo[scan.best];
    if (!table_.Probe(p, -side, &memo.phi, &memo.delta, &memo.length))
      memo = MateChildMemo{w.phiBound[ply + 1], w.deltaBound[ply + 1], MateLengthUnknown};
    TakeBackMove(p, best, undo);
  }
  // 7. Results and the mate length of a proved node. A win of the defender keeps the
  // tag of what it rests on in place of the length. The entry keeps the work done below
  // the node in all its searches.
  w.phiBound[ply] = phi;
  w.deltaBound[ply] = delta;
  if (nodeType == 1 && phi == 0) w.mateLength[ply] = scan.bestLength + 1;
  else if (nodeType == -1 && delta == 0) w.mateLength[ply] = scan.maxLength + 1;
  const bool defenderWins = nodeType == 1 ? delta == 0 : phi == 0;
  const uint32_t tag = defenderWins ? SettleTag(scan.tag, ply) : 0;
  if (ply == 1) rootTag_ = tag;
  const uint64_t spent = (uint64_t)work + 1 + (nodes_ - nodesAtEntry);
  table_.Store(p, side, phi, delta, tag ? tag : w.mateLength[ply], spent < 0xFFFFFFFFu ? (uint32_t)spent : 0xFFFFFFFFu);
}

MateSolver::~MateSolver() { std::free(work_); }

void MateSolver::AllocateWorkArea() {
  if (work_) return;
  work_ = static_cast<MateWorkArea*>(std::calloc(1, sizeof(MateWorkArea)));
  if (!work_) std::exit(12);
}

int MateSolver::SolveAgain(Position& p, int attacker, const MateLimits& limits, const LineSink* info) {
  AllocateWorkArea();
  MateWorkArea& w = *work_;
  // 1. Limits, clock, table, root slots and counters.
  runningLimits_ = limits;
  solveStart_ = NowMs();
  table_.Clear();
  table_.attacker = attacker;
  w.listEnd[0] = w.listEnd[1] = 0;
  const uint32_t rootBound = limits.giveUpLargeTrees ? MateNumberCap : MateInfinity - 1;
  w.phiBound[0] = w.phiBound[1] = w.deltaBound[0] = w.deltaBound[1] = rootBound;
  w.pathHistory[0] = MatePathEntry{p.keyBoard, p.hand[0]};
  nodes_ = 0;
  kingMissing_ = p.kingSquare[0] == NoSquare || p.kingSquare[1] == NoSquare;
  aborted_ = false;
  clockCountdown_ = ClockInterval;
  outcome_ = MateNotProved;
  serial_ = 0;
  rootTag_ = 0;
  w.nodeSerial[0] = 0;
  // Without a table or a king to mate there is nothing to prove.
  if (!table_.Ready() || p.kingSquare[SideIndex(-attacker)] == NoSquare) return 0;
  // 2. Search the root.
  SearchNode(p, attacker, 1, 1);
  // 3. Proved exactly when the root's delta is infinite; disproved only when its delta
  // is 0 through results that hold on any path and no limit cut the search.
  if (w.deltaBound[1] != MateInfinity) {
    const bool disproved = !aborted_ && w.deltaBound[1] == 0 && rootTag_ == 0;
    outcome_ = disproved ? MateNotProved : MateLimitHit;
    return 0;
  }
  outcome_ = MateProved;
  if (info && *info) {
    const int elapsed = (int)(NowMs() - solveStart_);
    const uint32_t nodes = nodes_;
    std::string line;
    // Only a line that reads out as a mate is shown.
    if (AppendLine(p, attacker, line)) {
      // The depth goes before the line: USI readers take everything after "pv" as moves.
      // This runs before the search: its table holds nothing of this move yet.
      const int length = (int)w.mateLength[1];
      const uint64_t nps = (uint64_t)nodes * 1000 / (uint64_t)(elapsed > 0 ? elapsed : 1);
      char head[160];
      std::snprintf(head, sizeof head, "info time %d depth %d seldepth %d nodes %d nps %llu hashfull 0 score mate %d pv ",
                    elapsed, length, length, (int)nodes, (unsigned long long)nps, length);
      (*info)(head + line);
    }
  }
  return 1;
}

int MateSolver::Solve(Position& p, int attacker, const MateLimits& limits, const LineSink* info) {
  askedLimits_ = limits;
  askedStart_ = NowMs();
  AllocateWorkArea();
  work_->linePrefixLength = 0;
  return SolveAgain(p, attacker, limits, info);
}

}  // namespace kestrel
