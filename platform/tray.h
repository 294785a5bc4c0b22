// A notification-area (tray) icon: a picture, a tip, a menu, and what the user
// does to it. Each backend does this the platform's own way: the shell's
// notification icon on Windows, QSystemTrayIcon on Linux (XEmbed trays and
// StatusNotifierItem hosts alike).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

namespace vx::platform {

struct TrayMenuItem {
    std::string caption;  // "-" draws a separator line
    bool visible = true;
    bool enabled = true;
};

struct TrayMenu {
    std::vector<TrayMenuItem> items;
    int defaultIndex = -1;  // drawn bold; -1 for none
};

struct TrayEvents {
    // A button went down or up over the icon. A tray that reports clicks
    // only reports a click as both, down first.
    std::function<void(MouseButton)> pressed;
    std::function<void(MouseButton)> released;
    // A double click; also a StatusNotifierItem host's activation, which is
    // what a double click means on other trays.
    std::function<void(MouseButton)> doubleClicked;
    // An item of the menu was chosen, from popUpMenu() or from a menu the
    // tray host drew itself; the index is into TrayMenu::items.
    std::function<void(int index)> menuChosen;
};

class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    virtual void setPicture(PictureHandle picture) = 0;
    virtual void setTip(const std::string& tip) = 0;
    // The menu the icon offers. Hosts that draw the menu themselves show
    // this one; popUpMenu() shows it at the pointer.
    virtual void setMenu(const TrayMenu& menu) = 0;
    // Shows the menu at the pointer and waits until it closes; a choice is
    // reported through menuChosen. Only the left button chooses an item.
    // Does nothing where the host shows the menu itself.
    virtual void popUpMenu() = 0;
    // A short message beside the icon (a balloon or the desktop's
    // notification); it goes away by itself.
    virtual void notify(const std::string& title, const std::string& text) = 0;
};

// Whether the desktop has a notification area now (one may appear later).
bool TrayAvailable();

// The icon is shown from the start (or as soon as a tray host appears) and
// leaves the tray when the object goes.
std::unique_ptr<TrayIcon> CreateTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events);

}  // namespace vx::platform
