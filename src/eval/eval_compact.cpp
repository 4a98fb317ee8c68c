// Reading, writing and expanding the compact weight file.
#include "eval/eval_compact.h"

#include <cstdio>
#include <cstring>

#include "eval/evaluate.h"

namespace kestrel {

const char CompactMagic[8] = {'K', 'S', 'T', 'R', 'L', 'C', 'W', '1'};

namespace {

void PutU32(unsigned char* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = (unsigned char)(v >> (8 * i));
}
void PutU64(unsigned char* at, uint64_t v) {
  for (int i = 0; i < 8; ++i) at[i] = (unsigned char)(v >> (8 * i));
}
uint32_t GetU32(const unsigned char* at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | at[i];
  return v;
}
uint64_t GetU64(const unsigned char* at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | at[i];
  return v;
}

int16_t Saturate16(int v) { return (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v); }

}  // namespace

CompactWeights ZeroCompactWeights() {
  CompactWeights w;
  w.pair.assign(KppPairCount, 0);
  w.kingPiece.assign(CompactKingPieceCount, 0);
  w.kkp.assign(KkpElementCount, 0);
  return w;
}

uint64_t Fnv1a64(const void* data, size_t length, uint64_t hash) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < length; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  return hash;
}

bool WriteCompactWeights(const std::string& path, const CompactWeights& w, std::string* err) {
  if ((int64_t)w.pair.size() != KppPairCount || (int64_t)w.kingPiece.size() != CompactKingPieceCount ||
      (!w.kkp.empty() && (int64_t)w.kkp.size() != KkpElementCount)) {
    *err = "compact weights have the wrong block sizes";
    return false;
  }
  uint64_t sum = FnvOffsetBasis;
  sum = Fnv1a64(w.pair.data(), w.pair.size() * 2, sum);
  sum = Fnv1a64(w.kingPiece.data(), w.kingPiece.size() * 2, sum);
  sum = Fnv1a64(w.kkp.data(), w.kkp.size() * 2, sum);
  unsigned char header[CompactHeaderSize] = {};
  std::memcpy(header, CompactMagic, 8);
  PutU32(header + 8, CompactFormatVersion);
  PutU32(header + 12, (uint32_t)w.pair.size());
  PutU32(header + 16, (uint32_t)w.kingPiece.size());
  PutU32(header + 20, (uint32_t)w.kkp.size());
  PutU64(header + 24, sum);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *err = "cannot create " + path;
    return false;
  }
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
            std::fwrite(w.pair.data(), 2, w.pair.size(), f) == w.pair.size() &&
            std::fwrite(w.kingPiece.data(), 2, w.kingPiece.size(), f) == w.kingPiece.size() &&
            std::fwrite(w.kkp.data(), 2, w.kkp.size(), f) == w.kkp.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) *err = "cannot write " + path;
  return ok;
}

bool ReadCompactWeights(const std::string& path, CompactWeights* w, std::string* err) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *err = path + " not found";
    return false;
  }
  // 1. Header: magic, version and the block sizes this build knows.
  unsigned char header[CompactHeaderSize];
  if (std::fread(header, 1, sizeof header, f) != sizeof header) {
    std::fclose(f);
    *err = path + " is shorter than its header";
    return false;
  }
  const uint32_t version = GetU32(header + 8), pairs = GetU32(header + 12), kingPieces = GetU32(header + 16),
                 kkps = GetU32(header + 20);
  const uint64_t expectedSum = GetU64(header + 24);
  const char* why = nullptr;
  if (std::memcmp(header, CompactMagic, 8) != 0) why = "is not a compact weight file";
  else if (version != CompactFormatVersion) why = "has an unknown format version";
  else if (pairs != (uint32_t)KppPairCount || kingPieces != (uint32_t)CompactKingPieceCount ||
           (kkps != 0 && kkps != (uint32_t)KkpElementCount))
    why = "has table sizes this engine does not use";
  if (why) {
    std::fclose(f);
    *err = path + " " + why;
    return false;
  }
  // 2. The blocks, exactly as long as the header says, then the checksum.
  w->pair.resize(pairs);
  w->kingPiece.resize(kingPieces);
  w->kkp.resize(kkps);
  bool ok = std::fread(w->pair.data(), 2, pairs, f) == pairs &&
            std::fread(w->kingPiece.data(), 2, kingPieces, f) == kingPieces &&
            std::fread(w->kkp.data(), 2, kkps, f) == kkps;
  const bool trailing = ok && std::fgetc(f) != EOF;
  std::fclose(f);
  if (!ok || trailing) {
    *err = path + (ok ? " is longer than its tables" : " is shorter than its tables");
    return false;
  }
  uint64_t sum = FnvOffsetBasis;
  sum = Fnv1a64(w->pair.data(), w->pair.size() * 2, sum);
  sum = Fnv1a64(w->kingPiece.data(), w->kingPiece.size() * 2, sum);
  sum = Fnv1a64(w->kkp.data(), w->kkp.size() * 2, sum);
  if (sum != expectedSum) {
    *err = path + " fails its checksum (damaged)";
    return false;
  }
  return true;
}

int ExpandedPairWeight(const CompactWeights& w, int king, int a, int b) {
  const int v = w.pair[PairIndex(a, b)];
  return Saturate16(a == b ? v + w.kingPiece[king * KppFeatureCount + a] : v);
}

bool ExpandCompactWeights(const CompactWeights& w, EvalWeights& into) {
  if (!into.Allocate()) return false;
  for (int k = 0; k < SquareCount; ++k) {
    int16_t* row = into.KppRow(k);
    std::memcpy(row, w.pair.data(), sizeof(int16_t) * KppPairCount);
    const int16_t* kp = w.kingPiece.data() + k * KppFeatureCount;
    for (int a = 0; a < KppFeatureCount; ++a) {
      const int d = PairIndex(a, a);
      row[d] = Saturate16(row[d] + kp[a]);
    }
  }
  if (!w.kkp.empty()) std::memcpy(into.KkpRow(0, 0), w.kkp.data(), sizeof(int16_t) * KkpElementCount);
  into.origin = WeightsCompact;
  return true;
}

std::string CompactWeightsPath(const std::string& directory) { return directory + "/Evaluation/eval_compact.bin"; }

int LoadCompactEvalFeatures(const std::string& directory, EvalWeights& weights) {
  CompactWeights w;
  std::string err;
  if (!ReadCompactWeights(CompactWeightsPath(directory), &w, &err)) {
    weights.Release();
    weights.loadNote = "no positional weights (" + err + "): piece values only";
    return -2;
  }
  if (!ExpandCompactWeights(w, weights)) {
    weights.loadNote = "no positional weights (no memory for the expanded tables): piece values only";
    return -2;
  }
  return 1;
}

}  // namespace kestrel
