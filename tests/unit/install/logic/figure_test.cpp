#include <gtest/gtest.h>

#include <math.h>

#include <vector>

#include "install/logic/figure.h"

// Comparison and printing for the figure's own types; at global scope so that the
// assertions find them beside the types.
static bool operator==(const FigurePoint& a, const FigurePoint& b) { return a.x == b.x && a.y == b.y; }

static std::ostream& operator<<(std::ostream& os, const FigurePoint& p) {
  return os << "(" << p.x << ", " << p.y << ")";
}

namespace {

struct Drawn {
  FigureTriangle t;
  int index;
};

bool operator==(const Drawn& a, const Drawn& b) {
  return a.index == b.index && a.t.corner[0] == b.t.corner[0] && a.t.corner[1] == b.t.corner[1] &&
         a.t.corner[2] == b.t.corner[2];
}

std::ostream& operator<<(std::ostream& os, const Drawn& d) {
  return os << "#" << d.index << " " << d.t.corner[0] << " " << d.t.corner[1] << " " << d.t.corner[2];
}

void Record(void* context, const FigureTriangle& t, int index) {
  static_cast<std::vector<Drawn>*>(context)->push_back(Drawn{t, index});
}

std::vector<Drawn> Form(Figure& f, bool advance, bool* touches = nullptr) {
  std::vector<Drawn> drawn;
  bool t = FormFigure(f, advance, Record, &drawn);
  if (touches) *touches = t;
  return drawn;
}

struct ResetCase {
  int width, height;
  FigurePoint c0, c1, c2;
  int step, maxStep;
};

TEST(ResetFigure, LaysOutForTheClientArea) {
  const ResetCase cases[] = {
      {1600, 1200, {0, 0}, {400, 0}, {400, 300}, 50, 150},
      {0, 0, {0, 0}, {0, 0}, {0, 0}, 2, 2},
      {8, 12, {0, 0}, {2, 0}, {2, 3}, 2, 1},       // smaller quarter 2
      {12, 2000, {0, 0}, {3, 0}, {3, 500}, 2, 1},  // smaller quarter 3
      {23, 23, {0, 0}, {5, 0}, {5, 5}, 2, 2},      // below 24 pixels: step 2
      {24, 30, {0, 0}, {6, 0}, {6, 7}, 1, 3},
      {1024, 768, {0, 0}, {256, 0}, {256, 192}, 32, 96},
      {7, 3, {0, 0}, {1, 0}, {1, 0}, 2, 2},
  };
  for (const ResetCase& c : cases) {
    Figure f;
    ResetFigure(f, c.width, c.height);
    SCOPED_TRACE(testing::Message() << c.width << " by " << c.height);
    EXPECT_EQ(c.c0, f.outer.corner[0]);
    EXPECT_EQ(c.c1, f.outer.corner[1]);
    EXPECT_EQ(c.c2, f.outer.corner[2]);
    EXPECT_EQ(c.step, f.step);
    EXPECT_EQ(c.maxStep, f.maxStep);
    EXPECT_EQ(2, f.velocityX);
    EXPECT_EQ(4, f.velocityY);
  }
}

TEST(ResetFigure, StartValuesAndWhatCarriesOn) {
  Figure f;
  EXPECT_EQ(0x0000FFu, f.colour);
  EXPECT_EQ(20, f.step);
  EXPECT_EQ(20, f.maxStep);
  EXPECT_TRUE(f.stepGrowing);
  EXPECT_TRUE(f.hiddenGrowing);
  EXPECT_EQ(0, f.hidden);
  EXPECT_EQ(0, f.ticks);
  EXPECT_EQ(0, f.titleSquare);
  EXPECT_EQ(0, f.triangleCount);
  EXPECT_EQ(FigurePoint({0, 0}), f.outer.corner[2]);

  f.colour = 0x123456;
  f.stepGrowing = false;
  f.hidden = 3;
  f.hiddenGrowing = false;
  f.ticks = 7;
  f.triangleCount = 9;
  f.titleSquare = 55;
  f.velocityX = -4;
  f.velocityY = -2;
  ResetFigure(f, 800, 600);
  EXPECT_EQ(0x123456u, f.colour);
  EXPECT_FALSE(f.stepGrowing);
  EXPECT_EQ(3, f.hidden);
  EXPECT_FALSE(f.hiddenGrowing);
  EXPECT_EQ(7, f.ticks);
  EXPECT_EQ(9, f.triangleCount);
  EXPECT_EQ(55, f.titleSquare);
  EXPECT_EQ(2, f.velocityX);
  EXPECT_EQ(4, f.velocityY);
}

std::vector<int> Swings(Figure& f, int n) {
  std::vector<int> steps;
  for (int i = 0; i < n; i++) {
    SwingStep(f);
    steps.push_back(f.step);
  }
  return steps;
}

TEST(SwingStep, TinyAreaAlternatesBetweenOneAndTwo) {
  Figure f;
  ResetFigure(f, 8, 8);
  ASSERT_EQ(1, f.maxStep);
  ASSERT_EQ(2, f.step);
  EXPECT_EQ((std::vector<int>{1, 2, 1, 2, 1, 2, 1, 2}), Swings(f, 8));
}

TEST(SwingStep, SwingsBetweenTwoAndTheMaximum) {
  Figure f;
  ResetFigure(f, 40, 40);  // quarter 10: step 1, maximum 5
  ASSERT_EQ(1, f.step);
  ASSERT_EQ(5, f.maxStep);
  EXPECT_EQ((std::vector<int>{2, 3, 4, 5, 4, 3, 2, 3, 4, 5, 4}), Swings(f, 11));
}

TEST(SwingStep, FullSwingOnALargeArea) {
  Figure f;
  ResetFigure(f, 1600, 1200);
  std::vector<int> s = Swings(f, 400);
  // Up from 50 to 150 in 100 ticks, down to 2 in 148, up again.
  EXPECT_EQ(51, s[0]);
  EXPECT_EQ(150, s[99]);
  EXPECT_EQ(149, s[100]);
  EXPECT_EQ(2, s[247]);
  EXPECT_EQ(3, s[248]);
  EXPECT_EQ(4, s[249]);
}

struct ColourCase {
  unsigned before, after;
};

TEST(NextFigureColour, CarriesAcrossTheBytes) {
  const ColourCase cases[] = {
      {0x0000FF, 0x010302},  // the first tick: red 2, green 3, blue 1
      {0x000000, 0x010203},
      {0x00FE00, 0x020003},  // green overflows into blue
      {0x00FFFE, 0x020201},  // red into green into blue
      {0xFFFFFF, 0x010202},  // out of blue: gone
      {0xFEFDFC, 0xFFFFFF},
  };
  for (const ColourCase& c : cases) {
    EXPECT_EQ(c.after, NextFigureColour(c.before)) << std::hex << "from 0x" << c.before;
  }
  Figure f;
  f.colour = NextFigureColour(f.colour);
  EXPECT_EQ(2u, f.colour & 0xFF);
  EXPECT_EQ(3u, (f.colour >> 8) & 0xFF);
  EXPECT_EQ(1u, (f.colour >> 16) & 0xFF);
}

TEST(NextVelocity, Successors) {
  const int cases[][2] = {{2, -4}, {-4, 4}, {4, -2}, {-2, 2}, {0, 2}, {3, 2}, {-1, 2}, {100, 2}};
  for (const auto& c : cases) EXPECT_EQ(c[1], NextVelocity(c[0])) << "from " << c[0];
}

struct BounceCase {
  FigurePoint c[3];
  int vx, vy;
  int width, height;
  int wantVx, wantVy;
};

TEST(BounceAndMove, HitsUseTheVelocityBeforeTheMove) {
  const BounceCase cases[] = {
      {{{0, 0}, {10, 0}, {10, 8}}, 2, 4, 100, 100, 2, 4},        // far from every edge
      {{{88, 0}, {98, 0}, {98, 8}}, 2, 4, 100, 100, 2, 4},       // 98 + 2 = 100: no hit
      {{{89, 0}, {99, 0}, {99, 8}}, 2, 4, 100, 100, -4, 4},      // 99 + 2 > 100
      {{{89, 0}, {99, 0}, {99, 96}}, 2, 4, 100, 100, -4, 4},     // 96 + 4 = 100: no hit
      {{{89, 0}, {99, 0}, {99, 97}}, 2, 4, 100, 100, -4, -2},    // both at once
      {{{4, 20}, {14, 20}, {14, 28}}, -4, -2, 100, 100, -4, -2}, // 4 - 4 = 0: no hit
      {{{3, 1}, {13, 1}, {13, 9}}, -4, -2, 100, 100, 4, 2},      // 3 - 4 < 0, 1 - 2 < 0
      {{{0, 0}, {0, 0}, {0, 0}}, 2, 4, 0, 0, -4, -2},            // 0 by 0: every tick hits
      {{{0, 0}, {0, 0}, {0, 0}}, -4, -2, 0, 0, 4, 2},
  };
  for (const BounceCase& c : cases) {
    Figure f;
    for (int i = 0; i < 3; i++) f.outer.corner[i] = c.c[i];
    f.velocityX = c.vx;
    f.velocityY = c.vy;
    BounceAndMove(f, c.width, c.height);
    SCOPED_TRACE(testing::Message() << "from " << c.c[0] << " " << c.c[1] << " " << c.c[2] << " v " << c.vx
                                    << "," << c.vy);
    EXPECT_EQ(c.wantVx, f.velocityX);
    EXPECT_EQ(c.wantVy, f.velocityY);
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(FigurePoint({c.c[i].x + c.wantVx, c.c[i].y + c.wantVy}), f.outer.corner[i]) << "corner " << i;
    }
  }
}

TEST(BounceAndMove, VelocitySequenceAtTheEdges) {
  Figure f;
  ResetFigure(f, 200, 120);
  std::vector<int> vx{f.velocityX}, vy{f.velocityY};
  for (int i = 0; i < 2000; i++) {
    BounceAndMove(f, 200, 120);
    if (f.velocityX != vx.back()) vx.push_back(f.velocityX);
    if (f.velocityY != vy.back()) vy.push_back(f.velocityY);
  }
  ASSERT_GE(vx.size(), 9u);
  ASSERT_GE(vy.size(), 9u);
  for (size_t i = 0; i < 9; i++) {
    const int cycle[] = {2, -4, 4, -2};
    EXPECT_EQ(cycle[i % 4], vx[i]) << "horizontal change " << i;
    EXPECT_EQ(cycle[(i + 2) % 4], vy[i]) << "vertical change " << i;
  }
}

struct StepCase {
  FigurePoint point, target;
  int step;
  bool moved;
  FigurePoint after;
};

TEST(StepToward, MovesOneStepTruncatingTowardZero) {
  const StepCase cases[] = {
      {{0, 0}, {400, 0}, 50, true, {50, 0}},
      {{400, 0}, {400, 300}, 50, true, {400, 50}},
      {{400, 300}, {0, 0}, 50, true, {360, 270}},
      {{0, 0}, {-10, -3}, 3, true, {-3, 0}},   // d = 10; -9 / 10 is 0, not -1
      {{0, 0}, {10, 3}, 3, true, {3, 0}},
      {{5, 5}, {5, 8}, 3, false, {5, 5}},      // the step reaches the target
      {{5, 5}, {5, 9}, 3, true, {5, 8}},
      {{0, 0}, {1, 1}, 1, false, {0, 0}},      // d = 1
      {{0, 0}, {0, 0}, 1, false, {0, 0}},
      {{0, 0}, {4, 4}, 1, true, {0, 0}},       // d = 5: moved, but neither coordinate changes
      {{-16000, -16000}, {16000, 16000}, 2, true, {-15999, -15999}},
  };
  for (const StepCase& c : cases) {
    FigurePoint p = c.point;
    bool moved = StepToward(p, c.target, c.step);
    SCOPED_TRACE(testing::Message() << c.point << " toward " << c.target << " step " << c.step);
    EXPECT_EQ(c.moved, moved);
    EXPECT_EQ(c.after, p);
  }
}

TEST(FormFigure, OuterTriangleThenTheSpiral) {
  Figure f;
  ResetFigure(f, 1600, 1200);
  std::vector<Drawn> d = Form(f, false);
  ASSERT_GE(d.size(), 3u);
  EXPECT_EQ((Drawn{{{{0, 0}, {400, 0}, {400, 300}}}, 0}), d[0]);
  EXPECT_EQ((Drawn{{{{50, 0}, {400, 50}, {360, 270}}}, 1}), d[1]);
  EXPECT_EQ((int)d.size(), f.triangleCount);
  for (size_t i = 0; i < d.size(); i++) EXPECT_EQ((int)i, d[i].index);
  EXPECT_EQ(0, f.ticks);
  EXPECT_EQ(0, f.hidden);
}

TEST(FormFigure, LastTriangleIsTheLastThatFullyMoved) {
  Figure f;
  ResetFigure(f, 1600, 1200);
  std::vector<Drawn> d = Form(f, false);
  FigureTriangle t = d.back().t;
  FigurePoint first = t.corner[0];
  bool all = StepToward(t.corner[0], t.corner[1], f.step) && StepToward(t.corner[1], t.corner[2], f.step) &&
             StepToward(t.corner[2], first, f.step);
  EXPECT_FALSE(all) << "the spiral stopped although another round could move";
}

TEST(FormFigure, HiddenCountHidesTheOuterTriangles) {
  Figure f;
  ResetFigure(f, 1600, 1200);
  int total = (int)Form(f, false).size();
  ASSERT_GT(total, 4);
  f.hidden = 3;
  std::vector<Drawn> d = Form(f, false);
  EXPECT_EQ(total, f.triangleCount);
  ASSERT_EQ((size_t)(total - 3), d.size());
  EXPECT_EQ(3, d[0].index);
  f.hidden = total;
  EXPECT_EQ(0u, Form(f, false).size());
  f.hidden = total + 1;
  EXPECT_EQ(0u, Form(f, false).size()) << "more hidden than formed: nothing visible";
}

TEST(FormFigure, RepeatingRoundEndsTheSpiral) {
  // With a step of 1 none of these corners moves although each is "moved": without a
  // stop the same triangle would be formed for ever.
  Figure f;
  f.outer = {{{0, 0}, {4, 4}, {-16, 11}}};
  f.step = 1;
  std::vector<Drawn> d = Form(f, false);
  EXPECT_EQ(1, f.triangleCount);
  EXPECT_EQ(1u, d.size());
}

TEST(FormFigure, TouchesTitle) {
  struct Case {
    FigurePoint c[3];
    int square;
    bool touches;
  };
  const Case cases[] = {
      {{{0, 0}, {100, 0}, {100, 75}}, 0, false},  // no title painted yet
      {{{0, 0}, {100, 0}, {100, 75}}, 1, true},
      {{{10, 0}, {100, 0}, {100, 75}}, 10, false},
      {{{9, 9}, {100, 9}, {100, 75}}, 10, true},
      {{{50, 50}, {150, 50}, {150, 125}}, 50, false},
      {{{200, 50}, {300, 50}, {40, 49}}, 50, true},  // any corner will do
      {{{-5, -5}, {95, -5}, {95, 70}}, 3, true},
  };
  for (const Case& c : cases) {
    Figure f;
    for (int i = 0; i < 3; i++) f.outer.corner[i] = c.c[i];
    f.titleSquare = c.square;
    bool touches = false;
    Form(f, false, &touches);
    EXPECT_EQ(c.touches, touches) << c.c[0] << " " << c.c[1] << " " << c.c[2] << " square " << c.square;
    EXPECT_EQ(c.touches, FigureTouchesTitle(f));
  }
}

TEST(FormFigure, HiddenCountRisesAndFallsEvery22ndAdvancingDrawing) {
  Figure f;
  ResetFigure(f, 1600, 1200);
  f.step = f.maxStep;  // 150: the outer triangle and one nested one
  Form(f, false);
  ASSERT_EQ(2, f.triangleCount);

  std::vector<int> changes;
  int last = f.hidden;
  for (int drawing = 1; drawing <= 22 * 10; drawing++) {
    Form(f, false);  // a non-advancing drawing between the advancing ones changes nothing
    EXPECT_EQ(last, f.hidden);
    Form(f, true);
    if (drawing % 22 != 0) {
      EXPECT_EQ(last, f.hidden) << "changed at advancing drawing " << drawing;
    } else {
      changes.push_back(f.hidden);
    }
    last = f.hidden;
  }
  EXPECT_EQ((std::vector<int>{1, 2, 1, 0, 0, 1, 2, 1, 0, 0}), changes);
}

TEST(PlaceTitle, FromTheMeasuredWidth) {
  const int cases[][3] = {
      {0, 0, 0}, {1, 0, 0}, {2, 1, 1}, {99, 70, 93}, {100, 70, 93}, {300, 212, 282}, {450, 318, 424},
  };
  for (const auto& c : cases) {
    TitlePlace p = PlaceTitle(c[0]);
    EXPECT_EQ(c[1], p.y) << "width " << c[0];
    EXPECT_EQ(c[2], p.square) << "width " << c[0];
  }
}

TEST(PlaceTitle, HugeWidthsDoNotOverflow) {
  // Exact values: y = floor(sqrt(w * w / 2)), square = floor(4 * y / 3), in wide arithmetic.
  const int widths[] = {759000000, 760000000, 1000000000, 2000000000, 2147483647};
  for (int w : widths) {
    TitlePlace p = PlaceTitle(w);
    long long y = (long long)sqrt((double)w * w * 0.5);
    EXPECT_EQ(y, p.y) << "width " << w;
    EXPECT_EQ(4 * y / 3, (long long)p.square) << "width " << w;
    EXPECT_GT(p.square, p.y) << "width " << w;
  }
}

// A tick as the window runs it: erase with the background, advance, draw with advance.
struct TickResult {
  std::vector<Drawn> erased, drawn;
};

TickResult Tick(Figure& f, int width, int height) {
  TickResult r;
  r.erased = Form(f, false);
  AdvanceFigure(f, width, height);
  r.drawn = Form(f, true);
  return r;
}

TEST(Animation, LongRunKeepsItsInvariants) {
  const int sizes[][2] = {{1600, 1200}, {640, 480}, {100, 60}, {40, 300}, {8, 8}, {12, 2000}, {0, 0}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    SCOPED_TRACE(testing::Message() << w << " by " << h);
    Figure f;
    f.titleSquare = 60;
    ResetFigure(f, w, h);
    std::vector<Drawn> previous = Form(f, false);
    unsigned colour = f.colour;
    // A hit turns the figure back by at most 4 after it came at most 4 from the edge.
    const bool fits = w / 4 + 8 <= w && h / 4 + 8 <= h;
    const int low = f.maxStep >= 3 ? 2 : 1;
    const int high = f.maxStep >= 3 ? f.maxStep : 3;
    int hiddenChanges = 0, lastHidden = f.hidden, mostTriangles = f.triangleCount;
    for (int tick = 1; tick <= 3000; tick++) {
      int vx = f.velocityX, vy = f.velocityY;
      TickResult r = Tick(f, w, h);
      ASSERT_EQ(previous, r.erased) << "tick " << tick << ": the erase missed what the last tick drew";
      previous = r.drawn;
      colour = (colour + 0x010203) & 0xFFFFFF;
      ASSERT_EQ(colour, f.colour) << "tick " << tick;
      ASSERT_GE(f.step, low) << "tick " << tick;
      ASSERT_LE(f.step, high) << "tick " << tick;
      ASSERT_TRUE(f.velocityX == vx || f.velocityX == NextVelocity(vx)) << "tick " << tick;
      ASSERT_TRUE(f.velocityY == vy || f.velocityY == NextVelocity(vy)) << "tick " << tick;
      ASSERT_GE(f.triangleCount, 1);
      ASSERT_LE(f.triangleCount, kMaxTriangles);
      ASSERT_GE(f.hidden, 0);
      ASSERT_LE(f.hidden, mostTriangles);
      if (f.triangleCount > mostTriangles) mostTriangles = f.triangleCount;
      if (f.hidden != lastHidden) hiddenChanges++;
      lastHidden = f.hidden;
      if (fits) {
        for (const FigurePoint& p : f.outer.corner) {
          ASSERT_TRUE(p.x >= 0 && p.x <= w && p.y >= 0 && p.y <= h) << "tick " << tick << " corner " << p;
        }
      }
      if (w == 0 && h == 0) {
        ASSERT_NE(vx, f.velocityX) << "tick " << tick << ": a 0 by 0 area hits on every tick";
        ASSERT_NE(vy, f.velocityY) << "tick " << tick;
        for (const FigurePoint& p : f.outer.corner) ASSERT_TRUE(p.x >= -4 && p.x <= 4 && p.y >= -4 && p.y <= 4);
      }
    }
    EXPECT_GT(hiddenChanges, 0);
  }
}

TEST(Animation, ResizeInTheMiddleCarriesTheSlowState) {
  Figure f;
  ResetFigure(f, 1600, 1200);
  for (int i = 0; i < 100; i++) Tick(f, 1600, 1200);
  unsigned colour = f.colour;
  int hidden = f.hidden, ticks = f.ticks;
  ResetFigure(f, 800, 600);
  EXPECT_EQ(colour, f.colour);
  EXPECT_EQ(hidden, f.hidden);
  EXPECT_EQ(ticks, f.ticks);
  EXPECT_EQ(FigurePoint({200, 150}), f.outer.corner[2]);
  for (int i = 0; i < 1000; i++) {
    Tick(f, 800, 600);
    for (const FigurePoint& p : f.outer.corner) ASSERT_TRUE(p.x >= 0 && p.x <= 800 && p.y >= 0 && p.y <= 600);
  }
}

}  // namespace
