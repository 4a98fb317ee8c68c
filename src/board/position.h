// The Position record: board, bitboards, rotated occupancies, hands, keys,
// material and the game history.
#pragma once

#include <cstdint>
#include <string>

#include "board/bitboard.h"
#include "board/hashkeys.h"
#include "board/types.h"

namespace kestrel {

// One history entry: the board key, Black's hand and whether the side to move was in check.
struct HistoryEntry {
  HashKey keyBoard;
  uint32_t hand;
  uint8_t inCheck;
};
static_assert(sizeof(HistoryEntry) == 16, "history entry is 16 bytes");

constexpr int HistorySize = 2098;
// Entries kept free above the game for the plies of a search.
constexpr int HistoryReserve = 64;
// Entries kept by CompactHistory: far more than any repetition test looks back.
constexpr int HistoryKeep = 256;

// Indices into pieceBB[side][13]: rook, dragon, bishop, horse, gold, silver,
// promoted silver, knight, promoted knight, lance, promoted lance, pawn, tokin.
enum PieceBBSlot : int {
  SlotRook, SlotDragon, SlotBishop, SlotHorse, SlotGold, SlotSilver, SlotProSilver,
  SlotKnight, SlotProKnight, SlotLance, SlotProLance, SlotPawn, SlotTokin
};
// Slot of each piece code (colour ignored); -1 for kings and non-pieces.
constexpr int PieceSlot[32] = {
    SlotPawn, SlotPawn, SlotLance, SlotLance, SlotKnight, SlotKnight, SlotSilver, SlotSilver,
    SlotGold, SlotGold, SlotBishop, SlotBishop, SlotRook, SlotRook, -1, -1,
    SlotTokin, SlotTokin, SlotProLance, SlotProLance, SlotProKnight, SlotProKnight,
    SlotProSilver, SlotProSilver, -1, -1, SlotHorse, SlotHorse, SlotDragon, SlotDragon, -1, -1};

struct alignas(128) Position {
  uint32_t kingSquare[2];
  Bitboard occupied[2];
  Bitboard occupiedAll;
  Bitboard occupiedRot90;
  Bitboard occupiedDiagA;
  Bitboard occupiedDiagB;
  Bitboard kingBB[2];
  Bitboard pieceBB[2][13];
  HashKey keyFull;
  HashKey keyBoard;
  uint8_t board[SquareCount];
  Hand hand[2];
  int32_t material;
  int32_t lastEval;
  HistoryEntry history[HistorySize];
  uint32_t historyCount;
};

// The bitboard holding pieces of the given code (kings included).
inline Bitboard& PieceBitboard(Position& p, int code) {
  return (code & ~1) == BKing ? p.kingBB[code & 1] : p.pieceBB[code & 1][PieceSlot[code]];
}
inline const Bitboard& PieceBitboard(const Position& p, int code) {
  return (code & ~1) == BKing ? p.kingBB[code & 1] : p.pieceBB[code & 1][PieceSlot[code]];
}

// Sets or clears a square in all four occupancy layouts at once.
inline void ToggleOccupancy(Position& p, Square s) {
  p.occupiedAll ^= SquareMask[s];
  p.occupiedRot90 ^= SquareMask[Rot90Index[s]];
  p.occupiedDiagA ^= SquareMask[DiagIndexA[s]];
  p.occupiedDiagB ^= SquareMask[DiagIndexB[s]];
}

// Hand codes 0..13: even codes are Black's hand, odd ones White's.
inline void HandAdd(Position& p, int handCode) {
  p.hand[handCode & 1] = HandWithAdded(p.hand[handCode & 1], handCode >> 1);
}
inline void HandRemove(Position& p, int handCode) {
  p.hand[handCode & 1] = HandWithRemoved(p.hand[handCode & 1], handCode >> 1);
}
inline int HandCount(const Position& p, int handCode) {
  return HandKindCountOf(p.hand[handCode & 1], handCode >> 1);
}

// Rebuilds every bitboard and the squares of present kings from the board array.
void RebuildBitboards(Position& p);
// Lays out the start position with keys, material and history entry 0.
void SetStartPosition(Position& p);
// Empties the board and hands (kings absent), ready to be filled square by square.
void ClearBoard(Position& p);
// Recomputes keys and material from scratch and writes the current history entry.
void FinishSetup(Position& p, int sideToMove);
// Zeroes all history entries.
void ClearGameHistory(Position& p);
// Makes room for one more game ply and a search above it: when the history is nearly
// full, only its most recent entries are kept (repetition tests never look further back).
void CompactHistory(Position& p);

// Material balance (Black minus White) computed from scratch from board and hands.
int ComputeMaterial(const Position& p);

// Checks that bitboards, king squares, board and hands agree (and, when asked, the keys
// and material); on failure describes the first disagreement in *why.
bool PositionIsConsistent(const Position& p, bool checkKeys, bool checkMaterial,
                          std::string* why = nullptr);

}  // namespace kestrel
