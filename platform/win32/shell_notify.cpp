// The notification-area icon: the component's record converted to the
// shell's, and the icons added, so their callbacks can be recognised.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/backend.h"

namespace vx::platform {

namespace win32 {

namespace {

constexpr ::DWORD kModelRecordSize = 88;
constexpr std::size_t kTipBytes = 64;
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88), "first record layout");

// (window, icon id) of every icon added and not yet deleted.
std::vector<std::pair<::HWND, UINT>>& Icons() {
    static std::vector<std::pair<::HWND, UINT>> icons;
    return icons;
}

}  // namespace

NOTIFYICONDATAA ShellRecord(const ModelNotifyIconData& model) {
    NOTIFYICONDATAA record{};
    // The component keeps the 32-bit record (88 bytes); here the same layout
    // has 64-bit handles and so its own size.
    record.cbSize = model.cbSize == kModelRecordSize ? NOTIFYICONDATAA_V1_SIZE
                                                     : std::min<::DWORD>(model.cbSize, sizeof record);
    record.hWnd = Native(model.hWnd);
    record.uID = model.uID;
    record.uFlags = model.uFlags;
    record.uCallbackMessage = model.uCallbackMessage;
    record.hIcon = reinterpret_cast<::HICON>(model.hIcon);
    // The tooltip ends at its NUL, or fills the field; the shell's copy always
    // ends in a NUL, so at most 63 bytes of it are text.
    const char* tip = model.szTip;
    std::string ansi = ToAnsi(std::string_view(tip, strnlen(tip, kTipBytes)));
    std::size_t n = std::min(ansi.size(), kTipBytes - 1);
    if (n < ansi.size()) {
        // Never end on the first half of a double-byte character.
        std::size_t i = 0;
        while (i < n) i += IsDBCSLeadByte(static_cast<BYTE>(ansi[i])) ? 2 : 1;
        if (i > n) n = i - 2;
    }
    std::memcpy(record.szTip, ansi.data(), n);
    record.szTip[n] = '\0';
    return record;
}

bool IsTrayCallback(::HWND hwnd, WPARAM wParam, LPARAM lParam) {
    // The shell's callback carries the icon's id where a real mouse move has
    // its key flags, and a mouse message number where it has coordinates.
    const UINT id = static_cast<UINT>(wParam);
    const UINT message = LOWORD(lParam);
    if (message < WM_MOUSEFIRST || message > WM_MOUSELAST) return false;
    const auto& icons = Icons();
    return std::find(icons.begin(), icons.end(), std::make_pair(hwnd, id)) != icons.end();
}

void RemoveTrayIcons() {
    for (const auto& [hwnd, id] : Icons()) {
        NOTIFYICONDATAA record{};
        record.cbSize = NOTIFYICONDATAA_V1_SIZE;
        record.hWnd = hwnd;
        record.uID = id;
        ::Shell_NotifyIconA(NIM_DELETE, &record);
    }
    Icons().clear();
}

}  // namespace win32

BOOL Shell_NotifyIconA(DWORD message, win32::ModelNotifyIconData* data) {
    if (data == nullptr) return FALSE;
    NOTIFYICONDATAA record = win32::ShellRecord(*data);
    BOOL ok = ::Shell_NotifyIconA(message, &record);
    auto& icons = win32::Icons();
    auto icon = std::make_pair(record.hWnd, record.uID);
    if (message == NIM_ADD && ok && std::find(icons.begin(), icons.end(), icon) == icons.end()) icons.push_back(icon);
    if (message == NIM_DELETE) icons.erase(std::remove(icons.begin(), icons.end(), icon), icons.end());
    return ok;
}

}  // namespace vx::platform
