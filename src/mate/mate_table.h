// The mate solver's table: an array of proof and disproof numbers in buckets of a few
// entries, placed by the board alone so that the hands met with one board sit side by
// side.
#pragma once

#include <cstdint>

#include "board/position.h"

namespace kestrel {

constexpr uint32_t MateInfinity = 65535;
// Length read for a position the table does not hold.
constexpr uint32_t MateLengthUnknown = ScoreNone;

struct MateEntry {
  HashKey keyBoard;    // the position's board key
  uint32_t handBlack;  // Black's hand word
  uint32_t length;     // plies to mate when proven, else 65535 (or a path tag)
  uint16_t phi, delta; // for the side to move at the entry's position
  uint32_t work;       // the solve's generation (top 8 bits) and the moves searched below
                       // the position (24 bits, saturating): what a store keeps
};
static_assert(sizeof(MateEntry) == 24, "a mate table entry is six 32-bit words");
// Entries per bucket: a store replaces the entry of the same position, else the one
// with the least work.
constexpr uint64_t MateBucketSize = 4;

// The length word of a disproof that holds only on part of the solver's search: the
// path bit, the depth bit when a ply or move-stack limit went into it, the single bit
// when it rests on one path node alone, and the serial of the deepest path node that
// must still be on the path for the result to be trusted.
constexpr uint32_t MatePathTag = 0x80000000u;
constexpr uint32_t MateDepthTag = 0x40000000u;
constexpr uint32_t MateSingleTag = 0x20000000u;
constexpr uint32_t MateSerialMask = 0x1FFFFFFFu;

// The table itself, owned by its mate solver. It keeps its entries from the end of one
// solve to the start of the next so that a proved mate can be played out later.
class MateTable {
 public:
  MateTable() = default;
  MateTable(const MateTable&) = delete;
  MateTable& operator=(const MateTable&) = delete;
  ~MateTable();

  // Replaces the table with 2^m entries, m the largest with 24 * 2^m <= bytes / 4
  // (m = 0 for tiny sizes), and clears it. Returns false, keeping the previous table,
  // when the memory cannot be had.
  bool Allocate(uint64_t bytes);
  // "go mate" may lend the table larger memory for one solve, since the search's table
  // lies idle meanwhile: the mate table then lives in the `bytes` at `mem` (cleared) until
  // ReturnMemory goes back to its own memory, cleared. Returns false, changing nothing,
  // when the memory would not hold more entries than the table's own.
  bool Borrow(void* mem, uint64_t bytes);
  void ReturnMemory();
  // Empties the table for a new solve: entries of earlier generations read as absent; the
  // memory is rewritten only once every 255 calls.
  void Clear();
  // True once a table exists; its entry count.
  bool Ready() const { return table_ != nullptr; }
  uint64_t Entries() const { return table_ ? tableMask_ + 1 : 0; }

  // Looks up the position with `side` to move. Found on an exact match of board key and
  // Black's hand (*work then tells its stored work), unless that entry is still open and
  // a result stored for the same board with another hand decides the position: a mate
  // found with the attacker holding no more of any kind than now, or a refutation that
  // holds on any path found with the attacker holding at least as much of every kind. A
  // miss reads as phi 1, delta 1, length 31111 and work 0.
  bool Probe(const Position& p, int side, uint32_t* phi, uint32_t* delta, uint32_t* length,
             uint32_t* work = nullptr) const;
  // The same look-up for the position given by its board key and Black hand.
  bool Probe(HashKey keyBoard, uint32_t handBlack, int side, uint32_t* phi, uint32_t* delta, uint32_t* length,
             uint32_t* work = nullptr) const;
  // Starts loading the bucket of the position with this board key into the cache.
  void Prefetch(HashKey keyBoard, int side) const;
  // Stores the position's result: over its own entry when the bucket holds one, else
  // over the entry with the least work.
  void Store(const Position& p, int side, uint32_t phi, uint32_t delta, uint32_t length, uint32_t work = 1);

  // The attacker of the current (or last) solve, consulted by the probe's hand rules.
  int attacker = Black;

 private:
  MateEntry* BucketOf(HashKey keyBoard, int side) const;
  bool Live(const MateEntry& e) const;
  uint32_t WorkOf(const MateEntry& e) const;
  bool Carries(const MateEntry& e, uint32_t hand, bool attackerToMove) const;
  void Wipe();
  void UseMemory(MateEntry* mem, uint64_t count);

  MateEntry* table_ = nullptr;
  uint64_t tableMask_ = 0;
  uint64_t bucketMask_ = 0;  // tableMask_ without the bits that pick an entry in a bucket
  uint64_t bucketWays_ = 1;  // entries per bucket: MateBucketSize, fewer in a tiny table
  // Entries live only in the generation they were stored in; generation 0 is never live,
  // so the empty entry is absent in every generation.
  uint32_t generation_ = 1;
  // The table's own memory and sizes while it lives in borrowed memory (null otherwise).
  struct OwnTable {
    MateEntry* table = nullptr;
    uint64_t tableMask = 0, bucketMask = 0, bucketWays = 1;
  } own_;
};

// True when hand word `big` holds at least as many pieces of every kind as `small`.
inline bool HandContains(uint32_t big, uint32_t small) {
  return big >= small && (small & 0xFFFFF & ~big) == 0;
}

}  // namespace kestrel
