// Random openings: a number of uniformly drawn legal moves, the same draw for self-play
// and for matches.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "board/position.h"
#include "game/game_record.h"

namespace kestrel {

// Plays up to `plies` random legal moves in the game, each drawn as rng() modulo the
// number of legal moves. With keepGoing set it stops before a move that would leave the
// next side without a legal move, and returns true; otherwise it returns false when a
// side has no legal move to play (a finished game). The moves played are appended to
// `played` when given.
bool PlayRandomMoves(Position& p, GameCursor& game, int plies, std::mt19937_64& rng, bool keepGoing,
                     std::vector<Move>* played = nullptr);

// An opening of `plies` random legal moves from the start position, drawn from `seed`, as
// USI move text; it never hands over a finished game.
std::string RandomOpening(int plies, uint64_t seed);

}  // namespace kestrel
