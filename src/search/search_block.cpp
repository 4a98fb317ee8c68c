// Per-search reset of one search block.
#include "search/search_block.h"

namespace kestrel {

void ResetSearchBlock(SearchBlock& b) {
  for (int p = 0; p < MaxPly + 2; ++p) {
    PlyState& s = b.ply[p];
    s.currentMove = s.hashMove = 0;
    s.inCheck = s.givesCheck = s.mateThreat = 0;
    s.staticEval = ScoreNone;
    s.moveListEnd = s.pickerNext = b.moveStack;
    s.pickerCount = s.pickerStage = 0;
    s.nullMoveMade = s.lateMove = 0;
    s.searchedCount = 0;
    s.accState = AccUnknown;
    s.accMove = 0;
  }
  for (int p = 0; p < MaxPly + 1; ++p) {
    b.pv[p].length = p - 1;
    b.pv[p].flag = 0;
    b.pv[p].depth = 0;
  }
}

}  // namespace kestrel
