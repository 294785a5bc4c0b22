#include "tray/frmSysTray.h"

#include <cmath>
#include <cstring>

#include "platform/app.h"
#include "platform/menus.h"
#include "tray/LevelPictures.h"
#include "platform/user32.h"
#include "runtime/errors.h"

namespace vx {

using namespace platform;

namespace {

constexpr std::size_t kTipChars = 64;
constexpr DWORD kRecordSize = 88;  // the ANSI record with a 64-byte tooltip
constexpr UINT kCallbackMessage = WM_MOUSEMOVE;

std::unique_ptr<Window> MakeWindow() {
    auto w = std::make_unique<Window>("frmSysTray", "Sys Tray Interface", 1, 1, BorderStyle::Hidden);
    w->setIcon(WindowIconPicture());
    return w;
}

}  // namespace

frmSysTray::frmSysTray(SysTrayEvents* owner) : Form(MakeWindow()), owner_(owner) {
    m_mnuSysTray.push_back(MenuElement{});  // element 0 exists from design
    window().onMouseMove = [this](int button, int shift, float x, float y) { Form_MouseMove(button, shift, x, y); };
}

void frmSysTray::Notify(DWORD message) {
    // The record travels with the fixed 64-character tooltip as it is held.
    std::memcpy(m_nid.szTip, m_szTip.data(), kTipChars);
    Shell_NotifyIconA(message, &m_nid);
    m_szTip.assign(m_nid.szTip, kTipChars);
}

void frmSysTray::Form_Load() {
    m_ownIcon = window().icon();
    m_nid.hWnd = hWnd();
    m_nid.uID = static_cast<UINT>(m_ownIcon);
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = kCallbackMessage;
    m_nid.hIcon = m_ownIcon;
    std::string tip = AppFileDescription() + '\0';
    tip.resize(kTipChars, ' ');
    m_szTip = tip;
    m_nid.cbSize = kRecordSize;
    Notify(NIM_ADD);
}

void frmSysTray::Form_QueryUnload(int& /*cancel*/, int /*unloadMode*/) { Notify(NIM_DELETE); }

std::string frmSysTray::ToolTip() const {
    std::size_t nul = m_szTip.find('\0');
    return nul == std::string::npos ? m_szTip : m_szTip.substr(0, nul);
}

void frmSysTray::ToolTip(const std::string& sTip) {
    if (sTip == ToolTip()) return;
    std::string tip = sTip + '\0';
    tip.resize(kTipChars, ' ');  // cuts to 64, or pads with blanks
    m_szTip = tip;
    m_nid.uFlags = NIF_TIP;
    Notify(NIM_MODIFY);
}

HICON frmSysTray::IconHandle() const { return m_nid.hIcon; }

void frmSysTray::IconHandle(HICON hIcon) {
    if (hIcon == m_nid.hIcon) return;
    m_nid.hIcon = hIcon;
    m_nid.uFlags = NIF_ICON;
    Notify(NIM_MODIFY);
}

void frmSysTray::Form_MouseMove(int /*button*/, int /*shift*/, float x, float /*y*/) {
    // The shell puts the mouse message number where X is, in the form's scale.
    const long message = std::lround(x / kTwipsPerPixel);
    if (!owner_) return;
    switch (message) {
    case WM_MOUSEMOVE: owner_->SysTrayMouseMove(); break;
    case WM_LBUTTONUP: owner_->SysTrayMouseDown(1); break;
    case WM_LBUTTONDBLCLK: owner_->SysTrayDoubleClick(1); break;
    case WM_RBUTTONDOWN: owner_->SysTrayMouseDown(2); break;
    case WM_RBUTTONUP: owner_->SysTrayMouseUp(2); break;
    case WM_RBUTTONDBLCLK: owner_->SysTrayDoubleClick(2); break;
    default: break;  // left press, middle button and anything else
    }
}

bool frmSysTray::IsValidMenuIndex(std::int32_t index) const {
    return index >= 0 && index <= static_cast<std::int32_t>(m_mnuSysTray.size()) - 1;
}

std::int32_t frmSysTray::AddMenuItem(const std::string& sCaption, const std::string& sKey, bool bDefault) {
    std::int32_t index = 0;
    if (m_bMenuStarted) {
        const std::int32_t upper = static_cast<std::int32_t>(m_mnuSysTray.size()) - 1;
        if (upper >= 32767) throw RuntimeError(kErrOverflow, "Overflow");  // 16-bit indices
        index = upper + 1;
        m_mnuSysTray.push_back(MenuElement{});
    } else {
        m_bMenuStarted = true;
    }
    MenuElement& element = m_mnuSysTray[static_cast<std::size_t>(index)];
    element.Visible = true;
    element.Tag = sKey;
    element.Caption = sCaption;
    if (bDefault) m_lDefaultIndex = index;
    return index;
}

void frmSysTray::EnableMenuItem(std::int32_t lIndex, bool bState) {
    if (IsValidMenuIndex(lIndex)) m_mnuSysTray[static_cast<std::size_t>(lIndex)].Enabled = bState;
}

std::int32_t frmSysTray::RemoveMenuItem(std::int32_t iIndex) {
    if (!IsValidMenuIndex(iIndex)) return 0;
    if (iIndex == 0) {
        m_mnuSysTray[0].Caption.clear();
        return 0;
    }
    // Only captions and keys move down; each position keeps its own state.
    const std::size_t upper = m_mnuSysTray.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(iIndex) + 1; i <= upper; ++i) {
        m_mnuSysTray[i - 1].Caption = m_mnuSysTray[i].Caption;
        m_mnuSysTray[i - 1].Tag = m_mnuSysTray[i].Tag;
    }
    m_mnuSysTray.pop_back();
    return 0;
}

std::int32_t frmSysTray::DefaultMenuIndex() const { return m_lDefaultIndex; }

void frmSysTray::DefaultMenuIndex(std::int32_t lIndex) { m_lDefaultIndex = IsValidMenuIndex(lIndex) ? lIndex : 0; }

void frmSysTray::ShowMenu() {
    SetForegroundWindow(hWnd());
    std::vector<MenuItem> items;
    items.reserve(m_mnuSysTray.size());
    for (const MenuElement& e : m_mnuSysTray) items.push_back(MenuItem{e.Caption, e.Visible, e.Enabled});
    // A default index left beyond the end by a removal draws no default.
    const int defaultIndex = IsValidMenuIndex(m_lDefaultIndex) ? m_lDefaultIndex : -1;
    const int chosen = PopupMenu(hWnd(), items, defaultIndex, 0);
    if (IsValidMenuIndex(chosen)) mnuSysTray_Click(static_cast<std::int16_t>(chosen));
}

void frmSysTray::mnuSysTray_Click(std::int16_t Index) {
    const std::string key = m_mnuSysTray[static_cast<std::size_t>(Index)].Tag;
    if (owner_) owner_->MenuClick(static_cast<std::int32_t>(Index), key);
}

}  // namespace vx
