// The form's controls as native child windows: STATIC labels, images and
// lines, EDIT text boxes, drop-down COMBOBOXes, BUTTONs and the common
// controls' progress bar.
#include <cmath>

#include "platform/win32/backend.h"

#include <commctrl.h>

namespace vx::platform::win32 {

namespace {

constexpr int kProgressSteps = 10000;  // the bar's own range; the model's Min..Max maps onto it
constexpr int kComboListPixels = 120;  // room for the drop-down list below the edit field, at 96 dpi

// A font of the model at a window's dpi: its points are 1/72 inch there.
HFONT FontFor(const Font& font, int dpi) {
    auto& made = Backend().fonts;
    auto key = std::make_tuple(font.face, font.points, font.bold, dpi);
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    int height = -static_cast<int>(std::lround(font.points * dpi / 72.0));
    HFONT handle = CreateFontA(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                               ToAnsi(font.face).c_str());
    made.emplace(key, handle);
    return handle;
}

// The native window of each kind. Labels, images and lines are drawn on the
// form itself ("lightweight"); the controls that take the focus are the tab stops.
struct NativeKind {
    const char* className;
    DWORD style;
    DWORD exStyle;
    bool lightweight;
    bool takesFocus;
};

NativeKind KindOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label: return {"STATIC", SS_LEFT, 0, true, false};
    case ControlKind::TextBox: return {"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, false, true};
    case ControlKind::ComboBox:
        return {"COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, false, true};
    case ControlKind::CheckBox: return {"BUTTON", BS_3STATE | WS_TABSTOP, 0, false, true};
    case ControlKind::CommandButton: return {"BUTTON", BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP, 0, false, true};
    case ControlKind::ProgressBar: return {PROGRESS_CLASSA, 0, 0, false, false};
    case ControlKind::Image: return {"STATIC", SS_ICON, 0, true, false};
    case ControlKind::Line: return {"STATIC", SS_BLACKRECT, 0, true, false};
    case ControlKind::Timer:
    case ControlKind::Chart: break;
    }
    return {"STATIC", 0, 0, false, false};
}

std::string InitialText(const Control& control) {
    switch (control.kind()) {
    case ControlKind::Label: return static_cast<const Label&>(control).caption();
    case ControlKind::TextBox: return static_cast<const TextBox&>(control).text();
    case ControlKind::ComboBox: return static_cast<const ComboBox&>(control).text();
    case ControlKind::CheckBox: return static_cast<const CheckBox&>(control).caption();
    case ControlKind::CommandButton: return static_cast<const CommandButton&>(control).caption();
    default: return {};
    }
}

class ChildPeer : public NativeControl {
public:
    ChildPeer(HWND parent, Control& model, int id)
        : model_(model), kind_(KindOf(model.kind())), id_(id), dpi_(DpiOf(parent)) {
        const RECT r = ControlRect(model, dpi_);
        const int x = r.left, y = r.top, width = r.right - r.left, height = r.bottom - r.top;
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | kind_.style | (model.visible() ? WS_VISIBLE : 0) |
                      (model.enabled() ? 0 : WS_DISABLED);
        hwnd_ = CreateWindowExA(kind_.exStyle, kind_.className, ToAnsi(InitialText(model)).c_str(), style, x, y, width,
                                height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<NativeControl*>(this)));
        placeInZOrder(parent);
        SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(FontOf(model), dpi_)), FALSE);
        for (Prop p : {Prop::Items, Prop::Text, Prop::Range, Prop::Value, Prop::Picture}) changed(p);
    }

    ~ChildPeer() override {
        if (hwnd_ == nullptr) return;
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }

    UINT_PTR id() const override { return static_cast<UINT_PTR>(id_); }
    bool lightweight() const override { return kind_.lightweight; }
    bool takesFocus() const override { return kind_.takesFocus; }

    void changed(Prop what) override;
    void command(UINT code) override;
    void dpiChanged(int dpi) override {
        dpi_ = dpi;
        changed(Prop::Font);
        if (model_.kind() == ControlKind::Image) changed(Prop::Picture);
    }

private:
    static Font FontOf(const Control& model) {
        return model.kind() == ControlKind::Label ? static_cast<const Label&>(model).font() : Font{};
    }
    // Sets the native text without hearing it back as the user's change.
    void setNativeText(const std::string& text) {
        if (WindowText(hwnd_) == text) return;
        updating_ = true;
        SetWindowTextA(hwnd_, ToAnsi(text).c_str());
        updating_ = false;
    }
    void setProgress();
    void placeInZOrder(HWND parent);

    Control& model_;
    NativeKind kind_;
    int id_;
    int dpi_;  // the form's
    HWND hwnd_ = nullptr;
    bool updating_ = false;
};

// Labels, images and lines are drawn on the form itself, under every control
// that has a window of its own (a label may reach under its text box). The
// others keep the order they were made in, which is also their tab order.
void ChildPeer::placeInZOrder(HWND parent) {
    HWND after = HWND_BOTTOM;
    if (!lightweight()) {
        after = HWND_TOP;
        for (HWND h = GetWindow(parent, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
            auto* other = reinterpret_cast<NativeControl*>(GetWindowLongPtrA(h, GWLP_USERDATA));
            if (h != hwnd_ && other != nullptr && !other->lightweight()) after = h;
        }
    }
    SetWindowPos(hwnd_, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void ChildPeer::setProgress() {
    auto& bar = static_cast<ProgressBar&>(model_);
    SendMessageA(hwnd_, PBM_SETRANGE32, 0, kProgressSteps);
    double span = static_cast<double>(bar.max()) - bar.min();
    double share = span > 0 ? (static_cast<double>(bar.value()) - bar.min()) / span : 0;
    SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(std::lround(share * kProgressSteps)), 0);
}

void ChildPeer::changed(Prop what) {
    switch (what) {
    case Prop::Visible: ShowWindow(hwnd_, model_.visible() ? SW_SHOWNA : SW_HIDE); return;
    case Prop::Enabled: EnableWindow(hwnd_, model_.enabled()); return;
    case Prop::Font:
        SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(FontOf(model_), dpi_)), TRUE);
        return;
    default: break;
    }
    switch (model_.kind()) {
    case ControlKind::Label:
        if (what == Prop::Text) setNativeText(static_cast<Label&>(model_).caption());
        break;
    case ControlKind::TextBox:
        if (what == Prop::Text) {
            auto& box = static_cast<TextBox&>(model_);
            SendMessageA(hwnd_, EM_SETPASSWORDCHAR, static_cast<WPARAM>(static_cast<unsigned char>(box.passwordChar())),
                         0);
            setNativeText(box.text());
            InvalidateRect(hwnd_, nullptr, TRUE);
        }
        break;
    case ControlKind::ComboBox: {
        auto& combo = static_cast<ComboBox&>(model_);
        if (what == Prop::Items) {
            updating_ = true;
            SendMessageA(hwnd_, CB_RESETCONTENT, 0, 0);  // also empties the edit field
            for (const std::string& item : combo.items())
                SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToAnsi(item).c_str()));
            updating_ = false;
            setNativeText(combo.text());
        } else if (what == Prop::Text) {
            setNativeText(combo.text());
        }
        break;
    }
    case ControlKind::CheckBox:
        if (what == Prop::Value) {
            static const WPARAM states[] = {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE};
            SendMessageA(hwnd_, BM_SETCHECK, states[static_cast<CheckBox&>(model_).value()], 0);
        }
        break;
    case ControlKind::ProgressBar:
        if (what == Prop::Range || what == Prop::Value) setProgress();
        break;
    case ControlKind::Image:
        // The picture drawn for the control's size, which grows with the dpi.
        if (what == Prop::Picture) {
            const RECT r = ControlRect(model_, dpi_);
            HICON picture = NativeIcon(static_cast<Image&>(model_).picture());
            const int size = std::min(r.right - r.left, r.bottom - r.top);
            SendMessageA(hwnd_, STM_SETICON, reinterpret_cast<WPARAM>(PictureAt(picture, size)), 0);
        }
        break;
    default: break;
    }
}

void ChildPeer::command(UINT code) {
    if (updating_) return;
    switch (model_.kind()) {
    case ControlKind::TextBox:
        if (code == EN_CHANGE) static_cast<TextBox&>(model_).setText(WindowText(hwnd_));
        break;
    case ControlKind::ComboBox: {
        auto& combo = static_cast<ComboBox&>(model_);
        if (code == CBN_EDITCHANGE) {
            combo.setText(WindowText(hwnd_));
        } else if (code == CBN_SELCHANGE) {
            // The edit field still holds the old text at this point.
            LRESULT index = SendMessageA(hwnd_, CB_GETCURSEL, 0, 0);
            if (index >= 0 && static_cast<std::size_t>(index) < combo.items().size())
                combo.setText(combo.items()[static_cast<std::size_t>(index)]);
        }
        break;
    }
    case ControlKind::CheckBox:
        if (code == BN_CLICKED) {
            auto& box = static_cast<CheckBox&>(model_);
            box.setValue(box.value() == 1 ? 0 : 1);
        }
        break;
    case ControlKind::CommandButton:
        if (code == BN_CLICKED) static_cast<CommandButton&>(model_).click();
        break;
    default: break;
    }
}

}  // namespace

RECT ControlRect(const Control& control, int dpi) {
    const Twips& r = control.rect();
    RECT at{Pixels(r.left, dpi), Pixels(r.top, dpi), 0, 0};
    int width = Pixels(r.width, dpi), height = Pixels(r.height, dpi);
    if (control.kind() == ControlKind::Line) {
        const auto& line = static_cast<const Line&>(control);
        at.left = Pixels(std::min(line.x1, line.x2), dpi);
        at.top = Pixels(std::min(line.y1, line.y2), dpi);
        width = std::max(1, Pixels(std::abs(line.x2 - line.x1), dpi));
        height = std::max(1, Pixels(std::abs(line.y2 - line.y1), dpi));
    }
    if (control.kind() == ControlKind::ComboBox) height += MulDiv(kComboListPixels, dpi, kBaseDpi);
    at.right = at.left + width;
    at.bottom = at.top + height;
    return at;
}

std::unique_ptr<ControlPeer> CreateNativeControl(HWND parent, Control& control, int id) {
    if (control.kind() == ControlKind::Chart) return CreateNativeChart(parent, control, id);
    return std::make_unique<ChildPeer>(parent, control, id);
}

}  // namespace vx::platform::win32
