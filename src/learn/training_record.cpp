// Packing positions and moves into training records, and the shard files.
#include "learn/training_record.h"

#include <cstring>
#include <memory>

#include "movegen/legal.h"
#include "movegen/movegen.h"

namespace kestrel {

namespace {

const char ShardMagic[8] = {'K', 'S', 'T', 'R', 'L', 'T', 'R', '1'};

// File kind (1..14) of each engine kind (piece code >> 1); 0 for none.
constexpr int FileKindOf[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 13, 14, 0};
// Engine piece code (Black's) of each file kind 1..14.
constexpr int CodeOfFileKind[15] = {Empty, BPawn, BLance, BKnight, BSilver, BGold, BBishop, BRook,
                                    BKing, BTokin, BProLance, BProKnight, BProSilver, BHorse, BDragon};
// Bits of each hand kind's count (pawn .. rook).
constexpr int HandBits[HandKindCount] = {5, 3, 3, 3, 3, 2, 2};
// Pieces of each unpromoted kind in a game (pawn .. rook).
constexpr int PieceTotal[HandKindCount] = {18, 4, 4, 4, 4, 2, 2};

struct BitWriter {
  uint8_t* out;
  int at = 0;
  void Put(uint32_t v, int bits) {
    for (int i = 0; i < bits; ++i, ++at)
      if (v >> i & 1) out[at >> 3] |= (uint8_t)(1 << (at & 7));
  }
};
struct BitReader {
  const uint8_t* in;
  int at = 0;
  uint32_t Get(int bits) {
    uint32_t v = 0;
    for (int i = 0; i < bits; ++i, ++at) v |= (uint32_t)(in[at >> 3] >> (at & 7) & 1) << i;
    return v;
  }
};

void PutU32(unsigned char* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = (unsigned char)(v >> (8 * i));
}
void PutU64(unsigned char* at, uint64_t v) {
  for (int i = 0; i < 8; ++i) at[i] = (unsigned char)(v >> (8 * i));
}
uint64_t GetU(const unsigned char* at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | at[i];
  return v;
}

}  // namespace

void PackPosition(const Position& p, int side, uint8_t* out) {
  std::memset(out, 0, PackedPositionSize);
  BitWriter w{out};
  for (Square s = 0; s < SquareCount; ++s) {
    const int c = p.board[s];
    w.Put(c == Empty ? 0 : FileKindOf[c >> 1] + (IsWhitePiece(c) ? 14 : 0), 5);
  }
  for (int colour = 0; colour < 2; ++colour)
    for (int kind = 0; kind < HandKindCount; ++kind) w.Put(HandKindCountOf(p.hand[colour], kind), HandBits[kind]);
  w.Put(side == White ? 1 : 0, 1);
}

bool UnpackPosition(const uint8_t* in, Position& p, int* side) {
  BitReader r{in};
  p.historyCount = 0;
  ClearBoard(p);
  int kings[2] = {0, 0};
  int pieces[HandKindCount] = {};  // by unpromoted kind, kings apart
  for (Square s = 0; s < SquareCount; ++s) {
    const uint32_t v = r.Get(5);
    if (v == 0) continue;
    if (v > 28) return false;
    const int white = v > 14 ? 1 : 0;
    const int code = CodeOfFileKind[v - 14 * white] | white;
    p.board[s] = (uint8_t)code;
    if ((code & ~1) == BKing) ++kings[white];
    else ++pieces[(code & 15) >> 1];
  }
  for (int colour = 0; colour < 2; ++colour)
    for (int kind = 0; kind < HandKindCount; ++kind) {
      const int n = (int)r.Get(HandBits[kind]);
      if (n > HandMax[kind]) return false;
      pieces[kind] += n;
      for (int k = 0; k < n; ++k) p.hand[colour] = HandWithAdded(p.hand[colour], kind);
    }
  *side = r.Get(1) ? White : Black;
  if (kings[0] != 1 || kings[1] != 1) return false;
  for (int kind = 0; kind < HandKindCount; ++kind)
    if (pieces[kind] > PieceTotal[kind]) return false;
  std::memset(p.history, 0, sizeof(HistoryEntry));
  FinishSetup(p, *side);
  return true;
}

uint16_t PackMove(Move m) {
  const int from = MoveIsDrop(m) ? SquareCount + ((MovePiece(m) & 15) >> 1) : MoveFrom(m);
  return (uint16_t)(MoveTo(m) | from << 7 | (MovePromotes(m) ? 1 << 14 : 0));
}

Move UnpackMove(Position& p, int side, uint16_t packed) {
  Move list[MaxMoves];
  Move* end = GenerateLegalMoves(p, list, side);
  for (Move* m = list; m < end; ++m)
    if (PackMove(*m) == packed) return *m;
  return NoMove;
}

bool OpenShard(ShardWriter& w, const std::string& path, std::string* err) {
  w.file = std::fopen(path.c_str(), "wb");
  w.written = 0;
  w.pending.clear();
  if (!w.file) {
    *err = "cannot create " + path;
    return false;
  }
  return FlushShard(w);
}

void AppendRecord(ShardWriter& w, const TrainingRecord& r) { w.pending.push_back(r); }

bool FlushShard(ShardWriter& w) {
  if (!w.file) return false;
  unsigned char header[ShardHeaderSize] = {};
  std::memcpy(header, ShardMagic, 8);
  PutU32(header + 8, ShardFormatVersion);
  PutU32(header + 12, TrainingRecordSize);
  // Records first, then the count that covers them.
  bool ok = std::fseek(w.file, ShardHeaderSize + (long)(w.written * TrainingRecordSize), SEEK_SET) == 0 &&
            (w.pending.empty() ||
             std::fwrite(w.pending.data(), TrainingRecordSize, w.pending.size(), w.file) == w.pending.size()) &&
            std::fflush(w.file) == 0;
  if (ok) w.written += w.pending.size();
  w.pending.clear();
  PutU64(header + 16, w.written);
  ok = ok && std::fseek(w.file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, w.file) == sizeof header &&
       std::fflush(w.file) == 0;
  return ok;
}

bool CloseShard(ShardWriter& w) {
  if (!w.file) return false;
  bool ok = FlushShard(w);
  ok = std::fclose(w.file) == 0 && ok;
  w.file = nullptr;
  return ok;
}

bool ReadShard(const std::string& path, std::vector<TrainingRecord>* out, std::string* err) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *err = path + ": cannot open";
    return false;
  }
  unsigned char header[ShardHeaderSize];
  const char* why = nullptr;
  std::vector<TrainingRecord> records;
  if (std::fread(header, 1, sizeof header, f) != sizeof header) {
    why = "shorter than its header";
  } else if (std::memcmp(header, ShardMagic, 8) != 0) {
    why = "not a training shard";
  } else if (GetU(header + 8, 4) != ShardFormatVersion || GetU(header + 12, 4) != TrainingRecordSize) {
    why = "unknown shard format version";
  } else {
    const uint64_t count = GetU(header + 16, 8);
    if (std::fseek(f, 0, SEEK_END) != 0 ||
        (uint64_t)std::ftell(f) < ShardHeaderSize + count * TrainingRecordSize ||
        std::fseek(f, ShardHeaderSize, SEEK_SET) != 0) {
      why = "shorter than its record count";
    } else {
      records.resize(count);
      if (std::fread(records.data(), TrainingRecordSize, count, f) != count) why = "read error";
    }
  }
  std::fclose(f);
  // Every record must hold a position and a result.
  auto scratch = std::make_unique<Position>();
  for (size_t i = 0; !why && i < records.size(); ++i) {
    int side;
    if (!UnpackPosition(records[i].position, *scratch, &side) || records[i].result < -1 || records[i].result > 1) {
      *err = path + ": record " + std::to_string(i) + " is damaged";
      return false;
    }
  }
  if (why) {
    *err = path + ": " + why;
    return false;
  }
  out->insert(out->end(), records.begin(), records.end());
  return true;
}

}  // namespace kestrel
