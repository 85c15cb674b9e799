#include "install/logic/figure.h"

#include <math.h>

void ResetFigure(Figure& f, int width, int height) {
  int qw = width / 4;
  int qh = height / 4;
  f.outer.corner[0] = {0, 0};
  f.outer.corner[1] = {qw, 0};
  f.outer.corner[2] = {qw, qh};
  int m = qw < qh ? qw : qh;
  f.step = m / 6 ? m / 6 : 2;
  f.maxStep = m / 2 ? m / 2 : 2;
  f.velocityX = 2;
  f.velocityY = 4;
}

bool StepToward(FigurePoint& point, FigurePoint target, int step) {
  // Wide arithmetic, so that no distance between two int points can overflow.
  long long dx = (long long)target.x - point.x;
  long long dy = (long long)target.y - point.y;
  long long d = (long long)sqrt((double)dx * dx + (double)dy * dy);
  if (step >= d) return false;
  point.x += (int)(dx * step / d);
  point.y += (int)(dy * step / d);
  return true;
}

void SwingStep(Figure& f) {
  if (f.stepGrowing) {
    f.step += 1;
    if (f.step > f.maxStep) {
      f.step -= 2;
      f.stepGrowing = false;
    }
  } else {
    f.step -= 1;
    if (f.step < 2) {
      f.step += 2;
      f.stepGrowing = true;
    }
  }
}

unsigned NextFigureColour(unsigned colour) { return (colour + 0x010203u) & 0xFFFFFFu; }

int NextVelocity(int velocity) {
  switch (velocity) {
    case 2: return -4;
    case -4: return 4;
    case 4: return -2;
    default: return 2;
  }
}

// Whether any of the three values, moved by v, leaves [0, limit].
static bool Hits(int a, int b, int c, int v, int limit) {
  if (v > 0) return a + v > limit || b + v > limit || c + v > limit;
  return a + v < 0 || b + v < 0 || c + v < 0;
}

void BounceAndMove(Figure& f, int width, int height) {
  FigurePoint* p = f.outer.corner;
  if (Hits(p[0].x, p[1].x, p[2].x, f.velocityX, width)) f.velocityX = NextVelocity(f.velocityX);
  if (Hits(p[0].y, p[1].y, p[2].y, f.velocityY, height)) f.velocityY = NextVelocity(f.velocityY);
  for (int i = 0; i < 3; i++) {
    p[i].x += f.velocityX;
    p[i].y += f.velocityY;
  }
}

void AdvanceFigure(Figure& f, int width, int height) {
  f.colour = NextFigureColour(f.colour);
  SwingStep(f);
  BounceAndMove(f, width, height);
}

bool FigureTouchesTitle(const Figure& f) {
  for (const FigurePoint& p : f.outer.corner) {
    if (p.x < f.titleSquare && p.y < f.titleSquare) return true;
  }
  return false;
}

// The slow change of the hidden count, against the triangle count of the previous forming.
static void ChangeHidden(Figure& f) {
  if (f.hiddenGrowing) {
    f.hidden += 1;
    if (f.hidden > f.triangleCount) {
      f.hidden -= 2;
      f.hiddenGrowing = false;
    }
  } else {
    f.hidden -= 1;
    if (f.hidden < 0) {
      f.hidden = 0;
      f.hiddenGrowing = true;
    }
  }
}

static bool SameTriangle(const FigureTriangle& a, const FigureTriangle& b) {
  for (int i = 0; i < 3; i++) {
    if (a.corner[i].x != b.corner[i].x || a.corner[i].y != b.corner[i].y) return false;
  }
  return true;
}

bool FormFigure(Figure& f, bool advance, TriangleSink draw, void* context) {
  bool touches = FigureTouchesTitle(f);
  if (advance) {
    int noted = f.ticks++;
    if (noted > 20) {
      ChangeHidden(f);
      f.ticks = 0;
    }
  }
  FigureTriangle t = f.outer;
  if (f.hidden == 0) draw(context, t, 0);
  f.triangleCount = 1;
  while (f.triangleCount < kMaxTriangles) {
    FigureTriangle before = t;
    if (!StepToward(t.corner[0], t.corner[1], f.step)) break;
    if (!StepToward(t.corner[1], t.corner[2], f.step)) break;
    if (!StepToward(t.corner[2], before.corner[0], f.step)) break;
    if (SameTriangle(t, before)) break;
    if (f.hidden <= f.triangleCount) draw(context, t, f.triangleCount);
    f.triangleCount++;
  }
  return touches;
}

TitlePlace PlaceTitle(int textWidth) {
  double w = textWidth;
  TitlePlace place;
  place.y = (int)sqrt(w * w * 0.5);
  // 4 * y / 3 without forming 4 * y, which overflows an int for a title wider than some
  // 759 million pixels; y is never negative, and the result fits for every int width.
  place.square = place.y / 3 * 4 + place.y % 3 * 4 / 3;
  return place;
}
