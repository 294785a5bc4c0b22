#include "tray/frmSysTray.h"

#include <algorithm>

#include "platform/app.h"
#include "runtime/errors.h"
#include "tray/LevelPictures.h"

namespace vx {

using platform::MouseButton;

namespace {

// The shell's record holds 64 characters of tooltip.
constexpr std::size_t kTipChars = 64;

std::string TipText(const std::string& tip) {
    const std::size_t nul = tip.find('\0');
    return tip.substr(0, std::min(nul, kTipChars));
}

std::unique_ptr<platform::Window> MakeWindow() {
    auto w =
        std::make_unique<platform::Window>("frmSysTray", "Sys Tray Interface", 1, 1, platform::BorderStyle::Hidden);
    w->setIcon(WindowIconPicture());
    return w;
}

}  // namespace

frmSysTray::frmSysTray(SysTrayEvents* owner) : Form(MakeWindow()), owner_(owner) {
    m_mnuSysTray.push_back(MenuElement{});  // element 0 exists from design
}

frmSysTray::~frmSysTray() = default;

void frmSysTray::Form_Load() {
    m_icon = window().icon();
    m_tip = TipText(platform::AppFileDescription());
    platform::TrayEvents events;
    events.pressed = [this](MouseButton b) { Pressed(b); };
    events.released = [this](MouseButton b) { Released(b); };
    events.doubleClicked = [this](MouseButton b) { DoubleClicked(b); };
    events.menuChosen = [this](int index) {
        if (IsValidMenuIndex(index)) mnuSysTray_Click(static_cast<std::int16_t>(index));
    };
    m_tray = platform::CreateTrayIcon(m_icon, m_tip, std::move(events));
    OfferMenu();
}

void frmSysTray::Form_QueryUnload(int& /*cancel*/, int /*unloadMode*/) {
    // The icon may be the one whose click brought us here: the backend lets
    // go of it once that click has been handled.
    m_tray.reset();
}

void frmSysTray::ToolTip(const std::string& sTip) {
    const std::string tip = TipText(sTip);
    if (tip == m_tip) return;
    m_tip = tip;
    if (m_tray) m_tray->setTip(m_tip);
}

void frmSysTray::IconHandle(platform::PictureHandle hIcon) {
    if (hIcon == m_icon) return;
    m_icon = hIcon;
    if (m_tray) m_tray->setPicture(m_icon);
}

// The shell reports a left click as the button's release, and the component
// has always called that the mouse going down; the right button goes down
// when it is pressed.
void frmSysTray::Pressed(MouseButton button) {
    if (owner_ && button == MouseButton::Right) owner_->SysTrayMouseDown(2);
}

void frmSysTray::Released(MouseButton button) {
    if (!owner_) return;
    if (button == MouseButton::Left) owner_->SysTrayMouseDown(1);
    if (button == MouseButton::Right) owner_->SysTrayMouseUp(2);
}

void frmSysTray::DoubleClicked(MouseButton button) {
    if (owner_ && button != MouseButton::Middle) owner_->SysTrayDoubleClick(button == MouseButton::Left ? 1 : 2);
}

bool frmSysTray::IsValidMenuIndex(std::int32_t index) const {
    return index >= 0 && index <= static_cast<std::int32_t>(m_mnuSysTray.size()) - 1;
}

void frmSysTray::OfferMenu() {
    if (!m_tray) return;
    platform::TrayMenu menu;
    for (const MenuElement& e : m_mnuSysTray) menu.items.push_back({e.Caption, e.Visible, e.Enabled});
    // A default index left beyond the end by a removal draws no default.
    menu.defaultIndex = IsValidMenuIndex(m_lDefaultIndex) ? m_lDefaultIndex : -1;
    m_tray->setMenu(menu);
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
    OfferMenu();
    return index;
}

void frmSysTray::EnableMenuItem(std::int32_t lIndex, bool bState) {
    if (!IsValidMenuIndex(lIndex)) return;
    m_mnuSysTray[static_cast<std::size_t>(lIndex)].Enabled = bState;
    OfferMenu();
}

std::int32_t frmSysTray::RemoveMenuItem(std::int32_t iIndex) {
    if (!IsValidMenuIndex(iIndex)) return 0;
    if (iIndex == 0) {
        m_mnuSysTray[0].Caption.clear();
    } else {
        // Only captions and keys move down; each position keeps its own state.
        const std::size_t upper = m_mnuSysTray.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(iIndex) + 1; i <= upper; ++i) {
            m_mnuSysTray[i - 1].Caption = m_mnuSysTray[i].Caption;
            m_mnuSysTray[i - 1].Tag = m_mnuSysTray[i].Tag;
        }
        m_mnuSysTray.pop_back();
    }
    OfferMenu();
    return 0;
}

void frmSysTray::DefaultMenuIndex(std::int32_t lIndex) {
    m_lDefaultIndex = IsValidMenuIndex(lIndex) ? lIndex : 0;
    OfferMenu();
}

void frmSysTray::ShowMenu() {
    if (m_tray) m_tray->popUpMenu();
}

void frmSysTray::mnuSysTray_Click(std::int16_t Index) {
    const std::string key = m_mnuSysTray[static_cast<std::size_t>(Index)].Tag;
    if (owner_) owner_->MenuClick(static_cast<std::int32_t>(Index), key);
}

}  // namespace vx
