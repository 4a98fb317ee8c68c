// Book table storage, the book file reader and the chained probe.
#include "book/book.h"

#include <cctype>
#include <cstdio>
#include <new>

#include "board/clock.h"

namespace kestrel {

Book::Book() : rng_(std::random_device{}() ^ (uint64_t)NowMs()) {}

bool Book::Allocate() {
  if (!table_) {
    table_.reset(new (std::nothrow) BookRecord[BookSlotCount]);
    if (!table_) return false;
  }
  Clear();
  return true;
}

void Book::Clear() {
  if (!table_) return;
  const BookRecord cleared{0, 0, 0, 0, 0, 0, 0, 1};
  for (uint32_t i = 0; i < BookSlotCount; ++i) table_[i] = cleared;
}

namespace {

// Reads one "$"-terminated decimal field whose first character c has already been
// read. Every character is taken as a digit (the file is trusted to hold digits);
// arithmetic wraps in the width of T. False when the file ends inside the field.
template <typename T>
bool ReadField(std::FILE* f, int c, T* value) {
  T v = (T)(c - '0');
  for (;;) {
    c = std::getc(f);
    if (c == EOF) return false;
    if (c == '$') break;
    v = (T)(v * 10u + (T)(c - '0'));
  }
  *value = v;
  return true;
}

// Returns the next character that is not white space (or EOF).
int SkipSpace(std::FILE* f) {
  int c = std::getc(f);
  while (c != EOF && std::isspace(c)) c = std::getc(f);
  return c;
}

// Percentage of games won by the side the record is scored for (unsigned arithmetic).
uint32_t RecordPercent(uint32_t games, uint32_t wins, uint8_t sideFlag) {
  if (games == 0) return 0;
  return sideFlag ? (games - wins) * 100u / games : wins * 100u / games;
}

}  // namespace

// Reads records until the end of the file or until a full table's worth was read.
// A record whose slot lies outside the table is skipped, and a record cut off by
// the end of the file is dropped, so no value from the file indexes past the table.
BookLoadStats Book::LoadFile(const std::string& path) {
  BookLoadStats stats;
  if (!table_) return stats;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return stats;
  stats.opened = true;
  uint32_t recordsRead = 0;
  int c = SkipSpace(f);
  while (c != EOF && recordsRead < BookSlotCount) {
    // 1. The eight fields: slot, key, hand, games, wins, side, rating, next.
    uint32_t slot = 0, hand = 0, games = 0, wins = 0, side = 0, rating = 0, next = 0;
    uint64_t key = 0;
    bool complete = ReadField(f, c, &slot);
    uint32_t* rest[6] = {&hand, &games, &wins, &side, &rating, &next};
    if (complete) {
      c = std::getc(f);
      complete = c != EOF && ReadField(f, c, &key);
    }
    for (int i = 0; complete && i < 6; ++i) {
      c = std::getc(f);
      complete = c != EOF && ReadField(f, c, rest[i]);
    }
    if (!complete) {
      stats.truncated = true;
      break;
    }
    ++recordsRead;
    // 2. Store it at its slot, unless the slot lies outside the table.
    if (slot < BookSlotCount) {
      BookRecord& r = table_[slot];
      r.key = key;
      r.handBlack = hand;
      r.games = games;
      r.wins = wins;
      r.sideFlag = side == 1 ? 1 : 0;
      r.percent = RecordPercent(games, wins, r.sideFlag);
      r.rating = rating;
      r.next = next;
      ++stats.stored;
    } else {
      ++stats.skipped;
    }
    // 3. Skip the one character after the last "$" (the line end), then white space.
    if (std::getc(f) == EOF) break;
    c = SkipSpace(f);
  }
  std::fclose(f);
  return stats;
}

BookLoadStats Book::Load(const std::string& directory) {
  if (!table_) return BookLoadStats{};
  return LoadFile(directory + "/Book/book.db");
}

uint32_t BookHomeSlot(const Position& pos, int side) {
  uint32_t low = (uint32_t)pos.keyFull;
  if (side == White) low = ~low;
  return low & BookSlotMask;
}

// Walks the chain from the home slot until a record matches or slot 0 is reached
// (slot 0 is tested last and never passed). A link outside the table ends the
// walk, and so does a chain longer than MaxBookChainSteps, so a looping chain ends.
bool Book::Probe(const Position& pos, int side, BookRecord* out) const {
  if (!table_) return false;
  uint32_t i = BookHomeSlot(pos, side);
  for (int step = 0; step < MaxBookChainSteps; ++step) {
    const BookRecord& r = table_[i];
    if (r.key == pos.keyBoard && r.handBlack == pos.hand[SideIndex(Black)]) break;
    if (i == 0 || r.next >= BookSlotCount) break;
    i = r.next;
  }
  const BookRecord& r = table_[i];
  if (r.key != pos.keyBoard || r.handBlack != pos.hand[SideIndex(Black)]) return false;
  if (out) *out = r;
  return true;
}

}  // namespace kestrel
