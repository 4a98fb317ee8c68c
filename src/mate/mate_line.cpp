// Reading a proved mate out of the mate table as a line of moves, proving stretches
// again where the table no longer holds them, and the table helpers of the root
// shortcuts.
#include <algorithm>
#include <vector>

#include "board/makemove.h"
#include "board/move_text.h"
#include "board/clock.h"
#include "mate/mate_table.h"
#include "mate/solver.h"
#include "movegen/checks.h"
#include "movegen/evasions.h"
#include "movegen/legal.h"
#include "movegen/movegen.h"

namespace kestrel {

namespace {

// How many times one read-out may prove a stretch again, and how many moves it may try
// in all before it gives up.
constexpr int MaxLineResolves = 8;
constexpr int MaxLineTries = 20000;
// A bound above every stored length.
constexpr uint32_t NoLengthBound = 0xFFFFFFFFu;

// One candidate move of the read-out with the stored length of the position it leads to.
struct LineChoice {
  Move move;
  uint32_t length;
};

}  // namespace

// The read-out: a depth-first walk over the table that follows stored proofs, with the
// line so far and its positions (index 0: the root, attacker to move).
struct MateLineReader {
  Position& p;
  int attacker;
  std::vector<Move> moves;
  std::vector<MoveUndo> undos;
  std::vector<MatePathEntry> seen;
  int resolves = MaxLineResolves;
  int tries = MaxLineTries;
  int64_t start = 0;
};

namespace {

// True when the position now on the board, reached at line index `at`, comes earlier in
// the line with the same side to move. For an attacker position an earlier one with at
// least the attacker's present hand counts too: the defender would have forced the
// attacker back to where it stood, no richer.
bool LineRevisits(const MateLineReader& r, int at) {
  const HashKey key = r.p.keyBoard;
  const uint32_t hand = r.p.hand[0];
  const bool attackerToMove = (at & 1) == 0;
  for (int i = at - 2; i >= 0; i -= 2) {
    const MatePathEntry& e = r.seen[i];
    if (e.keyBoard != key) continue;
    if (!attackerToMove) {
      if (e.hand == hand) return true;
    } else if (r.attacker == Black ? HandContains(e.hand, hand) : HandContains(hand, e.hand)) {
      return true;
    }
  }
  return false;
}

// Makes m as the next move of the line.
void Push(MateLineReader& r, Move m) {
  r.undos.push_back(PlayMove(r.p, m));
  r.moves.push_back(m);
  r.seen.push_back(MatePathEntry{r.p.keyBoard, r.p.hand[0]});
}

// Takes the last move of the line back.
void Pop(MateLineReader& r) {
  TakeBackMove(r.p, r.moves.back(), r.undos.back());
  r.moves.pop_back();
  r.undos.pop_back();
  r.seen.pop_back();
}

// The table's word on the position now on the board, `side` to move: its stored length
// when it is proved lost for `side`, else NoLengthBound.
}  // namespace

uint32_t MateSolver::ProvedLostLength(const Position& p, int side) const {
  uint32_t phi, delta, length;
  if (!table_.Probe(p, side, &phi, &delta, &length)) return NoLengthBound;
  if (phi != MateInfinity || delta != 0 || (length & MatePathTag)) return NoLengthBound;
  return length;
}

// The same for a position proved won by its side to move (an attacker position).
uint32_t MateSolver::ProvedWonLength(const Position& p, int side) const {
  uint32_t phi, delta, length;
  if (!table_.Probe(p, side, &phi, &delta, &length)) return NoLengthBound;
  if (phi != 0 || delta != MateInfinity || (length & MatePathTag)) return NoLengthBound;
  return length;
}

// Proves the attacker position now on the board again, with the line above it held as
// positions the defender may return to (a refutation), so that the new proof does not
// lead back into the line. These proofs share what is left of the asked time limit,
// counted from the start of the solve, but get at least a quarter of it counted from
// the start of the read-out, so that a proof found late can still be read out.
bool MateSolver::ProveAgain(MateLineReader& r) {
  MateWorkArea& w = *work_;
  const int at = (int)r.moves.size();
  for (int i = 0; i < at; ++i) w.linePrefix[i] = r.seen[i];
  w.linePrefixLength = at;
  MateLimits limits = askedLimits_;
  if (limits.timeMs >= 0) {
    const int64_t now = NowMs(), asked = limits.timeMs;
    const int64_t left = asked - (now - askedStart_), floor = asked / 4 - (now - r.start);
    limits.timeMs = std::max<int64_t>(0, std::max(left, floor));
  }
  const bool proved = limits.timeMs != 0 && SolveAgain(r.p, r.attacker, limits, nullptr) == 1;
  w.linePrefixLength = 0;
  return proved;
}

// Attacker to move, the position proved with at most `bound` plies to go by the table:
// tries the proved checks that lead to no earlier position of the line, shortest stored
// mate first, until one reads out to a mate. When none does, the position is proved
// again once and read anew.
bool MateSolver::ReadAttack(MateLineReader& r, uint32_t bound) {
  const int side = r.attacker;
  if ((int)r.moves.size() + 2 >= MatePlyLimit) return false;
  for (int round = 0; round < 2; ++round) {
    std::vector<Move> checks(MaxMoves);
    checks.resize(GenerateChecks(r.p, checks.data(), side) - checks.data());
    std::vector<LineChoice> choices;
    for (const Move m : checks) {
      if (!IsLegalMove(r.p, m, side)) continue;
      Push(r, m);
      const uint32_t length = ProvedLostLength(r.p, -side);
      if (length < bound && !LineRevisits(r, (int)r.moves.size())) choices.push_back({m, length});
      Pop(r);
    }
    // Shortest first; equal lengths keep the generation order.
    std::stable_sort(choices.begin(), choices.end(),
                     [](const LineChoice& a, const LineChoice& b) { return a.length < b.length; });
    for (const LineChoice& c : choices) {
      if (--r.tries < 0) return false;
      Push(r, c.move);
      if (ReadDefence(r, c.length)) return true;
      Pop(r);
    }
    if (round == 1 || r.resolves <= 0 || r.tries < 0) return false;
    --r.resolves;
    if (!ProveAgain(r)) return false;
    bound = NoLengthBound;  // lengths of the new proof start afresh
  }
  return false;
}

// Defender to move, the position proved lost within `bound` plies: the line ends here
// when the defender has no move. Otherwise every evasion must lead to a proved position
// shorter than the bound and new to the line; the defender takes the longest, a board
// move before a drop of equal length, and the line goes on from there.
bool MateSolver::ReadDefence(MateLineReader& r, uint32_t bound) {
  const int side = -r.attacker;
  std::vector<Move> evasions(MaxMoves);
  Move* const end = GenerateEvasions(r.p, evasions.data(), side, 1);
  evasions.resize(RemovePawnDropMates(r.p, evasions.data(), end, side) - evasions.data());
  if (evasions.empty()) return true;  // the checks played are legal: no pawn drop mates
  LineChoice best{NoMove, 0};
  for (const Move m : evasions) {
    Push(r, m);
    const uint32_t length = ProvedWonLength(r.p, -side);
    const bool revisits = LineRevisits(r, (int)r.moves.size());
    Pop(r);
    if (length >= bound || revisits) return false;  // the proof does not cover this defence here
    const bool better = best.move == NoMove || length > best.length ||
                        (length == best.length && MoveIsDrop(best.move) && !MoveIsDrop(m));
    if (better) best = {m, length};
  }
  Push(r, best.move);
  if (ReadAttack(r, best.length)) return true;
  Pop(r);
  return false;
}

bool MateSolver::AppendLine(Position& p, int side, std::string& out, Move* first) {
  AllocateWorkArea();
  if (first) *first = NoMove;
  const uint32_t nodes = nodes_;
  const int outcome = outcome_;
  MateLineReader r{p, side, {}, {}, {}};
  r.start = NowMs();
  r.seen.push_back(MatePathEntry{p.keyBoard, p.hand[0]});
  const bool mates = ReadAttack(r, NoLengthBound);
  std::string text;
  for (const Move m : r.moves) {
    char buf[8];
    text += FormatUsiMove(buf, m);
    text += ' ';
  }
  const uint32_t count = (uint32_t)r.moves.size();
  const Move head = r.moves.empty() ? NoMove : r.moves.front();
  while (!r.moves.empty()) Pop(r);
  // Where a stretch was proved again, the table now holds that proof rather than the
  // root's: a later read-out from a position of this mate proves it again as needed.
  nodes_ = nodes;
  outcome_ = outcome;
  work_->mateLength[1] = mates ? count : 0;
  if (!mates) return false;
  out += text;
  if (first) *first = head;
  return true;
}

void MateSolver::ForgetChild(int side, Position& p, Move move) {
  const MoveUndo undo = PlayMove(p, move);
  table_.Store(p, -side, 1, 1, 0);
  TakeBackMove(p, move, undo);
}

}  // namespace kestrel
