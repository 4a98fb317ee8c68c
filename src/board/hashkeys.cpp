// Bit-exact drawing of the hash keys; the book file stores keys made from them.
#include "board/hashkeys.h"

#include "board/position.h"

namespace kestrel {

HashKey ZobristPiece[30][SquareCount];
HashKey ZobristHand[HandKindCount][19];

namespace {

bool keysReady = false;

// Additive lagged Fibonacci generator with lags 24 and 55, modulo 2^32.
struct LaggedFibonacci {
  uint32_t y[55];
  int j = 23, k = 54;
  LaggedFibonacci() {
    static const uint32_t seed[55] = {
        0x5414D5F4, 0xB3935330, 0xD0773E27, 0xAC62A182, 0x5DB20C92, 0xC1E618AC, 0xD003926A,
        0x171FA3B3, 0x9AD12101, 0x762172C1, 0xBC5D9DC3, 0x07B72A70, 0x6E5AC890, 0xF7BE54D1,
        0x0D6332FA, 0x56BA8FBE, 0xEBA585EC, 0x571421C5, 0x96B3C079, 0x12EB9B92, 0xC07C0978,
        0x0700C5BD, 0x31A43513, 0x74EBA4AA, 0x4EC55DB5, 0x2C91C2E9, 0x208771F6, 0x304EE204,
        0x1E004673, 0xF3AC22F9, 0xA8561FEB, 0xDED13435, 0xD03E7513, 0xDAE66BC2, 0x01C20BE1,
        0x46638997, 0xFB26CE62, 0x01F87FC3, 0xC0016099, 0x44429270, 0xB04F4481, 0xF31B8AD7,
        0x86DD7A46, 0x03E72091, 0x96A22589, 0x74DCB7D4, 0x12D0FC03, 0x474A16E8, 0x2FF5717C,
        0x54BDED92, 0x783A9487, 0xE767978C, 0x3052D5CD, 0x16ECA191, 0x8EAF6D15};
    for (int i = 0; i < 55; ++i) y[i] = seed[i];
  }
  uint32_t Next() {
    y[k] += y[j];
    uint32_t r = y[k];
    j = j == 0 ? 54 : j - 1;
    k = k == 0 ? 54 : k - 1;
    return r;
  }
  // A key is two draws: low word first.
  HashKey NextKey() {
    uint64_t lo = Next();
    uint64_t hi = Next();
    return lo | (hi << 32);
  }
};

// Hand kind indices (pawn 0, lance 1, knight 2, silver 3, gold 4, bishop 5, rook 6).
constexpr int KPawn = 0, KLance = 1, KKnight = 2, KSilver = 3, KGold = 4, KBishop = 5, KRook = 6;

}  // namespace

// Draws Z square by square in the fixed piece order, then the hand keys.
void InitHashKeys() {
  if (keysReady) return;
  static const int order[28] = {14, 15, 28, 29, 12, 13, 26, 27, 10, 11, 8, 9, 22, 23,
                                6,  7,  20, 21, 4,  5,  18, 19, 2,  3,  16, 17, 0, 1};
  LaggedFibonacci g;
  for (Square s = 0; s < SquareCount; ++s)
    for (int c : order) ZobristPiece[c][s] = g.NextKey();
  for (int n = 0; n <= 2; ++n) {
    ZobristHand[KRook][n] = g.NextKey();
    ZobristHand[KBishop][n] = g.NextKey();
  }
  for (int n = 0; n <= 4; ++n) {
    ZobristHand[KGold][n] = g.NextKey();
    ZobristHand[KSilver][n] = g.NextKey();
    ZobristHand[KKnight][n] = g.NextKey();
    ZobristHand[KLance][n] = g.NextKey();
  }
  for (int n = 0; n <= 18; ++n) ZobristHand[KPawn][n] = g.NextKey();
  keysReady = true;
}

bool HashKeysReady() { return keysReady; }

// XOR of the piece keys of every occupied square.
HashKey ComputeKeyBoard(const Position& pos) {
  HashKey k = 0;
  for (Square s = 0; s < SquareCount; ++s) {
    int c = pos.board[s];
    if (c >= 0 && c < 30 && c != 24 && c != 25) k ^= ZobristPiece[c][s];
  }
  return k;
}

// The board key with the seven hand-count terms of Black's hand.
HashKey ComputeKeyFull(const Position& pos) {
  HashKey k = ComputeKeyBoard(pos);
  for (int kind = 0; kind < HandKindCount; ++kind) {
    int n = HandKindCountOf(pos.hand[0], kind);
    if (n > HandMax[kind]) n = HandMax[kind];
    k ^= ZobristHand[kind][n];
  }
  return k;
}

}  // namespace kestrel
