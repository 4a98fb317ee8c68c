// USI text of moves and of whole positions ("startpos" or "sfen ..." with moves), read
// into a game: each move is checked against the position before it is played.
#pragma once

#include <string>

#include "board/position_text.h"
#include "game/game_record.h"

namespace kestrel {

// Parses one move's text for the given side and checks that it is a possible move
// in the position; returns the number of characters consumed (5, or 6 with "+"),
// or 0 with a message when the text is not a move of this position.
int ParseUsiMove(const Position& p, const char* text, int side, Move* out, std::string* err);

// Plays one move from its text on the position and records it in the history.
int PlayUsiMove(Position& p, const char* text, GameCursor& game, std::string* err);

// Plays the space-separated moves of text in order; stops at the first bad one.
// Returns false with a message naming it.
bool ApplyMovesText(Position& p, const char* text, GameCursor& game, std::string* err);

// Sets up a position from USI position text: "startpos [moves ...]" or
// "sfen <board> <side> <hands> <n> [moves ...]". A bad board leaves the start
// position; a bad move leaves the moves before it applied. Returns false with a
// message on bad text. Note: history entries are written from historyCount 0.
bool SetPositionFromText(Position& p, const std::string& text, GameCursor& game, std::string* err);

}  // namespace kestrel
