// Lumivane: a wind vane on a compass rose of sixteen colours. The wind blows from the mouse
// pointer; the vane swings round to face it, with a little overshoot, and takes the colour
// of the point of the compass it faces. Space holds the vane still, the arrow keys turn it
// by one point, Ctrl+C copies the colour as #RRGGBB, Escape closes the window.
//
// A plain Win32 program: no C++ library, no exceptions, nothing allocated but GDI objects,
// each of which is released where it was made.
#include <windows.h>
#include <math.h>

namespace {

const char kClassName[] = "LumivaneVane";
const char kTitle[] = "Lumivane";
const UINT_PTR kTimerId = 1;
const UINT kTimerMs = 30;
const int kPoints = 16;
const double kPi = 3.14159265358979323846;
const double kPoint = 2.0 * kPi / kPoints;

const char* const kPointNames[kPoints] = {
    "N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
    "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};

const COLORREF kBackground = RGB(246, 244, 238);
const COLORREF kInk = RGB(48, 52, 64);

struct Vane {
    double angle;     // radians clockwise from north, kept in [0, 2 pi)
    double target;    // where the wind comes from
    double speed;     // radians per tick
    bool held;        // Space: the mouse no longer moves the target
    HFONT labelFont;
    HFONT statusFont;
};

Vane g_vane;

double Wrap(double a) {
    a = fmod(a, 2.0 * kPi);
    return a < 0 ? a + 2.0 * kPi : a;
}

// The shortest turn from one direction to another, in (-pi, pi].
double Difference(double from, double to) {
    double d = Wrap(to - from);
    return d > kPi ? d - 2.0 * kPi : d;
}

int PointIndex(double angle) {
    return (int)floor(Wrap(angle + kPoint / 2) / kPoint) % kPoints;
}

// Hue in degrees [0, 360) to a soft, fairly saturated colour.
COLORREF HueColour(double hueDegrees) {
    const double s = 0.70, v = 0.95;
    double h = fmod(hueDegrees, 360.0) / 60.0;
    if (h < 0) h += 6.0;
    int sector = (int)h;
    double f = h - sector;
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r, g, b;
    switch (sector) {
        case 0: r = v; g = t; b = p; break;
        case 1: r = q; g = v; b = p; break;
        case 2: r = p; g = v; b = t; break;
        case 3: r = p; g = q; b = v; break;
        case 4: r = t; g = p; b = v; break;
        default: r = v; g = p; b = q; break;
    }
    return RGB((int)(r * 255 + 0.5), (int)(g * 255 + 0.5), (int)(b * 255 + 0.5));
}

COLORREF PointColour(int index) { return HueColour(index * 360.0 / kPoints); }

COLORREF VaneColour(double angle) { return HueColour(Wrap(angle) * 180.0 / kPi); }

// A point at a distance from the centre in a compass direction (screen y grows downwards).
POINT Polar(int cx, int cy, double radius, double angle) {
    POINT p;
    p.x = cx + (LONG)floor(radius * sin(angle) + 0.5);
    p.y = cy - (LONG)floor(radius * cos(angle) + 0.5);
    return p;
}

void DrawRose(HDC dc, int cx, int cy, int radius) {
    HPEN edge = CreatePen(PS_SOLID, 1, kBackground);
    HGDIOBJ oldPen = SelectObject(dc, edge);
    for (int i = 0; i < kPoints; ++i) {
        // Pie runs anticlockwise from its first radial point to its second.
        double from = i * kPoint + kPoint / 2;
        double to = i * kPoint - kPoint / 2;
        POINT a = Polar(cx, cy, radius * 2.0, from);
        POINT b = Polar(cx, cy, radius * 2.0, to);
        HBRUSH brush = CreateSolidBrush(PointColour(i));
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        Pie(dc, cx - radius, cy - radius, cx + radius, cy + radius, a.x, a.y, b.x, b.y);
        SelectObject(dc, oldBrush);
        DeleteObject(brush);
    }
    HBRUSH hole = CreateSolidBrush(kBackground);
    HGDIOBJ oldBrush = SelectObject(dc, hole);
    int inner = radius * 3 / 4;
    Ellipse(dc, cx - inner, cy - inner, cx + inner, cy + inner);
    SelectObject(dc, oldBrush);
    DeleteObject(hole);
    SelectObject(dc, oldPen);
    DeleteObject(edge);

    HGDIOBJ oldFont = SelectObject(dc, g_vane.labelFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kInk);
    for (int i = 0; i < kPoints; i += 4) {
        POINT p = Polar(cx, cy, radius + 16, i * kPoint);
        SIZE size;
        const char* name = kPointNames[i];
        int len = lstrlenA(name);
        GetTextExtentPoint32A(dc, name, len, &size);
        TextOutA(dc, p.x - size.cx / 2, p.y - size.cy / 2, name, len);
    }
    SelectObject(dc, oldFont);
}

void DrawVane(HDC dc, int cx, int cy, int radius) {
    // The vane drawn pointing north: arrow head, shaft and a split tail fin.
    static const double shape[][2] = {
        {0.00, -0.70}, {0.15, -0.42}, {0.04, -0.46}, {0.04, 0.42}, {0.20, 0.70},
        {0.07, 0.70}, {0.00, 0.58}, {-0.07, 0.70}, {-0.20, 0.70}, {-0.04, 0.42},
        {-0.04, -0.46}, {-0.15, -0.42}};
    const int n = sizeof shape / sizeof shape[0];
    POINT pts[n];
    double c = cos(g_vane.angle), s = sin(g_vane.angle);
    for (int i = 0; i < n; ++i) {
        double x = shape[i][0] * radius, y = shape[i][1] * radius;
        pts[i].x = cx + (LONG)floor(x * c - y * s + 0.5);
        pts[i].y = cy + (LONG)floor(x * s + y * c + 0.5);
    }
    HPEN pen = CreatePen(PS_SOLID, 2, kInk);
    HBRUSH brush = CreateSolidBrush(VaneColour(g_vane.angle));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Polygon(dc, pts, n);
    int hub = radius / 14 + 2;
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Ellipse(dc, cx - hub, cy - hub, cx + hub, cy + hub);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

void DrawStatus(HDC dc, const RECT& client) {
    COLORREF colour = VaneColour(g_vane.angle);
    int degrees = (int)floor(Wrap(g_vane.angle) * 180.0 / kPi + 0.5) % 360;
    // At most 3 + 2 + 3 + 4 + 7 + 9 characters: the buffer cannot overflow.
    char text[64];
    wsprintfA(text, "%-3s  %d\xB0   #%02X%02X%02X%s", kPointNames[PointIndex(g_vane.angle)],
              degrees, GetRValue(colour), GetGValue(colour), GetBValue(colour),
              g_vane.held ? "   (held)" : "");
    HGDIOBJ oldFont = SelectObject(dc, g_vane.statusFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kInk);
    RECT line = client;
    line.top = client.bottom - 28;
    DrawTextA(dc, text, -1, &line, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right, height = client.bottom;
    if (width > 0 && height > 0) {
        // Drawn off screen first, so that the turning vane does not flicker.
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = memory ? CreateCompatibleBitmap(dc, width, height) : NULL;
        HDC target = bitmap ? memory : dc;
        HGDIOBJ oldBitmap = bitmap ? SelectObject(memory, bitmap) : NULL;

        HBRUSH back = CreateSolidBrush(kBackground);
        FillRect(target, &client, back);
        DeleteObject(back);

        int cx = width / 2, cy = (height - 28) / 2;
        int radius = (width < height - 28 ? width : height - 28) / 2 - 30;
        if (radius > 20) {
            DrawRose(target, cx, cy, radius);
            DrawVane(target, cx, cy, radius * 3 / 4);
        }
        DrawStatus(target, client);

        if (bitmap) {
            BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
            SelectObject(memory, oldBitmap);
            DeleteObject(bitmap);
        }
        if (memory) DeleteDC(memory);
    }
    EndPaint(window, &ps);
}

void AimAt(HWND window, int x, int y) {
    RECT client;
    GetClientRect(window, &client);
    int dx = x - client.right / 2, dy = y - (client.bottom - 28) / 2;
    if (dx == 0 && dy == 0) return;
    g_vane.target = Wrap(atan2((double)dx, (double)-dy));
}

// A damped spring: the vane overshoots a little and settles, as a real one does.
void Step(HWND window) {
    double d = Difference(g_vane.angle, g_vane.target);
    if (fabs(d) < 0.0005 && fabs(g_vane.speed) < 0.0005) {
        if (g_vane.angle != g_vane.target) {
            g_vane.angle = g_vane.target;
            g_vane.speed = 0;
            InvalidateRect(window, NULL, FALSE);
        }
        return;
    }
    g_vane.speed = g_vane.speed * 0.78 + d * 0.09;
    g_vane.angle = Wrap(g_vane.angle + g_vane.speed);
    InvalidateRect(window, NULL, FALSE);
}

// Puts "#RRGGBB" on the clipboard as text; a busy clipboard is left alone.
void CopyColour(HWND window) {
    COLORREF colour = VaneColour(g_vane.angle);
    char text[8];
    wsprintfA(text, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    if (!block) return;
    char* p = (char*)GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        return;
    }
    lstrcpynA(p, text, sizeof text);
    GlobalUnlock(block);
    if (!OpenClipboard(window)) {
        GlobalFree(block);
        return;
    }
    EmptyClipboard();
    // Once SetClipboardData succeeds the clipboard owns the block.
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    CloseClipboard();
}

HFONT MakeFont(HDC dc, int points, int weight) {
    LOGFONTA lf;
    ZeroMemory(&lf, sizeof lf);
    lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    lf.lfWeight = weight;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpyA(lf.lfFaceName, "Arial");
    return CreateFontIndirectA(&lf);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            HDC dc = GetDC(window);
            g_vane.labelFont = MakeFont(dc, 12, FW_BOLD);
            g_vane.statusFont = MakeFont(dc, 10, FW_NORMAL);
            ReleaseDC(window, dc);
            if (!SetTimer(window, kTimerId, kTimerMs, NULL)) return -1;
            return 0;
        }
        case WM_TIMER:
            if (wParam == kTimerId) Step(window);
            return 0;
        case WM_MOUSEMOVE:
            if (!g_vane.held) AimAt(window, (short)LOWORD(lParam), (short)HIWORD(lParam));
            return 0;
        case WM_LBUTTONDOWN:
            AimAt(window, (short)LOWORD(lParam), (short)HIWORD(lParam));
            return 0;
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_SPACE:
                    g_vane.held = !g_vane.held;
                    InvalidateRect(window, NULL, FALSE);
                    break;
                case VK_LEFT:
                    g_vane.held = true;
                    g_vane.target = Wrap((PointIndex(g_vane.target) - 1) * kPoint);
                    break;
                case VK_RIGHT:
                    g_vane.held = true;
                    g_vane.target = Wrap((PointIndex(g_vane.target) + 1) * kPoint);
                    break;
                case 'C':
                    if (GetKeyState(VK_CONTROL) < 0) CopyColour(window);
                    break;
                case VK_ESCAPE:
                    DestroyWindow(window);
                    break;
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_GETMINMAXINFO: {
            MINMAXINFO* info = (MINMAXINFO*)lParam;
            info->ptMinTrackSize.x = 240;
            info->ptMinTrackSize.y = 280;
            return 0;
        }
        case WM_DESTROY:
            KillTimer(window, kTimerId);
            if (g_vane.labelFont) DeleteObject(g_vane.labelFont);
            if (g_vane.statusFont) DeleteObject(g_vane.statusFont);
            g_vane.labelFont = g_vane.statusFont = NULL;
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    if (!wc.hIcon) wc.hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) return 1;

    // The vane starts facing the prevailing wind of the British Isles, from the south-west.
    g_vane.angle = g_vane.target = 10 * kPoint;

    HWND window = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 420, 470, NULL, NULL, instance, NULL);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG msg;
    int got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0) {
        if (got == -1) return 1;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
