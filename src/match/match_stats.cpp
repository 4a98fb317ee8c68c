// Elo estimates and the sequential test over a tally of games.
#include "match/match_stats.h"

#include <cmath>

namespace kestrel {

namespace {

// Expected score of a player rated `elo` above its opponent.
double ScoreOfElo(double elo) { return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0)); }

// Mean and per-game variance of the tally's scores.
void MeanAndVariance(const MatchTally& t, double* mean, double* variance) {
  const double n = t.Games();
  const double s = (t.wins + 0.5 * t.draws) / n;
  const double v = (t.wins * (1 - s) * (1 - s) + t.draws * (0.5 - s) * (0.5 - s) + t.losses * s * s) / n;
  *mean = s;
  *variance = v;
}

}  // namespace

double EloOfScore(double s) {
  const double eps = 1e-6;
  if (s < eps) s = eps;
  if (s > 1 - eps) s = 1 - eps;
  return -400.0 * std::log10(1.0 / s - 1.0);
}

EloEstimate EstimateElo(const MatchTally& t) {
  EloEstimate e{0.5, 0, 0, 0};
  if (t.Games() == 0) return e;
  double s, v;
  MeanAndVariance(t, &s, &v);
  // A tally with no spread (every game won, say) still has an interval: at least the
  // spread one different game would give.
  const double n = t.Games();
  const double minVariance = 0.25 / (n + 1);
  const double half = 1.96 * std::sqrt((v > minVariance ? v : minVariance) / n);
  e.score = s;
  e.elo = EloOfScore(s);
  e.eloLow = EloOfScore(s - half);
  e.eloHigh = EloOfScore(s + half);
  return e;
}

double SprtLogLikelihoodRatio(const MatchTally& t, double elo0, double elo1) {
  if (t.Games() == 0) return 0;
  double s, v;
  MeanAndVariance(t, &s, &v);
  if (v <= 0) v = 0.25 / (t.Games() + 1);
  const double s0 = ScoreOfElo(elo0), s1 = ScoreOfElo(elo1);
  return t.Games() * (s1 - s0) * (2 * s - s0 - s1) / (2 * v);
}

int SprtDecision(double llr, double alpha, double beta) {
  const double lower = std::log(beta / (1 - alpha)), upper = std::log((1 - beta) / alpha);
  if (llr >= upper) return 1;
  if (llr <= lower) return -1;
  return 0;
}

}  // namespace kestrel
