#include "winutil/modControlBox.h"

#include "dialogs/frmLogStats.h"
#include "monitor/frmMain.h"
#include "platform/user32.h"
#include "retrieval/modFunctions.h"

namespace vx {

platform::LONG_PTR lpPrevWndProc = 0;

void ExtendSystemMenu(Form& frm) {
    using namespace platform;
    HMENU hMenu = GetSystemMenu(frm.hWnd(), 0);
    AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(hMenu, MF_STRING, IDM_ALWAYSONTOP, "Always on top");
    AppendMenuA(hMenu, MF_STRING, IDM_STATISTICS, "Statistics");
    frm.Show();
    lpPrevWndProc = SetWindowLongA(frm.hWnd(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlBoxWndProc));
}

platform::LRESULT VX_CALLBACK ControlBoxWndProc(platform::HWND hWnd, platform::UINT uMsg, platform::WPARAM wParam,
                                                platform::LPARAM lParam) {
    using namespace platform;
    if (uMsg == WM_SYSCOMMAND && wParam == IDM_ALWAYSONTOP) {
        int keyAscii = 32;
        Default<frmMain>::Get().Form_KeyPress(keyAscii);
        return 0;
    }
    if (uMsg == WM_SYSCOMMAND && wParam == IDM_STATISTICS) {
        SaveTotals();
        Default<frmLogStats>::Get().Show();
        return 0;
    }
    return CallWindowProcA(lpPrevWndProc, hWnd, uMsg, wParam, lParam);
}

}  // namespace vx
