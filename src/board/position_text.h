// USI text of positions, both ways: piece letters, squares, and the sfen board with
// side and hands. Input is checked: bad text stops at the first bad token and is
// reported to the caller, never applied half-way to a square or a hand.
#pragma once

#include <string>

#include "board/move_text.h"
#include "board/position.h"

namespace kestrel {

// Board letter to piece code (P..K, p..k); -1 for any other character.
int LetterToPieceCode(char c);
// Upper-case drop letter to the piece code in the given side's colour; 0 for any other letter.
int DropLetterToCode(char c, int side);
// A USI square ("7g"); NoSquare when the two characters are not one.
Square ParseUsiSquare(const char* t);
// The end of a token: a blank, a line end or the end of the text.
bool IsTokenEnd(char c);

// Fills board and both hands from "<board> <side> <hands>" (the caller has emptied them).
// Returns false with a message when the text is malformed; the board may then be partial.
bool ParseSfenBoard(const char* sfen, Position& p, int* side, std::string* err);

// True when sfen text came from a "position sfen" form (as opposed to startpos).
bool IsSfenText(const std::string& text);

// The sfen text of a position (board, side, hands, move number 1).
std::string PositionToSfen(const Position& p, int side);

}  // namespace kestrel
