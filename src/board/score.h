// Score values shared by every subsystem that reports or compares search results, the
// helpers that build mate scores from a ply, and the search's unit of depth.
#pragma once

#include <string>

namespace kestrel {

// "No value": an evaluation not computed yet, a mate length not known, the score before
// any iteration. Perpetual check scores the same (see ScorePerpetual).
constexpr int ScoreNone = 31111;
// Wider than every score a search returns: the full window is [-ScoreInfinite, ScoreInfinite].
constexpr int ScoreInfinite = 30000;
// A forced mate whose length is not told (a mate found before the search, a stored
// mate sequence): the score of a mate with the first move.
constexpr int ScoreMate = 29999;
// Beyond +-ScoreProven a score is a proven result (a mate or being mated).
constexpr int ScoreProven = 29949;
// Repetition rules: the side that gives check every time loses, so perpetual check is
// scored beyond every mate (ScoreNone's value).
constexpr int ScorePerpetual = ScoreNone;
// A win by a rule rather than by a mate: the opponent's last move was a pawn drop that
// mates, or the side to move declares.
constexpr int ScoreRuleWin = 28888;
// A repetition in which one side ends up with more in hand.
constexpr int ScoreHandGain = 27777;

// The side to move at `ply` mates with its next move.
constexpr int MateIn(int ply) { return ScoreInfinite - ply; }
// The side to move at `ply` has no move left (it is mated there): the opponent's mate in
// one at the ply before, seen from this side, so that a mate scores the same whether the
// mating move's node or the mated node finds it.
constexpr int MatedAt(int ply) { return -MateIn(ply - 1); }
static_assert(MatedAt(8) == -MateIn(7) && MateIn(1) == ScoreMate, "mate scores agree on the mate's ply");

// Search depths are counted in quarter plies, so that extensions and reductions can be
// fractions of a ply.
using Depth = int;
constexpr Depth OnePly = 4;
// `n` whole plies as a depth.
constexpr Depth Plies(int n) { return n * OnePly; }
// The whole plies of a depth, rounded down.
constexpr int WholePlies(Depth d) { return d / OnePly; }

// A forced mate for the side the score belongs to (or the opponent's perpetual check).
constexpr bool IsProvenWin(int v) { return v > ScoreProven; }
// Mated by force (or losing by perpetual check).
constexpr bool IsProvenLoss(int v) { return v < -ScoreProven; }
constexpr bool IsProven(int v) { return IsProvenWin(v) || IsProvenLoss(v); }
// A repetition that leaves the side with more in hand: a win by rule.
constexpr bool IsHandGain(int v) { return v == ScoreHandGain; }
// A root score that needs no deeper search: a proven win or a hand gain.
constexpr bool IsDecidedWin(int v) { return IsProvenWin(v) || IsHandGain(v); }

// The score of an "info" line: "mate N" for a proven mate (N plies to the mate, negative
// when the side to move is mated; "mate -0" when it has no move left), else "cp N".
// Perpetual check and the wins by rule have no length, so they stay centipawns.
inline std::string UsiScoreText(int v) {
  if (v > ScoreProven && v < ScoreInfinite) return "mate " + std::to_string(ScoreInfinite - v);
  if (v < -ScoreProven && v >= -ScoreInfinite) return "mate -" + std::to_string(v + ScoreInfinite);
  return "cp " + std::to_string(v);
}

}  // namespace kestrel
