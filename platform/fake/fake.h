// The headless backend: complete enough to run every form and module, with
// controls for tests (fire the timer, answer a message box, deliver a tray
// message, read what was sent to the shell).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/net.h"
#include "platform/shell.h"

namespace vx::fake {

struct MessageBoxCall {
    std::string prompt;
    int style;
    std::string title;
};

struct ShellCall {
    platform::DWORD message;
    platform::NOTIFYICONDATA record;  // a copy, as the shell saw it
};

struct SetWindowPosCall {
    platform::HWND hWnd;
    platform::HWND insertAfter;
    int x, y, cx, cy;
    platform::UINT flags;
};

struct PopupCall {
    platform::HWND owner;
    std::vector<platform::MenuItem> items;
    int defaultIndex;
    platform::UINT flags;
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
    bool connectAnswers = true;  // Connect() leads to Connected
    int connectCalls = 0;
    std::string incoming;           // what the next GetData returns
    std::vector<std::string> sent;  // every SendData, in order
};

struct State {
    std::string appPath = "/tmp";
    std::string commandLine;
    std::string dateText = "12/8/2026";
    std::string timeText = "9:05:03 AM";

    std::vector<MessageBoxCall> messageBoxes;
    std::function<void(const MessageBoxCall&)> onMessageBox;  // runs while the box is "open"
    std::vector<ShellCall> shellCalls;
    std::function<void(const ShellCall&)> onShellCall;
    std::vector<SetWindowPosCall> setWindowPosCalls;
    std::vector<platform::HWND> foregroundCalls;
    std::vector<platform::HWND> raised;  // windows brought to the top
    std::vector<PopupCall> popups;
    std::deque<int> popupAnswers;  // chosen index for the next popups; -1 = dismissed
    std::map<platform::HICON, Picture> pictures;

    std::function<platform::UrlResponse(const std::string& url)> urlHandler;
    std::vector<std::string> urlsFetched;
    std::function<std::unique_ptr<platform::TcpClient>()> tcpFactory;  // overrides the fake client
    FakeTcpClient* lastTcpClient = nullptr;

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

// Finds a window by its name; nullptr when none exists.
platform::Window* FindWindow(const std::string& name);

// Shows where each window and control is, as a tree of text (for failures).
std::string Describe();

}  // namespace vx::fake
