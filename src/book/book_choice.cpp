// Book candidates and the reliability-weighted choice among them.
#include "book/book_choice.h"

#include <algorithm>
#include <vector>

#include "board/makemove.h"
#include "book/book.h"
#include "movegen/movegen.h"

namespace kestrel {

// Makes every generated move once and probes the book for the opponent to move.
void Book::CollectCandidates(Position& pos, int side) {
  Move list[MaxMoves];
  Move* end = GenerateAllMoves(pos, list, side);
  end = GenerateDrops(end, pos, side);
  candidates_.clear();
  for (Move* m = list; m < end; ++m) {
    const MoveUndo undo = PlayMove(pos, *m);
    BookRecord r;
    if (Probe(pos, -side, &r)) candidates_.push_back({*m, r.games, r.percent, r.sideFlag, r.rating});
    TakeBackMove(pos, *m, undo);
  }
}

uint32_t Book::MaxCandidateGames() const {
  uint32_t maxGames = 0;
  for (const BookCandidate& c : candidates_) maxGames = std::max(maxGames, c.games);
  return maxGames;
}

// The rating term is computed signed, so a rating below 500 lowers the score
// instead of wrapping around to a huge value that would cap it at 100.
int BookReliability(const BookCandidate& c, uint32_t maxGames) {
  if (maxGames > 10 && c.games < maxGames / 10) return 0;
  int64_t gamesTerm = c.games < 100 ? c.games / 2 : 50;
  int64_t ratingTerm = ((int64_t)c.rating - 500) / 50;
  int64_t r = (int64_t)(c.percent / 2) + gamesTerm + ratingTerm;
  return (int)std::clamp<int64_t>(r, 0, 100);
}

// 1. Reliabilities; 2. keep those of at least 75; 3. one kept is played as is,
// several are drawn at random with weights equal to their reliabilities.
Move Book::Choose() {
  uint32_t maxGames = MaxCandidateGames();
  std::vector<Move> kept(candidates_.size());
  std::vector<int> weight(candidates_.size());
  int keptCount = 0;
  int64_t total = 0;
  for (const BookCandidate& c : candidates_) {
    int r = BookReliability(c, maxGames);
    if (r < MinBookReliability) continue;
    kept[keptCount] = c.move;
    weight[keptCount++] = r;
    total += r;
  }
  if (keptCount == 0) return 0;
  if (keptCount == 1) return kept[0];
  int64_t pick = (int64_t)(rng_() % (uint64_t)total) + 1;
  int64_t running = 0;
  for (int i = 0; i < keptCount; ++i) {
    running += weight[i];
    if (running >= pick) return kept[i] ? kept[i] : kept[0];
  }
  return kept[0];
}

}  // namespace kestrel
