// The tray icon component: a hidden window that owns one notification-area
// icon, its tooltip and picture, its popup menu, and turns the shell's mouse
// messages into events for its owner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell.h"
#include "runtime/form.h"

namespace vx {

// What the owner of a frmSysTray hears; every event is raised synchronously.
class SysTrayEvents {
public:
    virtual ~SysTrayEvents() = default;
    virtual void SysTrayMouseDown(std::int32_t /*eButton*/) {}
    virtual void SysTrayMouseUp(std::int32_t /*eButton*/) {}
    virtual void SysTrayMouseMove() {}
    virtual void SysTrayDoubleClick(std::int32_t /*eButton*/) {}
    virtual void MenuClick(std::int32_t /*lIndex*/, const std::string& /*sKey*/) {}
};

class frmSysTray : public Form {
public:
    explicit frmSysTray(SysTrayEvents* owner);

    std::string ToolTip() const;
    void ToolTip(const std::string& sTip);
    platform::HICON IconHandle() const;
    void IconHandle(platform::HICON hIcon);

    std::int32_t AddMenuItem(const std::string& sCaption, const std::string& sKey = "", bool bDefault = false);
    void EnableMenuItem(std::int32_t lIndex, bool bState);
    std::int32_t RemoveMenuItem(std::int32_t iIndex);
    std::int32_t DefaultMenuIndex() const;
    void DefaultMenuIndex(std::int32_t lIndex);
    void ShowMenu();

    // The menu as it stands (for the owner's tests and for drawing).
    struct MenuElement {
        std::string Caption;
        std::string Tag;
        bool Visible = true;
        bool Enabled = true;
    };
    const std::vector<MenuElement>& mnuSysTray() const { return m_mnuSysTray; }
    const platform::NOTIFYICONDATA& nid() const { return m_nid; }

    void mnuSysTray_Click(std::int16_t Index);

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& cancel, int unloadMode) override;
    void Form_MouseMove(int button, int shift, float x, float y);

private:
    bool IsValidMenuIndex(std::int32_t index) const;
    void Notify(platform::DWORD message);

    SysTrayEvents* owner_;
    platform::NOTIFYICONDATA m_nid{};
    // The tooltip as the record holds it between calls: 64 characters,
    // left-aligned, blank-padded, with its NUL when it fits.
    std::string m_szTip = std::string(64, ' ');
    std::vector<MenuElement> m_mnuSysTray;  // element 0 exists from the start
    bool m_bMenuStarted = false;
    std::int32_t m_lDefaultIndex = 0;
    platform::HICON m_ownIcon = 0;
};

}  // namespace vx
