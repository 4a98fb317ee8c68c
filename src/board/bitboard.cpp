// Geometry tables of the bitboard layouts.
#include "board/bitboard.h"

namespace kestrel {

int Rot90Index[SquareCount];
int DiagIndexA[SquareCount];
int DiagIndexB[SquareCount];
int WordOf[SquareCount];
int LineShift[SquareCount];
int DiagLineShift[SquareCount];
uint32_t LineLengthMask[SquareCount];
Bitboard SquareMask[SquareCount];
Bitboard SquareClearMask[SquareCount];
int ColumnOf[SquareCount];
int RowOf[SquareCount];
int DiagonalOf[SquareCount];
int AntiDiagonalOf[SquareCount];
uint8_t HighBitFromTop16[65536];

namespace {

// Order in which the diagonals d = col - row are packed into the three words,
// so that no diagonal crosses a word boundary.
constexpr int DiagOrder[17] = {0, 1, -1, 7, 2, -2, 3, -3, 8, 4, -4, 5, -5, 6, -6, -7, -8};

// Fills DiagIndexA from the packing order; each diagonal takes consecutive
// indices by increasing row. Also records each index's line start and length.
void BuildDiagonalLayout() {
  int next = 0;
  for (int d : DiagOrder) {
    int len = 9 - (d < 0 ? -d : d);
    int first = next;
    for (int row = 0; row < 9; ++row) {
      int col = row + d;
      if (col < 0 || col > 8) continue;
      DiagIndexA[MakeSquare(row, col)] = next++;
    }
    for (int i = first; i < first + len; ++i) {
      int last = first + len - 1;
      DiagLineShift[i] = 26 - (last % 27);
      LineLengthMask[i] = (1u << len) - 1;
    }
  }
  for (int row = 0; row < 9; ++row)
    for (int col = 0; col < 9; ++col)
      DiagIndexB[MakeSquare(row, col)] = DiagIndexA[MakeSquare(row, 8 - col)];
}

}  // namespace

// Builds the per-square masks, the rotated index tables and the bit-scan table.
void InitBitboardTables() {
  for (Square s = 0; s < SquareCount; ++s) {
    int k = s / 27;
    uint32_t bit = 0x4000000u >> (s % 27);
    for (int j = 0; j < 3; ++j) {
      SquareMask[s].w[j] = j == k ? bit : 0;
      SquareClearMask[s].w[j] = j == k ? ~bit : WordMask;
    }
    int row = RowOfSquare(s), col = ColOfSquare(s);
    Rot90Index[s] = 9 * (8 - col) + row;
    WordOf[s] = s / 27;
    LineShift[s] = 18 - 9 * ((s / 9) % 3);
    ColumnOf[s] = col + 1;
    RowOf[s] = row + 1;
    DiagonalOf[s] = 8 + row - col;
    AntiDiagonalOf[s] = row + col;
  }
  BuildDiagonalLayout();
  HighBitFromTop16[0] = 16;
  for (int x = 1; x < 65536; ++x) {
    int n = 0;
    for (int b = 15; b >= 0 && !(x & (1 << b)); --b) ++n;
    HighBitFromTop16[x] = (uint8_t)n;
  }
}

}  // namespace kestrel
