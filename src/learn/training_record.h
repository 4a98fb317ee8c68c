// Training records: a position packed into 56 bytes, the teacher's score and best move,
// the ply and the game's result, 64 bytes in all; and the shard files that hold them.
//
// Shard layout (little-endian): a 32-byte header, then `count` records of 64 bytes.
//   0  8 bytes  magic "KSTRLTR1"
//   8  uint32   format version (1)
//  12  uint32   record size (64)
//  16  uint64   record count
//  24  uint64   reserved, 0
// The writer rewrites the count after every game, so a shard cut off by a killed
// process still reads back every game written before; bytes past the counted records
// are ignored.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/position.h"

namespace kestrel {

constexpr int PackedPositionSize = 56;
constexpr int TrainingRecordSize = 64;
constexpr int ShardHeaderSize = 32;
constexpr uint32_t ShardFormatVersion = 1;

// Board: 81 five-bit codes (0 empty, 1..14 Black's pawn, lance, knight, silver, gold,
// bishop, rook, king, tokin, promoted lance, promoted knight, promoted silver, horse,
// dragon; 15..28 White's). Hands: per side 5 bits of pawns, 3 each of lances, knights,
// silvers and golds, 2 each of bishops and rooks (Black then White). Then 1 bit: White
// to move. 448 bits.
struct TrainingRecord {
  uint8_t position[PackedPositionSize];
  int16_t score;    // the teacher's score from the side to move
  uint16_t move;    // best move: to (7 bits) | from (7 bits, 81 + hand kind for a drop) << 7 | promote << 14
  uint16_t ply;     // plies played in the game before this position
  int8_t result;    // the game's result from the side to move: 1 win, 0 draw, -1 loss
  uint8_t reserved; // 0
};
static_assert(sizeof(TrainingRecord) == TrainingRecordSize, "records are 64 bytes");

// Packs board, hands and side to move.
void PackPosition(const Position& p, int side, uint8_t* out);
// Unpacks into a set-up position (bitboards, keys, material, history entry 0); false when
// the bytes describe no position (unknown codes, not one king a side, too many pieces).
bool UnpackPosition(const uint8_t* in, Position& p, int* side);

// 16-bit form of a move and back (the legal move of the position with that form).
uint16_t PackMove(Move m);
Move UnpackMove(Position& p, int side, uint16_t packed);

// Appends records to a shard, keeping the header's count current.
struct ShardWriter {
  FILE* file = nullptr;
  uint64_t written = 0;
  std::vector<TrainingRecord> pending;
};
bool OpenShard(ShardWriter& w, const std::string& path, std::string* err);
void AppendRecord(ShardWriter& w, const TrainingRecord& r);
// Writes pending records and the new count; false when the disk refuses.
bool FlushShard(ShardWriter& w);
bool CloseShard(ShardWriter& w);

// Reads every record of a shard onto `out`, checking the header and that each record
// holds a real position and result. False with a one-line reason (and `out` unchanged)
// when the file is missing, short, of another format or holds a damaged record.
bool ReadShard(const std::string& path, std::vector<TrainingRecord>* out, std::string* err);

}  // namespace kestrel
