// Match arithmetic: the score of a set of games as an Elo difference with its 95 %
// interval, and a sequential probability ratio test that stops a match once the
// difference is clear.
#pragma once

namespace kestrel {

struct MatchTally {
  int wins = 0, draws = 0, losses = 0;  // from the first engine's side
  int Games() const { return wins + draws + losses; }
};

struct EloEstimate {
  double score;      // mean points per game, 0..1
  double elo;        // the Elo difference that score stands for
  double eloLow;     // 95 % interval of the difference
  double eloHigh;
};

// Elo difference of a score (0 < s < 1; clamped into the open interval).
double EloOfScore(double s);
// The tally's score and Elo with the normal approximation of the per-game variance.
EloEstimate EstimateElo(const MatchTally& t);

// Log-likelihood ratio of "the difference is elo1" against "it is elo0" for the tally,
// in the normal approximation of the game scores.
double SprtLogLikelihoodRatio(const MatchTally& t, double elo0, double elo1);
// -1 when the test accepts elo0, +1 when it accepts elo1, 0 while undecided, for error
// rates alpha and beta.
int SprtDecision(double llr, double alpha, double beta);

}  // namespace kestrel
