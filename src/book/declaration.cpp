// Declaration-win test.
#include "book/declaration.h"

#include "movegen/attacks.h"

namespace kestrel {

namespace {

// 5 for rook, bishop and their promotions, 1 for every other piece but the king.
int DeclarationPoints(int code) {
  int kind = Demote(code) & ~1;
  return kind == BRook || kind == BBishop ? 5 : 1;
}

}  // namespace

bool CanDeclareWin(int side, const Position& pos) {
  // 1. The king must be on the board and not attacked.
  Square king = (Square)pos.kingSquare[SideIndex(side)];
  if (king == NoSquare || IsSquareAttacked(pos, king, -side)) return false;
  // 2. It must stand in the opponent's camp.
  Square first = side == Black ? 0 : 54;
  Square last = first + 26;
  if (king < first || king > last) return false;
  // 3. Count the side's other pieces in the camp and their points, then the hand.
  int pieces = 0, points = 0;
  for (Square s = first; s <= last; ++s) {
    int code = pos.board[s];
    if (code == Empty || SideOfPiece(code) != side || (code & ~1) == BKing) continue;
    ++pieces;
    points += DeclarationPoints(code);
  }
  Hand hand = pos.hand[SideIndex(side)];
  for (int kind = 0; kind < HandKindCount; ++kind) {
    int weight = kind == 5 || kind == 6 ? 5 : 1;  // bishop and rook count 5
    points += weight * HandKindCountOf(hand, kind);
  }
  // 4. Enough pieces in the camp and enough points.
  int needed = side == Black ? DeclarationPointsBlack : DeclarationPointsWhite;
  return pieces >= DeclarationMinPieces && points >= needed;
}

}  // namespace kestrel
