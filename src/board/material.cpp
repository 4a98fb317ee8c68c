// Derivation of the material tables from the fourteen piece values.
#include "board/material.h"

#include <cstring>

namespace kestrel {

int32_t PieceValues[ValueKindCount];
int32_t PieceValue[PieceCodeCount];
int32_t CaptureGain[PieceCodeCount];
int32_t PromotionGain[PieceCodeCount];
int32_t CountValue[16][19];
int32_t MaxCaptureGain;

// Maps a piece code to its value kind; -1 for codes 24, 25, 30.. and Empty.
int ValueKindOf(int code) {
  static const int byHalf[16] = {VKPawn,  VKLance,    VKKnight,    VKSilver,    VKGold, VKBishop,
                                 VKRook,  VKKing,     VKTokin,     VKProLance,  VKProKnight,
                                 VKProSilver, -1,     VKHorse,     VKDragon,    -1};
  if (code < 0 || code >= 32) return -1;
  return byHalf[code >> 1];
}

void DeriveMaterialTables() {
  std::memset(PieceValue, 0, sizeof PieceValue);
  std::memset(CaptureGain, 0, sizeof CaptureGain);
  std::memset(PromotionGain, 0, sizeof PromotionGain);
  std::memset(CountValue, 0, sizeof CountValue);
  const int32_t* v = PieceValues;
  for (int code = 0; code < 32; ++code) {
    int k = ValueKindOf(code);
    if (k < 0) continue;
    PieceValue[code] = v[k];
    if (k == VKKing) {
      CaptureGain[code] = v[VKKing];
    } else if (code < 16) {
      CaptureGain[code] = 2 * v[k];
    } else {
      int base = ValueKindOf(code & ~16);
      CaptureGain[code] = v[k] + v[base];
    }
    if (CanPromote(code)) PromotionGain[code] = v[ValueKindOf(code | 16)] - v[k];
  }
  for (int half = 0; half < 15; ++half) {
    int k = ValueKindOf(half * 2);
    if (k < 0 || k == VKKing) continue;
    int maxCount = (k == VKPawn || k == VKTokin) ? 18
                   : (k == VKBishop || k == VKHorse || k == VKRook || k == VKDragon) ? 2 : 4;
    for (int n = 0; n <= maxCount; ++n) CountValue[half][n] = n * v[k];
  }
  MaxCaptureGain = v[VKRook] + v[VKDragon];
}

}  // namespace kestrel
