#pragma once
// The animated figure of the installer's background: a right-angled triangle a quarter of
// the client area wide and high, filled with a spiral of nested triangles whose corners
// each lie one pursuit step along the sides of the previous triangle. It drifts and
// bounces, changes colour, its spiral tightens and loosens, and its outer triangles vanish
// and come back slowly. This is the arithmetic alone; the drawing receives the triangles
// through a callback and only draws them.
//
// All of it belongs to the user-interface thread.

// Colours are Windows colour values, 0x00BBGGRR (red in the low byte).
const unsigned kBackgroundColour = 0x0099FFFF;  // red 255, green 255, blue 153
const unsigned kTitleColour = 0x000000FF;       // red 255

struct FigurePoint {
  int x, y;
};

// Corners in the order top left, top right, bottom right for the outer triangle.
struct FigureTriangle {
  FigurePoint corner[3];
};

// A default-constructed Figure holds the start values; ResetFigure lays it out.
struct Figure {
  FigureTriangle outer = {};
  int velocityX = 0;          // pixels per tick: 2, -4, 4 or -2 once laid out
  int velocityY = 0;
  int step = 20;              // the pursuit step
  int maxStep = 20;
  bool stepGrowing = true;
  unsigned colour = 0x0000FF;  // 24 bits
  int titleSquare = 0;         // side of the square at the top left that the title covers
  int hidden = 0;              // triangles with an index below this are not drawn
  bool hiddenGrowing = true;
  int ticks = 0;               // advancing drawings since the hidden count last changed
  int triangleCount = 0;       // triangles, outer included, that the last forming made
};

// Lays the figure out for a client area of width by height: the outer triangle, both
// velocities, the pursuit step and its maximum. Colour, step direction, hidden count,
// tick counter and triangle count carry on.
void ResetFigure(Figure& f, int width, int height);

// Moves point one pursuit step toward target, each coordinate by its share of the step
// truncated toward zero. False, with the point unchanged, when the target lies within one
// step. True does not promise a change: a step of 1 along a slanted side moves neither
// coordinate.
bool StepToward(FigurePoint& point, FigurePoint target, int step);

// One tick's swing of the pursuit step between 2 and the maximum step.
void SwingStep(Figure& f);

// The figure colour of the next tick: the whole 24-bit value rises by 0x010203, so that a
// carry out of the red byte passes into green and out of green into blue.
unsigned NextFigureColour(unsigned colour);

// The velocity after a hit on an edge: 2 -> -4 -> 4 -> -2 -> 2; any other value -> 2.
int NextVelocity(int velocity);

// The bounce test with the velocities before the move, the change of velocity on a hit,
// and the move of all three corners by the new velocities.
void BounceAndMove(Figure& f, int width, int height);

// One tick's change of the figure before it is drawn again: colour, pursuit step, bounce
// and move.
void AdvanceFigure(Figure& f, int width, int height);

// Whether a corner of the outer triangle lies inside the title square.
bool FigureTouchesTitle(const Figure& f);

// Receives each triangle to be drawn with its index (0 for the outer one).
typedef void (*TriangleSink)(void* context, const FigureTriangle& triangle, int index);

// Forms the whole figure: the outer triangle and the spiral inside it, handing every
// triangle whose index is not below the hidden count to draw, and leaves the number of
// triangles formed in triangleCount. With advance set it first counts the tick and, on
// every 22nd advancing forming, raises or lowers the hidden count by one. Returns whether
// a corner of the outer triangle lies inside the title square.
// The spiral ends at the first corner that cannot move, and also at a round that leaves
// all three corners where they were (possible only with a step of 1): that triangle would
// repeat for ever and hang the user-interface thread.
bool FormFigure(Figure& f, bool advance, TriangleSink draw, void* context);

// The spiral never holds more triangles than this: some twenty times what the widest
// screens give, a last guard against any round of corners that repeats.
const int kMaxTriangles = 20000;

// Where the title goes for a product name textWidth pixels wide in the 45-degree title
// font: it starts at (0, y) and rises to the top edge; it covers the square of side
// square at the top left.
struct TitlePlace {
  int y;
  int square;
};
TitlePlace PlaceTitle(int textWidth);
