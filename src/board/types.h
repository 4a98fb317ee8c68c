// Basic value types of the board: squares, sides, piece codes, moves and hands.
#pragma once

#include <cstdint>

#include "board/score.h"

namespace kestrel {

// A square is 9 * row + col; row 0 is rank a, col 0 is file 9.
using Square = int;
constexpr Square NoSquare = 81;
constexpr int SquareCount = 81;

// Sides are signed numbers wherever they are passed or stored.
constexpr int Black = 1;
constexpr int White = -1;

// Array index of a side: 0 for Black, 1 for White (the colour bit of a piece).
constexpr int SideIndex(int side) { return side == Black ? 0 : 1; }

// Piece codes: 2 * kind + colour, promoted pieces have bit 4 set.
using Piece = int;
enum PieceCode : int {
  BPawn = 0, WPawn = 1, BLance = 2, WLance = 3, BKnight = 4, WKnight = 5,
  BSilver = 6, WSilver = 7, BGold = 8, WGold = 9, BBishop = 10, WBishop = 11,
  BRook = 12, WRook = 13, BKing = 14, WKing = 15,
  BTokin = 16, WTokin = 17, BProLance = 18, WProLance = 19,
  BProKnight = 20, WProKnight = 21, BProSilver = 22, WProSilver = 23,
  BHorse = 26, WHorse = 27, BDragon = 28, WDragon = 29,
  Empty = 33
};
constexpr int PieceCodeCount = 34;

constexpr bool IsBlackPiece(int c) { return (c & 33) == 0; }
constexpr bool IsWhitePiece(int c) { return (c & 33) != 0 && c != Empty; }
constexpr int Promote(int c) { return c | 16; }
constexpr int Demote(int c) { return c & ~16; }
// Hand code of a piece captured by the given side: demoted, in the capturer's colour.
constexpr int HandCodeFor(int captured, int capturerSide) {
  return capturerSide == Black ? (captured & 0xEE) : ((captured & 0xEE) | 1);
}
// Colour of a real piece as a signed side.
constexpr int SideOfPiece(int c) { return (c & 1) ? White : Black; }

// 1 for pawn, lance, knight, silver, bishop and rook of either side.
constexpr bool CanPromote(int c) { return c >= 0 && (c <= 7 || (c >= 10 && c <= 13)); }

// Upper-case drop letter of a piece's kind, promotion ignored.
constexpr char DropLetterOf(int c) { return "PPLLNNSSGGBBRRKK"[c & 15]; }

// The 32-bit move word: from 0-6, to 7-13, piece 14-19, captured 20-25, flag 26-27.
using Move = uint32_t;
constexpr Move NoMove = 0;
constexpr int FlagNone = 0, FlagPromote = 1, FlagNoPromote = 3;

constexpr Move EncodeMove(int flag, int captured, int piece, int to, int from) {
  return ((((((uint32_t)flag << 6 | (uint32_t)captured) << 6 | (uint32_t)piece) << 7
           | (uint32_t)to) << 7) | (uint32_t)from);
}
constexpr int MoveFrom(Move m) { return (int)(m & 127); }
constexpr int MoveTo(Move m) { return (int)((m >> 7) & 127); }
constexpr int MovePiece(Move m) { return (int)((m >> 14) & 31); }
constexpr int MoveCaptured(Move m) { return (int)((m >> 20) & 63); }
constexpr int MoveFlag(Move m) { return (int)((m >> 26) & 3); }
constexpr bool MovePromotes(Move m) { return MoveFlag(m) == FlagPromote; }
constexpr bool MoveIsDrop(Move m) { return MoveFrom(m) == NoSquare; }
constexpr bool MoveIsCapture(Move m) { return MoveCaptured(m) != Empty; }
static_assert(EncodeMove(0, Empty, BPawn, 47, 56) == 0x21017B8u, "move word layout");
static_assert(sizeof(Move) == 4, "a move is one 32-bit word");

// Hands: one 32-bit word per side. Lance, knight, silver, gold, bishop and rook
// are thermometer fields (k pieces = 2^k - 1); pawns are a plain 5-bit count.
using Hand = uint32_t;
// Hand kinds are the unpromoted kinds 0..6 (pawn, lance, knight, silver, gold, bishop, rook).
constexpr int HandKindCount = 7;
constexpr int HandShift[HandKindCount] = {20, 0, 4, 8, 12, 16, 18};
constexpr uint32_t HandFieldMask[HandKindCount] = {
    0x1F00000, 0xF, 0xF0, 0xF00, 0xF000, 0x30000, 0xC0000};
constexpr int HandMax[HandKindCount] = {18, 4, 4, 4, 4, 2, 2};
constexpr int NibbleCount[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Number of pieces of a hand kind held in the hand word.
constexpr int HandKindCountOf(Hand h, int kind) {
  return kind == 0 ? (int)((h >> 20) & 31) : NibbleCount[(h & HandFieldMask[kind]) >> HandShift[kind]];
}
// The hand word with one more piece of the kind.
constexpr Hand HandWithAdded(Hand h, int kind) {
  if (kind == 0) return h + (1u << 20);
  uint32_t f = h & HandFieldMask[kind];
  return (h & ~HandFieldMask[kind]) | (((f << 1) | (1u << HandShift[kind])) & HandFieldMask[kind]);
}
// The hand word with one piece of the kind fewer.
constexpr Hand HandWithRemoved(Hand h, int kind) {
  if (kind == 0) return h - (1u << 20);
  uint32_t f = h & HandFieldMask[kind];
  return (h & ~HandFieldMask[kind]) | ((f >> 1) & HandFieldMask[kind]);
}

}  // namespace kestrel
