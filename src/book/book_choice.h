// Choosing a book move: the candidate list of root moves whose resulting
// positions are in the book, their reliability, and the weighted random choice.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "movegen/movegen.h"

namespace kestrel {

// One root move whose resulting position is in the book, with that record's figures.
struct BookCandidate {
  Move move;
  uint32_t games;
  uint32_t percent;
  uint8_t sideFlag;
  uint32_t rating;
};

// The candidate list of the last CollectBookCandidates (process-wide).
extern BookCandidate BookCandidates[MaxMoves];
extern int bookCandidateCount;

// A candidate needs at least this reliability to be played.
constexpr int MinBookReliability = 75;

// Fills the candidate list: every generated move (board moves, then drops) of
// `side` whose resulting position is in the book, in generation order. No legality
// test is made. The position is restored, keys included.
void CollectBookCandidates(Position& pos, int side);

// Reliability 0..100 of a candidate given the most games of any candidate: 0 for a
// rarely played move when the most played one has more than 10 games, else
// percent / 2 + a games term (up to 50) + a rating term ((rating - 500) / 50,
// negative below 500), capped at 100 and never below 0.
int BookReliability(const BookCandidate& c, uint32_t maxGames);

// Most games of any candidate in the list.
uint32_t MaxCandidateGames();

// Picks a move among the candidates with reliability of at least 75, at random
// weighted by reliability; a single such candidate is returned without touching
// the random generator. 0 when none qualifies.
Move ChooseBookMove();

}  // namespace kestrel
