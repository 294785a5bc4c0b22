// A Chart control: a child window of our own class that paints the model's
// drawing with GDI, scaled from logical pixels to its own size in device
// pixels (its size follows the window's dpi), through a memory bitmap so that
// a redraw never flickers.
#include <algorithm>
#include <cmath>

#include "platform/win32/backend.h"

namespace vx::platform::win32 {

namespace {

constexpr char kChartClass[] = "vxstat.chart";

COLORREF ToColour(const Rgb& c) { return RGB(c.r, c.g, c.b); }

class ChartPeer : public NativeControl {
public:
    ChartPeer(HWND parent, Chart& model, int id) : model_(model), id_(id) {
        RegisterClassOnce();
        // At the form's dpi; the form moves and sizes it when that changes,
        // and the drawing follows its size.
        const RECT r = ControlRect(model, DpiOf(parent));
        hwnd_ = CreateWindowExA(0, kChartClass, "", WS_CHILD | WS_CLIPSIBLINGS | (model.visible() ? WS_VISIBLE : 0),
                                r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<NativeControl*>(this)));
    }
    ~ChartPeer() override {
        if (hwnd_ == nullptr) return;
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    UINT_PTR id() const override { return static_cast<UINT_PTR>(id_); }
    void changed(Prop what) override {
        if (what == Prop::Visible)
            ShowWindow(hwnd_, model_.visible() ? SW_SHOWNA : SW_HIDE);
        else if (what == Prop::Picture)
            InvalidateRect(hwnd_, nullptr, FALSE);
    }

private:
    static void RegisterClassOnce() {
        static bool registered = false;
        if (registered) return;
        WNDCLASSA wc{};
        wc.lpfnWndProc = &ChartPeer::Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kChartClass;
        registered = RegisterClassA(&wc) != 0;
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* peer = reinterpret_cast<NativeControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg == WM_ERASEBKGND) return 1;  // the paint covers everything
        if (msg == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (peer != nullptr) static_cast<ChartPeer*>(peer)->paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        if (msg == WM_PRINTCLIENT) {  // a picture of it (PrintWindow, a parent's printing)
            if (peer != nullptr) static_cast<ChartPeer*>(peer)->paint(reinterpret_cast<HDC>(wParam));
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }

    void paint(HDC target) const {
        RECT client;
        GetClientRect(hwnd_, &client);
        const int w = client.right, h = client.bottom;
        if (w <= 0 || h <= 0) return;
        HDC dc = CreateCompatibleDC(target);
        HBITMAP bitmap = CreateCompatibleBitmap(target, w, h);
        HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        draw(dc, w, h);
        BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }

    void draw(HDC dc, int w, int h) const {
        const Drawing& d = model_.drawing();
        HBRUSH background = CreateSolidBrush(ToColour(d.background));
        RECT all{0, 0, w, h};
        FillRect(dc, &all, background);
        DeleteObject(background);
        if (d.width <= 0 || d.height <= 0) return;
        const double sx = w / d.width, sy = h / d.height;
        const auto X = [sx](double x) { return static_cast<int>(std::lround(x * sx)); };
        const auto Y = [sy](double y) { return static_cast<int>(std::lround(y * sy)); };

        // One logical pixel wide, as many device pixels as the scale gives.
        const int penWidth = std::max(1, static_cast<int>(std::lround(sy)));
        for (const LineShape& l : d.lines) {
            HPEN pen = CreatePen(PS_SOLID, penWidth, ToColour(l.color));
            HGDIOBJ old = SelectObject(dc, pen);
            MoveToEx(dc, X(l.x1), Y(l.y1), nullptr);
            LineTo(dc, X(l.x2) + (l.y1 == l.y2 ? 1 : 0), Y(l.y2) + (l.x1 == l.x2 ? 1 : 0));
            SelectObject(dc, old);
            DeleteObject(pen);
        }
        for (const FilledRect& r : d.rects) {
            RECT box{X(r.x), Y(r.y), X(r.x + r.width), Y(r.y + r.height)};
            HBRUSH brush = CreateSolidBrush(ToColour(r.fill));
            FillRect(dc, &box, brush);
            DeleteObject(brush);
        }
        // The font at the size the points take at this scale (96 dpi x sy).
        const int fontHeight = -static_cast<int>(std::lround(d.fontPoints * 96.0 * sy / 72.0));
        HFONT font =
            CreateFontA(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        constexpr int kRoom = 4000;
        for (const TextShape& t : d.texts) {
            SetTextColor(dc, ToColour(t.color));
            const int x = X(t.x), y = Y(t.y);
            RECT box{};
            UINT flags = DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;
            switch (t.hAlign) {
            case HAlign::Left: box.left = x, box.right = x + kRoom, flags |= DT_LEFT; break;
            case HAlign::Right: box.left = x - kRoom, box.right = x, flags |= DT_RIGHT; break;
            case HAlign::Centre: box.left = x - kRoom / 2, box.right = x + kRoom / 2, flags |= DT_CENTER; break;
            }
            switch (t.vAlign) {
            case VAlign::Top: box.top = y, box.bottom = y + kRoom, flags |= DT_TOP; break;
            case VAlign::Bottom: box.top = y - kRoom, box.bottom = y, flags |= DT_BOTTOM; break;
            case VAlign::Middle: box.top = y - kRoom / 2, box.bottom = y + kRoom / 2, flags |= DT_VCENTER; break;
            }
            const std::string text = ToAnsi(t.text);
            DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box, flags);
        }
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }

    Chart& model_;
    int id_;
    HWND hwnd_ = nullptr;
};

}  // namespace

std::unique_ptr<ControlPeer> CreateNativeChart(HWND parent, Control& chart, int id) {
    return std::make_unique<ChartPeer>(parent, static_cast<Chart&>(chart), id);
}

}  // namespace vx::platform::win32
