// Construction of the constant attack tables.
#include "board/attack_tables.h"

#include <cstdlib>

namespace kestrel {

Bitboard KingSteps[SquareCount];
Bitboard GoldSteps[2][SquareCount];
Bitboard SilverSteps[2][SquareCount];
Bitboard KnightSteps[2][SquareCount];
Bitboard PawnStep[2][SquareCount];
Bitboard OrthoKingSteps[SquareCount];
Bitboard DiagKingSteps[SquareCount];
Bitboard RankSlide[SquareCount][128];
Bitboard FileSlide[SquareCount][128];
Bitboard DiagSlide[SquareCount][128];
Bitboard AntiDiagSlide[SquareCount][128];
Bitboard UpLanceSlide[SquareCount][128];
Bitboard DownLanceSlide[SquareCount][128];
Bitboard Rays[8][SquareCount];
Bitboard RankMask[10];
Bitboard FileMask[10];
Bitboard NotRankMask[10];
Bitboard NotFileMask[10];
Bitboard DiagonalMask[17];
Bitboard AntiDiagonalMask[17];
Bitboard NotDiagonalMask[17];
Bitboard NotAntiDiagonalMask[17];
int8_t Direction[SquareCount][SquareCount];
Bitboard Between[SquareCount][SquareCount];
ApproachArea Approach[2][SquareCount];

namespace {

struct Step {
  int dr, dc;
};

// Builds a step table from a list of (row, col) steps; steps off the board are dropped.
void FillSteps(Bitboard* table, const Step* steps, int count) {
  for (Square s = 0; s < SquareCount; ++s) {
    table[s] = EmptyBB;
    int r = RowOfSquare(s), c = ColOfSquare(s);
    for (int i = 0; i < count; ++i) {
      int nr = r + steps[i].dr, nc = c + steps[i].dc;
      if (nr >= 0 && nr < 9 && nc >= 0 && nc < 9) SetSquare(table[s], MakeSquare(nr, nc));
    }
  }
}

// The squares of a line in layout order (increasing layout index).
struct Line {
  Square sq[9];
  int len;
};

// Walks from s along (dr, dc) until the edge or the first square occupied in occ.
void Walk(Bitboard& out, Square s, int dr, int dc, const bool* occ) {
  int r = RowOfSquare(s) + dr, c = ColOfSquare(s) + dc;
  while (r >= 0 && r < 9 && c >= 0 && c < 9) {
    Square t = MakeSquare(r, c);
    SetSquare(out, t);
    if (occ[t]) break;
    r += dr;
    c += dc;
  }
}

// Fills table[s][i] for every square of the line and every i, walking in the given directions.
// Bit (len - 2 - k) of i marks inner square k; bits beyond the line are ignored.
void FillSlides(Bitboard (*table)[128], const Line& line, const Step* dirs, int ndirs) {
  for (int k = 0; k < line.len; ++k) {
    Square s = line.sq[k];
    for (int i = 0; i < 128; ++i) {
      bool occ[SquareCount] = {};
      for (int j = 1; j <= line.len - 2; ++j)
        if (i & (1 << (line.len - 2 - j))) occ[line.sq[j]] = true;
      Bitboard b = EmptyBB;
      for (int d = 0; d < ndirs; ++d) Walk(b, s, dirs[d].dr, dirs[d].dc, occ);
      table[s][i] = b;
    }
  }
}

constexpr int RayDirs[8] = {-10, -9, -8, -1, 1, 8, 9, 10};

int Sign(int x) { return (x > 0) - (x < 0); }

}  // namespace

// Index of a direction step in the Rays table; -1 when it is not one of the eight.
int RayIndex(int d) {
  for (int i = 0; i < 8; ++i)
    if (RayDirs[i] == d) return i;
  return -1;
}

// Fills the step, slide, ray, mask, direction and between tables.
void InitAttackTables() {
  const Step king[] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}};
  const Step goldB[] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, 0}};
  const Step goldW[] = {{1, -1}, {1, 0}, {1, 1}, {0, -1}, {0, 1}, {-1, 0}};
  const Step silverB[] = {{-1, -1}, {-1, 0}, {-1, 1}, {1, -1}, {1, 1}};
  const Step silverW[] = {{1, -1}, {1, 0}, {1, 1}, {-1, -1}, {-1, 1}};
  const Step knightB[] = {{-2, -1}, {-2, 1}};
  const Step knightW[] = {{2, -1}, {2, 1}};
  const Step pawnB[] = {{-1, 0}};
  const Step pawnW[] = {{1, 0}};
  const Step ortho[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
  const Step diag[] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
  FillSteps(KingSteps, king, 8);
  FillSteps(GoldSteps[0], goldB, 6);
  FillSteps(GoldSteps[1], goldW, 6);
  FillSteps(SilverSteps[0], silverB, 5);
  FillSteps(SilverSteps[1], silverW, 5);
  FillSteps(KnightSteps[0], knightB, 2);
  FillSteps(KnightSteps[1], knightW, 2);
  FillSteps(PawnStep[0], pawnB, 1);
  FillSteps(PawnStep[1], pawnW, 1);
  FillSteps(OrthoKingSteps, ortho, 4);
  FillSteps(DiagKingSteps, diag, 4);

  // Sliding tables, one line at a time.
  const Step rankDirs[] = {{0, -1}, {0, 1}};
  const Step fileDirs[] = {{-1, 0}, {1, 0}};
  const Step up[] = {{-1, 0}};
  const Step down[] = {{1, 0}};
  const Step diagDirs[] = {{-1, -1}, {1, 1}};
  const Step antiDirs[] = {{-1, 1}, {1, -1}};
  for (int row = 0; row < 9; ++row) {
    Line l{{}, 9};
    for (int col = 0; col < 9; ++col) l.sq[col] = MakeSquare(row, col);  // file 9 .. file 1
    FillSlides(RankSlide, l, rankDirs, 2);
  }
  for (int col = 0; col < 9; ++col) {
    Line l{{}, 9};
    for (int row = 0; row < 9; ++row) l.sq[row] = MakeSquare(row, col);  // rank a .. rank i
    FillSlides(FileSlide, l, fileDirs, 2);
    FillSlides(UpLanceSlide, l, up, 1);
    FillSlides(DownLanceSlide, l, down, 1);
  }
  for (int d = -8; d <= 8; ++d) {
    Line a{{}, 0}, b{{}, 0};
    for (int row = 0; row < 9; ++row) {
      int col = row + d;
      if (col >= 0 && col < 9) a.sq[a.len++] = MakeSquare(row, col);
      int colB = 8 - (row + d);
      if (colB >= 0 && colB < 9) b.sq[b.len++] = MakeSquare(row, colB);
    }
    FillSlides(DiagSlide, a, diagDirs, 2);
    FillSlides(AntiDiagSlide, b, antiDirs, 2);
  }

  for (int i = 0; i < 8; ++i) {
    int d = RayDirs[i];
    int dr = d <= -8 ? -1 : d >= 8 ? 1 : 0;
    int dc = d - 9 * dr;
    bool none[SquareCount] = {};
    for (Square s = 0; s < SquareCount; ++s) {
      Rays[i][s] = EmptyBB;
      Walk(Rays[i][s], s, dr, dc, none);
    }
  }

  for (int k = 0; k < 10; ++k) {
    RankMask[k] = FileMask[k] = EmptyBB;
    NotRankMask[k] = NotFileMask[k] = FullBB;
  }
  for (int k = 0; k < 17; ++k) {
    DiagonalMask[k] = AntiDiagonalMask[k] = EmptyBB;
    NotDiagonalMask[k] = NotAntiDiagonalMask[k] = FullBB;
  }
  for (Square s = 0; s < SquareCount; ++s) {
    SetSquare(RankMask[RowOf[s]], s);
    SetSquare(FileMask[ColumnOf[s]], s);
    SetSquare(DiagonalMask[DiagonalOf[s]], s);
    SetSquare(AntiDiagonalMask[AntiDiagonalOf[s]], s);
    ClearSquare(NotRankMask[RowOf[s]], s);
    ClearSquare(NotFileMask[ColumnOf[s]], s);
    ClearSquare(NotDiagonalMask[DiagonalOf[s]], s);
    ClearSquare(NotAntiDiagonalMask[AntiDiagonalOf[s]], s);
  }

  for (Square a = 0; a < SquareCount; ++a) {
    for (Square b = 0; b < SquareCount; ++b) {
      int dRow = RowOfSquare(b) - RowOfSquare(a), dCol = ColOfSquare(b) - ColOfSquare(a);
      bool aligned = a != b && (dRow == 0 || dCol == 0 || std::abs(dRow) == std::abs(dCol));
      Direction[a][b] = aligned ? (int8_t)(9 * Sign(dRow) + Sign(dCol)) : 0;
      if (!aligned) {
        Between[a][b] = FullBB;
        continue;
      }
      Bitboard bb = EmptyBB;
      int r = RowOfSquare(a) + Sign(dRow), c = ColOfSquare(a) + Sign(dCol);
      while (MakeSquare(r, c) != b) {
        SetSquare(bb, MakeSquare(r, c));
        r += Sign(dRow);
        c += Sign(dCol);
      }
      Between[a][b] = bb;
    }
  }
}

// Fills the approach areas of both attacking sides for every enemy king square.
void InitApproachAreas() {
  for (int si = 0; si < 2; ++si) {
    int other = 1 - si;
    auto inZone = [si](Square s) { return si == 0 ? s < 27 : s >= 54; };
    for (Square k = 0; k < SquareCount; ++k) {
      ApproachArea& a = Approach[si][k];
      a = ApproachArea{EmptyBB, EmptyBB, EmptyBB, EmptyBB};
      // Reversed steps of the attacker are the other side's steps.
      Bitboard goldChecks = GoldSteps[other][k];
      Bitboard silverChecks = SilverSteps[other][k];
      Bitboard knightChecks = KnightSteps[other][k];
      for (Square y : Squares(goldChecks)) a.gold |= GoldSteps[other][y];
      ClearSquare(a.gold, k);
      a.gold &= Complement(goldChecks);

      for (Square y : Squares(silverChecks)) a.silver |= SilverSteps[other][y];
      for (Square y : Squares(goldChecks))
        for (Square x : Squares(SilverSteps[other][y]))
          if (inZone(y) || inZone(x)) SetSquare(a.silver, x);
      ClearSquare(a.silver, k);
      a.silver &= Complement(silverChecks);

      for (Square y : Squares(knightChecks)) a.knight |= KnightSteps[other][y];
      for (Square y : Squares(goldChecks))
        if (inZone(y)) a.knight |= KnightSteps[other][y];

      int kr = RowOfSquare(k), kc = ColOfSquare(k);
      for (Square s = 0; s < SquareCount; ++s) {
        int r = RowOfSquare(s), c = ColOfSquare(s);
        int behind = si == 0 ? r - kr : kr - r;  // rows behind k as seen from the attacker
        if (c == kc && behind >= 2) SetSquare(a.lance, s);
        if (inZone(k) && (c == kc - 1 || c == kc + 1) && behind >= 1) SetSquare(a.lance, s);
      }
    }
  }
}

// Builds every constant board table exactly once.
void InitBoardTables() {
  static bool done = false;
  if (done) return;
  InitBitboardTables();
  InitAttackTables();
  InitApproachAreas();
  done = true;
}

}  // namespace kestrel
