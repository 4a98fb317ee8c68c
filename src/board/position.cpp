// Building a Position from its board array, the start position, and the
// consistency check used by debug builds and tests.
#include "board/position.h"

#include <cstdio>
#include <cstring>

#include "board/material.h"

namespace kestrel {

// Rebuilds occupancies, rotated sets, piece bitboards and present king squares from board.
void RebuildBitboards(Position& p) {
  p.occupied[0] = p.occupied[1] = EmptyBB;
  p.occupiedAll = p.occupiedRot90 = p.occupiedDiagA = p.occupiedDiagB = EmptyBB;
  p.kingBB[0] = p.kingBB[1] = EmptyBB;
  for (auto& side : p.pieceBB)
    for (auto& bb : side) bb = EmptyBB;
  for (Square s = 0; s < SquareCount; ++s) {
    int c = p.board[s];
    if (c == Empty) continue;
    int si = c & 1;
    SetSquare(p.occupied[si], s);
    SetSquare(p.occupiedAll, s);
    SetSquare(p.occupiedRot90, Rot90Index[s]);
    SetSquare(p.occupiedDiagA, DiagIndexA[s]);
    SetSquare(p.occupiedDiagB, DiagIndexB[s]);
    SetSquare(PieceBitboard(p, c), s);
    if ((c & ~1) == BKing) p.kingSquare[si] = (uint32_t)s;
  }
}

void ClearBoard(Position& p) {
  std::memset(p.board, Empty, sizeof p.board);
  p.hand[0] = p.hand[1] = 0;
  p.kingSquare[0] = p.kingSquare[1] = NoSquare;
}

void FinishSetup(Position& p, int /*sideToMove*/) {
  RebuildBitboards(p);
  p.keyBoard = ComputeKeyBoard(p);
  p.keyFull = ComputeKeyFull(p);
  p.material = ComputeMaterial(p);
  p.history[p.historyCount].keyBoard = p.keyBoard;
  p.history[p.historyCount].hand = p.hand[0];
}

void ClearGameHistory(Position& p) {
  std::memset(p.history, 0, sizeof p.history);
}

void CompactHistory(Position& p) {
  if (p.historyCount + 1 + HistoryReserve < (uint32_t)HistorySize) return;
  const uint32_t first = p.historyCount + 1 - HistoryKeep;
  std::memmove(p.history, p.history + first, sizeof(HistoryEntry) * HistoryKeep);
  p.historyCount = HistoryKeep - 1;
}

// Lays out the initial array, then derives everything else from it.
void SetStartPosition(Position& p) {
  static const uint8_t rankA[9] = {3, 5, 7, 9, 15, 9, 7, 5, 3};
  static const uint8_t rankI[9] = {2, 4, 6, 8, 14, 8, 6, 4, 2};
  ClearBoard(p);
  for (int col = 0; col < 9; ++col) {
    p.board[MakeSquare(0, col)] = rankA[col];
    p.board[MakeSquare(2, col)] = WPawn;
    p.board[MakeSquare(6, col)] = BPawn;
    p.board[MakeSquare(8, col)] = rankI[col];
  }
  p.board[MakeSquare(1, 1)] = WRook;
  p.board[MakeSquare(1, 7)] = WBishop;
  p.board[MakeSquare(7, 1)] = BBishop;
  p.board[MakeSquare(7, 7)] = BRook;
  p.historyCount = 0;
  FinishSetup(p, Black);
}

// Black's material minus White's, board pieces and hands, kings left out.
int ComputeMaterial(const Position& p) {
  int m = 0;
  for (Square s = 0; s < SquareCount; ++s) {
    int c = p.board[s];
    if (c == Empty || (c & ~1) == BKing) continue;
    m += IsWhitePiece(c) ? -PieceValue[c] : PieceValue[c];
  }
  for (int kind = 0; kind < HandKindCount; ++kind) {
    m += HandKindCountOf(p.hand[0], kind) * PieceValue[2 * kind];
    m -= HandKindCountOf(p.hand[1], kind) * PieceValue[2 * kind];
  }
  return m;
}

bool PositionIsConsistent(const Position& p, bool checkKeys, bool checkMaterial, std::string* why) {
  auto fail = [why](const char* msg) {
    if (why) *why = msg;
    return false;
  };
  Position r;
  std::memcpy(r.board, p.board, sizeof r.board);
  r.kingSquare[0] = r.kingSquare[1] = NoSquare;
  RebuildBitboards(r);
  for (Square s = 0; s < SquareCount; ++s) {
    int c = p.board[s];
    if (c != Empty && (c < 0 || c >= 30 || c == 24 || c == 25)) return fail("bad piece code on board");
  }
  if (r.occupied[0] != p.occupied[0] || r.occupied[1] != p.occupied[1]) return fail("occupied");
  if (r.occupiedAll != p.occupiedAll) return fail("occupiedAll");
  if (r.occupiedRot90 != p.occupiedRot90) return fail("occupiedRot90");
  if (r.occupiedDiagA != p.occupiedDiagA) return fail("occupiedDiagA");
  if (r.occupiedDiagB != p.occupiedDiagB) return fail("occupiedDiagB");
  if (r.kingBB[0] != p.kingBB[0] || r.kingBB[1] != p.kingBB[1]) return fail("kingBB");
  for (int si = 0; si < 2; ++si)
    for (int k = 0; k < 13; ++k)
      if (r.pieceBB[si][k] != p.pieceBB[si][k]) return fail("pieceBB");
  for (int si = 0; si < 2; ++si) {
    bool present = IsNonEmpty(p.kingBB[si]);
    if (present ? r.kingSquare[si] != p.kingSquare[si] : p.kingSquare[si] != NoSquare)
      return fail("kingSquare");
    for (int kind = 0; kind < HandKindCount; ++kind)
      if (HandKindCountOf(p.hand[si], kind) > HandMax[kind]) return fail("hand count");
    if (p.hand[si] & ~0x1FFFFFFu) return fail("hand bits");
  }
  if (checkKeys && (p.keyBoard != ComputeKeyBoard(p) || p.keyFull != ComputeKeyFull(p)))
    return fail("hash keys");
  if (checkMaterial && p.material != ComputeMaterial(p)) return fail("material");
  return true;
}

}  // namespace kestrel
