// Piece values and the material tables derived from them, used by make/unmake,
// exchange evaluation and the search margins.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace kestrel {

// Piece kinds of the fourteen V keys.
enum ValueKind : int {
  VKPawn, VKLance, VKKnight, VKSilver, VKGold, VKBishop, VKRook, VKKing,
  VKTokin, VKProLance, VKProKnight, VKProSilver, VKHorse, VKDragon, ValueKindCount
};

extern int32_t PieceValues[ValueKindCount];
extern int32_t PieceValue[PieceCodeCount];
extern int32_t CaptureGain[PieceCodeCount];
extern int32_t PromotionGain[PieceCodeCount];
// CountValue[code >> 1 for codes 0..29][k] = k * value, for counting material from scratch.
extern int32_t CountValue[16][19];
extern int32_t MaxCaptureGain;

// Fills PieceValue, CaptureGain, PromotionGain, CountValue and MaxCaptureGain from PieceValues.
void DeriveMaterialTables();

// Value kind of a piece code; -1 for codes that stand for no piece.
int ValueKindOf(int code);

}  // namespace kestrel
