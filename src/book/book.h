// The opening book: a fixed table of 2^20 position records read from the text
// file "Book/book.db" below the start-up directory, and the probe that finds a
// position's record by walking the chain from its home slot.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/position.h"

namespace kestrel {

// One book position. The file names every record's slot and the slot of the next
// record of its chain; `percent` is derived from games and wins at load time.
struct BookRecord {
  uint64_t key;        // keyBoard of the position
  uint32_t handBlack;  // hand[Black] word of the position
  uint32_t games;
  uint32_t wins;       // wins counted from the file's point of view
  uint32_t percent;
  uint32_t rating;
  uint32_t next;       // slot of the next record of the chain; 0 ends it
  uint8_t sideFlag;    // 1 when the file's side field was 1
};
static_assert(sizeof(BookRecord) == 40, "book record layout");

constexpr uint32_t BookSlotCount = 1u << 20;
constexpr uint32_t BookSlotMask = BookSlotCount - 1;
// A chain longer than this is taken to loop: the walk gives up and finds nothing.
constexpr int MaxBookChainSteps = 4096;

// What one load did, for callers that want to know (the engine prints nothing).
struct BookLoadStats {
  bool opened = false;
  uint32_t stored = 0;     // records written into the table
  uint32_t skipped = 0;    // complete records with a slot outside the table
  bool truncated = false;  // the file ended inside a record, which was dropped
};

// One root move whose resulting position is in the book, with that record's figures.
struct BookCandidate {
  Move move;
  uint32_t games;
  uint32_t percent;
  uint8_t sideFlag;
  uint32_t rating;
};

// Home slot of a position with `side` to move: the low word of keyFull, inverted
// for White, masked to the table.
uint32_t BookHomeSlot(const Position& pos, int side);

// One engine's book: the table of BookSlotCount records, the candidate list of the last
// look-up and the random generator of its choices.
class Book {
 public:
  // The generator starts from the clock and the system's random source.
  Book();
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  // Allocates the table once and clears it; false when memory is refused (the book
  // then stays empty and is neither loaded nor probed).
  bool Allocate();
  // Clears every record: all zero except sideFlag 1.
  void Clear();
  // Reads a book file over the table (nothing is cleared first; a later record for a
  // slot replaces an earlier one). A file that cannot be opened changes nothing.
  BookLoadStats LoadFile(const std::string& path);
  // Loads "Book/book.db" below `directory`; called for every "usi".
  BookLoadStats Load(const std::string& directory);
  // Looks the position (with `side` to move) up; on a hit copies the record to *out.
  bool Probe(const Position& pos, int side, BookRecord* out) const;
  // The record at a slot (the table must exist).
  const BookRecord& Slot(uint32_t slot) const { return table_[slot]; }

  // Fills the candidate list: every generated move (board moves, then drops) of `side`
  // whose resulting position is in the book, in generation order. No legality test is
  // made. The position is restored, keys included.
  void CollectCandidates(Position& pos, int side);
  // The candidate list of the last CollectCandidates (or as a test set it).
  std::vector<BookCandidate>& Candidates() { return candidates_; }
  // Most games of any candidate in the list.
  uint32_t MaxCandidateGames() const;
  // Picks a move among the candidates with reliability of at least 75, at random
  // weighted by reliability; a single such candidate is returned without touching the
  // random generator. 0 when none qualifies.
  Move Choose();
  // Restarts the random generator from a fixed seed (tests).
  void Seed(uint64_t seed) { rng_.seed(seed); }

 private:
  std::unique_ptr<BookRecord[]> table_;
  std::vector<BookCandidate> candidates_;
  std::mt19937_64 rng_;
};

}  // namespace kestrel
