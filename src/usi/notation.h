// USI text of positions and moves, both ways. Input is checked: bad text stops
// at the first bad token and is reported to the caller, never applied half-way
// to a square or a hand.
#pragma once

#include <string>

#include "board/move_text.h"
#include "board/position.h"
#include "game/game_record.h"

namespace kestrel {

// Board letter to piece code (P..K, p..k); -1 for any other character.
int LetterToPieceCode(char c);
// Upper-case drop letter to the piece code in the given side's colour; 0 for any other letter.
int DropLetterToCode(char c, int side);

// The side to move and plies played, kept beside the root position.

// Fills board and both hands from "<board> <side> <hands>" (the caller has emptied them).
// Returns false with a message when the text is malformed; the board may then be partial.
bool ParseSfenBoard(const char* sfen, Position& p, int* side, std::string* err);

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

// True when sfen text came from a "position sfen" form (as opposed to startpos).
bool IsSfenText(const std::string& text);

// The sfen text of a position (board, side, hands, move number 1).
std::string PositionToSfen(const Position& p, int side);

}  // namespace kestrel
