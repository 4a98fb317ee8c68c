// Judging a game's positions: mate, repetitions with perpetual check, declaration, length.
#include "game/referee.h"

#include "book/declaration.h"
#include "movegen/attacks.h"
#include "movegen/legal.h"

namespace kestrel {

namespace {

// The key of a position with its side to move.
HashKey SidedKey(const Position& p, int side) { return p.keyFull ^ (side == White ? 0x9E3779B97F4A7C15ull : 0); }

// The fourth occurrence of the last position: a draw, unless one side gave check with
// every move since its first occurrence, which then loses.
Verdict FourthOccurrence(const Referee& r, int side) {
  const HashKey k = r.history.back().key;
  size_t first = 0;
  while (r.history[first].key != k) ++first;
  // Each side to move since then: was it always in check?
  bool checked[2] = {true, true};  // by colour to move
  int sideAt = side;
  for (size_t i = r.history.size() - 1; i > first; --i) {
    checked[sideAt == Black ? 0 : 1] &= r.history[i].inCheck;
    sideAt = -sideAt;
  }
  // The side whose opponent was always in check gave every check.
  if (checked[0]) return {GameEnd::PerpetualCheck, Black};
  if (checked[1]) return {GameEnd::PerpetualCheck, White};
  return {GameEnd::Repetition, 0};
}

}  // namespace

Verdict StartReferee(Referee& r, Position& p, int side, int plyCap) {
  r.history.clear();
  r.counts.clear();
  r.plyCap = plyCap;
  r.plies = 0;
  const HashKey k = SidedKey(p, side);
  r.history.push_back({k, InCheck(p, side)});
  r.counts[k] = 1;
  if (!HasLegalMove(p, side)) return {GameEnd::Mate, -side};
  return {};
}

Verdict JudgeAfterMove(Referee& r, Position& p, int side) {
  ++r.plies;
  const HashKey k = SidedKey(p, side);
  r.history.push_back({k, InCheck(p, side)});
  const int count = ++r.counts[k];
  if (!HasLegalMove(p, side)) return {GameEnd::Mate, -side};
  if (count >= 4) return FourthOccurrence(r, side);
  if (r.plyCap > 0 && r.plies >= r.plyCap) return {GameEnd::PlyCap, 0};
  return {};
}

Verdict JudgeDeclaration(const Position& p, int side) {
  return CanDeclareWin(side, p) ? Verdict{GameEnd::Declaration, side} : Verdict{GameEnd::Declaration, -side};
}

}  // namespace kestrel
