// Memory of the positional weight tables.
#include "eval/eval_weights.h"

#include <cstdlib>
#include <cstring>

#include "board/large_pages.h"

namespace kestrel {

void EvalWeights::Free::operator()(int16_t* p) const { std::free(p); }

// The search reads the tables at random places: large pages spare it most page-table
// walks, so both come from the large-table allocator.
bool EvalWeights::Allocate() {
  Release();
  int16_t* kpp = static_cast<int16_t*>(AllocateLargeTable(KppElementCount * 2));
  int16_t* kkp = static_cast<int16_t*>(AllocateLargeTable(KkpElementCount * 2));
  if (!kpp || !kkp) {
    std::free(kpp);
    std::free(kkp);
    return false;
  }
  std::memset(kpp, 0, KppElementCount * 2);
  std::memset(kkp, 0, KkpElementCount * 2);
  kpp_.reset(kpp);
  kkp_.reset(kkp);
  return true;
}

void EvalWeights::Release() {
  kpp_.reset();
  kkp_.reset();
  origin = WeightsNone;
}

const EvalWeights& NoEvalWeights() {
  static const EvalWeights none;
  return none;
}

}  // namespace kestrel
