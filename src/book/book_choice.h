// Choosing a book move: the reliability of a candidate and the weighted random choice
// among them (members of Book).
#pragma once

#include <cstdint>

#include "book/book.h"

namespace kestrel {

// A candidate needs at least this reliability to be played.
constexpr int MinBookReliability = 75;

// Reliability 0..100 of a candidate given the most games of any candidate: 0 for a
// rarely played move when the most played one has more than 10 games, else
// percent / 2 + a games term (up to 50) + a rating term ((rating - 500) / 50,
// negative below 500), capped at 100 and never below 0.
int BookReliability(const BookCandidate& c, uint32_t maxGames);

}  // namespace kestrel
