// Loaders of the evaluation files: the keyed text of piece values and list tables,
// and the bulk binary weights of the pair tables.
#include "eval/eval_params.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "eval/eval_compact.h"

namespace kestrel {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "eval_features.bin is read straight into the tables: little-endian host needed");

int32_t PositionalTables[PositionalBlockSize];
int32_t MobilityTables[MobilityBlockSize];
int32_t HandTables[HandBlockSize];

namespace {

const ListKeyInfo ListKeys[] = {
    {"PP", PositionalTables + 0, 18, true},    {"PL", PositionalTables + 18, 18, true},
    {"PN", PositionalTables + 36, 18, true},   {"PS", PositionalTables + 54, 18, true},
    {"PG", PositionalTables + 72, 18, true},   {"PB", PositionalTables + 90, 18, true},
    {"PT", PositionalTables + 108, 18, true},  {"Pl", PositionalTables + 126, 18, true},
    {"Pn", PositionalTables + 144, 18, true},  {"PH", PositionalTables + 162, 18, true},
    {"PR", PositionalTables + 180, 36, true},  {"Ps", PositionalTables + 216, 36, true},
    {"PD", PositionalTables + 252, 54, true},
    {"MB", MobilityTables + 0, 17, false},     {"MH", MobilityTables + 17, 17, false},
    {"ML", MobilityTables + 34, 9, false},     {"MRV", MobilityTables + 43, 9, false},
    {"MRH", MobilityTables + 52, 9, false},    {"MDV", MobilityTables + 61, 9, false},
    {"MDH", MobilityTables + 70, 9, false},
    {"HP", HandTables + 0, 19, false},         {"HL", HandTables + 19, 5, false},
    {"HN", HandTables + 24, 5, false},         {"HS", HandTables + 29, 5, false},
    {"HG", HandTables + 34, 5, false},         {"HB", HandTables + 39, 3, false},
    {"HR", HandTables + 42, 3, false},
};
static_assert(252 + 54 == PositionalBlockSize && 70 + 9 == MobilityBlockSize && 42 + 3 == HandBlockSize,
              "list tables fill their blocks exactly");

// Value kind of the letter after "V"; -1 when it names no piece.
int ValueKindOfLetter(char c) {
  switch (c) {
    case 'K': return VKKing;      case 'D': return VKDragon;    case 'R': return VKRook;
    case 'H': return VKHorse;     case 'B': return VKBishop;    case 'G': return VKGold;
    case 's': return VKProSilver; case 'S': return VKSilver;    case 'n': return VKProKnight;
    case 'N': return VKKnight;    case 'l': return VKProLance;  case 'L': return VKLance;
    case 'T': return VKTokin;     case 'P': return VKPawn;
    default: return -1;
  }
}

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// A cursor over the file text; Peek gives -1 at the end.
struct TextCursor {
  const char* text;
  int64_t length;
  int64_t at;
  int Peek() const { return at < length ? (unsigned char)text[at] : -1; }
  int PeekAt(int k) const { return at + k < length ? (unsigned char)text[at + k] : -1; }
  bool AtEnd() const { return at >= length; }
  void SkipSpace() { while (!AtEnd() && IsSpace(Peek())) ++at; }
  // Skips everything up to and including the next "=".
  void SkipPastEquals() {
    while (!AtEnd() && Peek() != '=') ++at;
    if (!AtEnd()) ++at;
  }
  // Reads decimal digits (none gives 0); the value saturates instead of overflowing.
  int64_t ReadDigits() {
    int64_t v = 0;
    while (!AtEnd() && IsDigit(Peek())) {
      if (v < INT32_MAX) v = v * 10 + (Peek() - '0');
      ++at;
    }
    return v > INT32_MAX ? INT32_MAX : v;
  }
};

// A V key: the unsigned number after "=", then the closing character.
void ReadValueEntry(TextCursor& t, int kind) {
  t.SkipPastEquals();
  t.SkipSpace();
  PieceValues[kind] = (int32_t)t.ReadDigits();
  if (!t.AtEnd()) ++t.at;
}

// A list key: signed numbers up to ";", stored while the table has room for them.
void ReadListEntry(TextCursor& t, const ListKeyInfo& key) {
  t.SkipPastEquals();
  t.SkipSpace();
  int k = 0;
  while (!t.AtEnd()) {
    const int c = t.Peek();
    if (c == ';') {
      ++t.at;
      return;
    }
    if (c != '-' && !IsDigit(c)) {
      ++t.at;  // a stray character inside a list is passed over
      continue;
    }
    bool negative = false;
    if (c == '-') {
      negative = true;
      ++t.at;
    }
    const int32_t v = (int32_t)(negative ? -t.ReadDigits() : t.ReadDigits());
    if (k < key.room) key.table[k] = v;
    if (key.positional && k + 9 < key.room) key.table[k + 9] = v;
    ++k;
    t.SkipSpace();
  }
}

// The list key starting at the cursor, with its name length; nullptr when none does.
const ListKeyInfo* MatchListKey(const TextCursor& t, int* nameLength) {
  char name[4] = {(char)t.Peek(), (char)t.PeekAt(1), 0, 0};
  if (name[0] == 'M' && (name[1] == 'R' || name[1] == 'D')) {
    name[2] = (char)t.PeekAt(2);
    *nameLength = 3;
  } else {
    *nameLength = 2;
  }
  return FindListKey(name);
}

}  // namespace

const ListKeyInfo* FindListKey(const char* name) {
  for (const ListKeyInfo& k : ListKeys)
    if (std::strcmp(k.name, name) == 0) return &k;
  return nullptr;
}

void ParseEvaluationText(const char* text, int64_t length) {
  TextCursor t{text, length, 0};
  // 1. Opening the file clears the positional block; other tables keep their values.
  std::memset(PositionalTables, 0, sizeof PositionalTables);
  // 2. Entries: a key's first letters, then its value or list; unknown characters are skipped.
  t.SkipSpace();
  while (!t.AtEnd()) {
    const int c = t.Peek();
    int nameLength = 0;
    const ListKeyInfo* list = nullptr;
    if (c == 'V' && ValueKindOfLetter((char)t.PeekAt(1)) >= 0) {
      const int kind = ValueKindOfLetter((char)t.PeekAt(1));
      t.at += 2;
      ReadValueEntry(t, kind);
    } else if ((c == 'P' || c == 'H' || c == 'M') && (list = MatchListKey(t, &nameLength)) != nullptr) {
      t.at += nameLength;
      ReadListEntry(t, *list);
    } else {
      ++t.at;
    }
    t.SkipSpace();
  }
}

int LoadEvaluationText(const std::string& directory) {
  const std::string path = directory + "/Evaluation/evaluation.txt";
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  ParseEvaluationText(text.data(), (int64_t)text.size());
  return 1;
}

int LoadEvalFeatures(const std::string& directory, EvalWeights& weights) {
  const std::string path = directory + "/Evaluation/eval_features.bin";
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -2;
  // 1. A file shorter than the two tables is rejected before anything is read.
  if (std::fseek(f, 0, SEEK_END) != 0 || std::ftell(f) < EvalFeaturesFileSize || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return -2;
  }
  // 2. Two bulk reads straight into fresh tables; a failure part-way leaves none.
  const bool ok = weights.Allocate() &&
                  std::fread(weights.KppRow(0), sizeof(int16_t), KppElementCount, f) == (size_t)KppElementCount &&
                  std::fseek(f, KkpFileOffset, SEEK_SET) == 0 &&
                  std::fread(weights.KkpRow(0, 0), sizeof(int16_t), KkpElementCount, f) == (size_t)KkpElementCount;
  const int closed = std::fclose(f);
  if (!ok) {
    weights.Release();
    return -2;
  }
  weights.origin = WeightsFull;
  return closed < 0 ? closed : 1;
}

int LoadEvaluationFiles(const std::string& directory, EvalWeights& weights) {
  weights.Release();
  weights.loadNote.clear();
  const int opened = LoadEvaluationText(directory);
  if (opened == 1) {
    DeriveMaterialTables();
    // A full weight file, when there is one, wins over the compact one.
    const std::string full = directory + "/Evaluation/eval_features.bin";
    FILE* f = std::fopen(full.c_str(), "rb");
    if (f) {
      std::fclose(f);
      if (LoadEvalFeatures(directory, weights) != 1) weights.Release();
    } else {
      LoadCompactEvalFeatures(directory, weights);
    }
  }
  return opened;
}

}  // namespace kestrel
