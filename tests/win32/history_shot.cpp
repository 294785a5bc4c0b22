// The history window with a household's month, open until it is closed: for
// the README's picture (scripts/screenshot-history-windows).
#include <ctime>

#include "historyview/frmHistory.h"
#include "platform/app.h"
#include "tests/support/demo_history.h"

int main(int argc, char** argv) {
    vx::platform::InitApplication(argc, argv);
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    vx::ShowHistory([now] { return std::optional<vx::HistorySummary>(vx::test::DemoHistorySummary(now)); });
    return vx::platform::RunEventLoop();
}
