// The tray icon component: owns one notification-area icon, its tooltip,
// picture and popup menu, and turns what the user does to the icon into
// events for its owner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/form.h"
#include "platform/tray.h"

namespace vx {

// What the owner of a frmSysTray hears; every event is raised synchronously.
class SysTrayEvents {
public:
    virtual ~SysTrayEvents() = default;
    virtual void SysTrayMouseDown(std::int32_t /*eButton*/) {}
    virtual void SysTrayMouseUp(std::int32_t /*eButton*/) {}
    virtual void SysTrayDoubleClick(std::int32_t /*eButton*/) {}
    virtual void MenuClick(std::int32_t /*lIndex*/, const std::string& /*sKey*/) {}
};

class frmSysTray : public Form {
public:
    explicit frmSysTray(SysTrayEvents* owner);
    ~frmSysTray() override;

    std::string ToolTip() const { return m_tip; }
    void ToolTip(const std::string& sTip);
    platform::PictureHandle IconHandle() const { return m_icon; }
    void IconHandle(platform::PictureHandle hIcon);
    // A short message beside the icon; nothing while there is no icon.
    void Notify(const std::string& title, const std::string& text) {
        if (m_tray) m_tray->notify(title, text);
    }

    std::int32_t AddMenuItem(const std::string& sCaption, const std::string& sKey = "", bool bDefault = false);
    void EnableMenuItem(std::int32_t lIndex, bool bState);
    std::int32_t RemoveMenuItem(std::int32_t iIndex);
    std::int32_t DefaultMenuIndex() const { return m_lDefaultIndex; }
    void DefaultMenuIndex(std::int32_t lIndex);
    void ShowMenu();

    // The menu as it stands.
    struct MenuElement {
        std::string Caption;
        std::string Tag;
        bool Visible = true;
        bool Enabled = true;
    };
    const std::vector<MenuElement>& mnuSysTray() const { return m_mnuSysTray; }

    void mnuSysTray_Click(std::int16_t Index);

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& cancel, int unloadMode) override;

private:
    bool IsValidMenuIndex(std::int32_t index) const;
    void OfferMenu();
    void Pressed(platform::MouseButton button);
    void Released(platform::MouseButton button);
    void DoubleClicked(platform::MouseButton button);

    SysTrayEvents* owner_;
    std::unique_ptr<platform::TrayIcon> m_tray;
    std::string m_tip;
    platform::PictureHandle m_icon = 0;
    std::vector<MenuElement> m_mnuSysTray;  // element 0 exists from the start
    bool m_bMenuStarted = false;
    std::int32_t m_lDefaultIndex = 0;
};

}  // namespace vx
