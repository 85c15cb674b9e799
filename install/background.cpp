// The background display of the main window: the product name drawn diagonally in the top
// left corner and the animated figure (install/logic/figure.h). Every tick erases the
// figure by drawing it once more in the background colour, advances it and draws it
// anew; the title is drawn again only when a corner of the old or the new figure lies
// in the square that the title covers, so the window is never repainted for the
// animation. All of it runs on the user-interface thread, called by the window procedure.
#include "common/win/sys.h"
#include "install/logic/figure.h"
#include "install/state.h"

namespace {

Figure figure;

// The window's device context, released when the drawing is done. Without one there is
// nothing to draw on.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(sys::GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// One painting between BeginPaint and EndPaint.
class Painting {
 public:
  explicit Painting(HWND window) : window_(window), dc_(sys::BeginPaint(window, &paint_)) {}
  ~Painting() {
    if (dc_) EndPaint(window_, &paint_);
  }
  Painting(const Painting&) = delete;
  Painting& operator=(const Painting&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_;
  HDC dc_;
};

// A solid pen of width 1, deleted when the drawing is done.
class Pen {
 public:
  explicit Pen(COLORREF colour) : pen_(sys::CreatePen(PS_SOLID, 1, colour)) {}
  ~Pen() {
    if (pen_) DeleteObject(pen_);
  }
  Pen(const Pen&) = delete;
  Pen& operator=(const Pen&) = delete;
  HPEN get() const { return pen_; }

 private:
  HPEN pen_;
};

// An object selected into a device context, the previous one put back at the end. A
// missing object selects nothing, and the context draws with what it has.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : NULL) {}
  ~Selection() {
    if (previous_) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

void DrawOutline(HDC dc, const FigureTriangle& t) {
  MoveToEx(dc, t.corner[0].x, t.corner[0].y, NULL);
  LineTo(dc, t.corner[1].x, t.corner[1].y);
  LineTo(dc, t.corner[2].x, t.corner[2].y);
  LineTo(dc, t.corner[0].x, t.corner[0].y);
}

void DrawTriangle(void* dc, const FigureTriangle& t, int) { DrawOutline(static_cast<HDC>(dc), t); }

// Draws the whole figure in one colour; with advance set the hidden count moves on.
// Returns whether a corner of the outer triangle lies in the title square.
bool DrawFigure(HDC dc, COLORREF colour, bool advance) {
  Pen pen(colour);
  Selection selected(dc, pen.get());
  return FormFigure(figure, advance, DrawTriangle, dc);
}

// Draws the product name in the 45-degree title font, rising from the left edge to the
// top edge, and sets the title square from its measured width.
void DrawTitle(HDC dc) {
  const char* name = g.AppName ? g.AppName : "";
  int length = lstrlenA(name);
  SetBkColor(dc, kBackgroundColour);
  TitlePlace place;
  {
    Selection font(dc, TitleFont);
    SIZE size;
    if (!GetTextExtentPoint32A(dc, name, length, &size)) size.cx = 0;
    place = PlaceTitle(size.cx);
    SetTextColor(dc, kTitleColour);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 0, place.y, name, length);
  }
  figure.titleSquare = place.square;
}

}  // namespace

void BackgroundCreate(HWND) { ResetFigure(figure, ClientWidth, ClientHeight); }

bool BackgroundResize(HWND window, int width, int height) {
  WindowDC dc(window);
  if (!dc.get()) return false;
  bool before = DrawFigure(dc.get(), kBackgroundColour, false);
  ClientWidth = width;
  ClientHeight = height;
  ResetFigure(figure, width, height);
  bool after = DrawFigure(dc.get(), figure.colour, false);
  if (before || after) DrawTitle(dc.get());
  return true;
}

bool BackgroundPaint(HWND window) {
  Painting paint(window);
  if (!paint.get()) return false;
  DrawFigure(paint.get(), figure.colour, false);
  DrawTitle(paint.get());
  return true;
}

bool BackgroundTick(HWND window) {
  WindowDC dc(window);
  if (!dc.get()) return false;
  // Drawn exactly as the last tick left it: same corners, step and hidden count.
  bool before = DrawFigure(dc.get(), kBackgroundColour, false);
  AdvanceFigure(figure, ClientWidth, ClientHeight);
  bool after = DrawFigure(dc.get(), figure.colour, true);
  if (before || after) DrawTitle(dc.get());
  return true;
}
