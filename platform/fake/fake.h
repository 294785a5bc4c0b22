// The headless backend: complete enough to run every form and module, with
// controls for tests (fire the timer, answer a message box, click the tray
// icon, choose a menu item).
//
// At a glance:
// - Windows and controls: the portable models alone, no peers drawn.
// - System menu: the model's commands, chosen by ChooseSystemCommand().
// - Tray: S().tray holds picture, tip, menu and notices; TrayAvailable() is
//   S().trayAvailable.
// - Message boxes: recorded; S().onMessageBox runs while one is "open".
// - Network: scripted (S().urlHandler, FakeTcpClient, S().gateway); files:
//   the portable profile rules on real files, XDG folders.
// - Event loop: Post() queues, ProcessEvents() runs the queue.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/forms.h"
#include "platform/gateway.h"
#include "platform/net.h"
#include "platform/tray.h"

namespace vx::fake {

struct MessageBoxCall {
    std::string prompt;
    int style;
    std::string title;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
};

// A scripted TCP peer.
class FakeTcpClient : public platform::TcpClient {
public:
    void Connect() override;
    void GetData(std::string& data) override;
    void SendData(const std::string& data) override;
    platform::SocketState State() override { return state; }
    void Close() override { state = platform::SocketState::Closed; }

    platform::SocketState state = platform::SocketState::Closed;
    int connectCalls = 0;
    std::string incoming;           // what the next GetData returns
    std::vector<std::string> sent;  // every SendData, in order
};

class FakeTrayIcon : public platform::TrayIcon {
public:
    FakeTrayIcon(platform::PictureHandle picture, const std::string& tip, platform::TrayEvents events);
    ~FakeTrayIcon() override;
    void setPicture(platform::PictureHandle picture) override;
    void setTip(const std::string& tip) override;
    void setMenu(const platform::TrayMenu& menu) override;
    void popUpMenu() override;
    void notify(const std::string& title, const std::string& text) override;
};

struct State {
    std::string appPath = "/tmp";
    // Whether the program's folder counts as the user's; unset: asks the file system.
    std::optional<bool> programFolderWritable;
    std::string commandLine;
    std::string dateText = "12/8/2026";
    std::string timeText = "9:05:03 AM";

    std::vector<MessageBoxCall> messageBoxes;
    std::vector<platform::WindowHandle> raised;  // windows brought to the top
    // What each window told its peer, in order: a property that changed, or
    // (stateChanged) its state set by the program.
    struct PeerNote {
        platform::WindowHandle window;
        std::optional<platform::Prop> what;  // none: the state changed
        bool operator==(const PeerNote&) const = default;
    };
    std::vector<PeerNote> peerNotes;
    std::function<void(const MessageBoxCall&)> onMessageBox;  // runs while the box is "open"
    // The tray icon, while one exists.
    struct Tray {
        bool shown = false;
        platform::PictureHandle picture = 0;
        std::string tip;
        platform::TrayMenu menu;
        platform::TrayEvents events;
        int created = 0;  // icons made over the run
        struct Notice {
            std::string title, text;
        };
        std::vector<Notice> notices;  // every notify(), in order
    } tray;
    bool trayAvailable = true;               // the desktop has a notification area
    std::vector<platform::TrayMenu> popups;  // every menu popped up, as it was
    std::deque<int> popupAnswers;            // chosen index for the next popups; -1 = dismissed
    std::map<platform::PictureHandle, Picture> pictures;

    std::function<platform::UrlResponse(const std::string& url)> urlHandler;
    std::string lastFetchHeader;  // the extra header line of the last fetch on the worker
    std::vector<std::string> urlsFetched;
    std::function<std::unique_ptr<platform::TcpClient>()> tcpFactory;  // overrides the fake client
    FakeTcpClient* lastTcpClient = nullptr;

    // The UPnP gateway: a round answers with what is here when the program looks for its answer.
    struct Gateway {
        std::string location = "(none)";  // what the program opened
        platform::GatewayAnswer next;     // the next round's answer (failure, totals, details)
        int rounds = 0;
        int detailRounds = 0;
    } gateway;

    // One program per set of files: what this process holds, and the others.
    struct Instance {
        std::string held;                        // the key this process holds; empty: none
        std::function<void()> onRaise;           // what a later start asks of it
        std::vector<std::string> heldElsewhere;  // keys another (pretended) process holds
        std::vector<std::string> raiseAsked;     // keys whose holder this process asked to come forward
    } instance;

    bool quitRequested = false;
    std::deque<std::function<void()>> posted;
};

State& S();

// Resets everything the backend holds (between tests).
void Reset();

// Runs what was posted to the event loop, as the loop would after an event.
void ProcessEvents();

// Thrown by platform::End(): the program ends here.
struct ProgramEnded {};

// What the user does to the tray icon; nothing when there is none.
void TrayClick(platform::MouseButton button);  // down, then up
void TrayDoubleClick(platform::MouseButton button);
void TrayChoose(int index);  // from a menu the tray host drew itself

// Another start of the program asks this one to come to the front, as it
// would through the event loop; false when this process holds no key.
bool StartedAgain();

// Chooses the system-menu command with this text; false when there is none.
bool ChooseSystemCommand(platform::Window& window, const std::string& text);

// Finds a window by its name; nullptr when none exists.
platform::Window* FindWindow(const std::string& name);

}  // namespace vx::fake
