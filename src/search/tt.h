// The transposition table: an array of 48-byte buckets shared by all of an
// engine's search threads without locks. Each bucket holds a depth-preferred entry
// and an always-replace pair; every entry is a data word plus a check word
// (key XOR data), so a torn or foreign entry never matches.
#pragma once

#include <cstdint>

#include "board/hashkeys.h"
#include "board/types.h"

namespace kestrel {

struct TTEntry {
  uint64_t data;   // score+65536 | depth<<17 | move<<31 | threat<<58 | type<<59 | age<<61
  uint64_t check;  // key ^ data
};
static_assert(sizeof(TTEntry) == 16, "a table entry is two 64-bit words");

struct TTBucket {
  TTEntry entry[3];  // 0: depth-preferred; 1 and 2: always-replace
};
static_assert(sizeof(TTBucket) == 48, "a bucket is three entries");

// Bound types stored in an entry.
enum BoundType : int { BoundNone = 0, BoundLower = 1, BoundUpper = 2, BoundExact = 3 };

// Probe results.
enum ProbeResult : int {
  ProbeMiss = 0, ProbeLowerCut = 1, ProbeUpperCut = 2, ProbeExactHit = 3, ProbeSkipNull = 4
};

// Data word of a cleared entry (age 7, nothing else); its check word is 0.
constexpr uint64_t ClearedData = 0xE000000000000000ull;
// Scores at or beyond this magnitude are mate scores kept relative to the node.
constexpr int MateStoreThreshold = 29700;

// What a probe found for a position.
struct ProbeOutcome {
  int result;      // a ProbeResult
  Move move;       // the move of the matching entries (0 when none)
  int score;       // on ProbeExactHit: the stored score, read for the probing ply
  int mateThreat;  // 1 when a matching entry carries the mate-threat flag
};

// The table key of a position: keyFull, complemented when White is to move.
inline HashKey TableKey(HashKey keyFull, int side) { return side == Black ? keyFull : ~keyFull; }
// Mate scores are kept relative to the node: converts a score for storing at ply.
int ScoreToTable(int score, int ply);
// Converts a stored score back for reading at ply.
int ScoreFromTable(int stored, int ply);

class MateTable;

// One engine's table, shared by its search threads.
class TranspositionTable {
 public:
  // `mate` is the engine's mate table, sized together with this one.
  explicit TranspositionTable(MateTable& mate) : mate_(mate) {}
  TranspositionTable(const TranspositionTable&) = delete;
  TranspositionTable& operator=(const TranspositionTable&) = delete;
  ~TranspositionTable();

  // Replaces the table with one of the largest power-of-two bucket count that fits in
  // 3/4 of `bytes`, and sizes the mate solver's table with the rest; draws the hash
  // keys on the first call. Returns false, keeping the previous tables, when the memory
  // cannot be had.
  bool Allocate(uint64_t bytes);
  // "go mate" while no search runs: the mate solver borrows this table's memory for the
  // solve (when that holds more than its own), and gives it back after the answer, when
  // this table is cleared, its entries overwritten.
  void LendToMateSolver();
  void TakeBackFromMateSolver();
  // Writes the cleared pattern into every entry (and clears the mate table).
  void Clear();

  // The age stamped on entries: a new search takes the next (1 to 7), a new game 0.
  void NextAge() {
    age_ = (age_ + 1) % 8;
    if (age_ == 0) age_ = 1;
  }
  void ResetAge() { age_ = 0; }
  int Age() const { return age_ & 7; }
  void SetAge(int age) { age_ = age; }

  // Looks up the position of table key `key` for a node at `ply` searched to `depth`
  // (quarter plies) with the window (alpha, beta).
  ProbeOutcome Probe(HashKey key, int ply, Depth depth, int alpha, int beta) const;
  // Stores a result for the position of table key `key`: the bound type, the score
  // found at `ply`, the depth, the move to try first there (0: keep the move an entry of
  // the same position holds) and the mate-threat flag.
  void Store(HashKey key, int type, int ply, Depth depth, int score, Move move, int mateThreat);
  // Puts `move` into the entry of the position of table key `key`, keeping the entry's
  // other fields; a position without an entry gets one that only carries the move.
  // Nothing for move 0.
  void StoreMove(HashKey key, Move move);
  // Starts fetching the bucket of a position into the cache: a hint given when a move is
  // made, so that the child's probe finds it there.
  void Prefetch(HashKey keyFull, int side) const;

  // Inspection (tests and statistics).
  uint64_t BucketCount() const { return bucketCount_; }
  // Per mille of the entries of the table's first buckets (about a thousand entries)
  // written by the current search: the "hashfull" of an "info" line.
  int Hashfull() const;
  int Bits() const { return bits_; }
  const TTBucket* Buckets() const { return table_; }

 private:
  int PairSlot(HashKey key) const { return 1 + (int)((key >> bits_) & 1); }

  MateTable& mate_;
  TTBucket* table_ = nullptr;
  uint64_t bucketCount_ = 0;
  uint64_t mask_ = 0;
  int bits_ = 0;
  int age_ = 0;
  bool lent_ = false;  // the mate solver has this table's memory
};

// Field access of a data word.
inline int EntryScore(uint64_t d) { return (int)(d & 0x1FFFF) - 65536; }
inline int EntryDepth(uint64_t d) { return (int)((d >> 17) & 0x3FFF); }
inline Move EntryMove(uint64_t d) { return (Move)((d >> 31) & 0x7FFFFFF); }
inline int EntryThreat(uint64_t d) { return (int)((d >> 58) & 1); }
inline int EntryType(uint64_t d) { return (int)((d >> 59) & 3); }
inline int EntryAge(uint64_t d) { return (int)((d >> 61) & 7); }

}  // namespace kestrel
