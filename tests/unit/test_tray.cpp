// The tray icon component: the record the shell receives, the mouse messages
// it decodes, its popup menu, and the level pictures.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/user32.h"
#include "runtime/errors.h"
#include "tests/support/program.h"
#include "tray/LevelPictures.h"
#include "tray/frmSysTray.h"

namespace vx {
namespace {

struct Recorder : SysTrayEvents {
    std::vector<std::string> events;
    void SysTrayMouseDown(std::int32_t b) override { events.push_back("down" + std::to_string(b)); }
    void SysTrayMouseUp(std::int32_t b) override { events.push_back("up" + std::to_string(b)); }
    void SysTrayMouseMove() override { events.push_back("move"); }
    void SysTrayDoubleClick(std::int32_t b) override { events.push_back("dbl" + std::to_string(b)); }
    void MenuClick(std::int32_t i, const std::string& k) override { events.push_back("menu" + std::to_string(i) + ":" + k); }
};

class Tray : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        tray = std::make_unique<frmSysTray>(&recorder);
        tray->Load();
    }
    void TearDown() override {
        tray.reset();
        ProgramTest::TearDown();
    }
    // What the shell would send for a mouse message on the icon.
    void Mouse(platform::LPARAM message) {
        platform::SendMessageA(tray->hWnd(), tray->nid().uCallbackMessage, tray->nid().uID, message);
    }
    std::string TipBytes(const platform::NOTIFYICONDATA& r) { return std::string(r.szTip, 64); }

    Recorder recorder;
    std::unique_ptr<frmSysTray> tray;
};

TEST_F(Tray, LoadAddsTheIconWithTheFileDescription) {
    ASSERT_EQ(S().shellCalls.size(), 1u);
    const auto& add = S().shellCalls[0];
    EXPECT_EQ(add.message, platform::NIM_ADD);
    EXPECT_EQ(add.record.cbSize, 88u);
    EXPECT_EQ(add.record.hWnd, tray->hWnd());
    EXPECT_NE(add.record.hIcon, 0);
    EXPECT_EQ(static_cast<platform::HICON>(add.record.uID), add.record.hIcon) << "the id is the form's own icon";
    EXPECT_EQ(add.record.uFlags, 7u);
    EXPECT_EQ(add.record.uCallbackMessage, 512u);
    EXPECT_EQ(TipBytes(add.record), std::string("vxstat") + '\0' + std::string(57, ' '));
    EXPECT_EQ(tray->ToolTip(), "vxstat");
    EXPECT_FALSE(tray->window().visible()) << "the component's window is never shown";
}

TEST_F(Tray, ChangesSendOnlyTheirPartAndUnchangedValuesSendNothing) {
    tray->ToolTip("vxStats");
    tray->ToolTip("vxStats");
    ASSERT_EQ(S().shellCalls.size(), 2u);
    EXPECT_EQ(S().shellCalls[1].message, platform::NIM_MODIFY);
    EXPECT_EQ(S().shellCalls[1].record.uFlags, 4u);

    const platform::HICON level = LevelPicture(3);
    tray->IconHandle(level);
    tray->IconHandle(level);
    ASSERT_EQ(S().shellCalls.size(), 3u);
    EXPECT_EQ(S().shellCalls[2].record.uFlags, 2u);
    EXPECT_EQ(S().shellCalls[2].record.hIcon, level);
    EXPECT_STREQ(S().shellCalls[2].record.szTip, "vxStats") << "the record keeps the other fields";
    EXPECT_EQ(tray->IconHandle(), level);
}

TEST_F(Tray, TooltipsFitWithTheirNulOrAreCutTo64Characters) {
    const std::string t63(63, 'a'), t64(64, 'b'), t65 = std::string(64, 'c') + "d";
    tray->ToolTip(t63);
    EXPECT_EQ(TipBytes(S().shellCalls.back().record), t63 + '\0');
    EXPECT_EQ(tray->ToolTip(), t63);

    tray->ToolTip(t64);
    EXPECT_EQ(TipBytes(S().shellCalls.back().record), t64) << "no room for the NUL";
    EXPECT_EQ(tray->ToolTip(), t64);

    tray->ToolTip(t65);
    EXPECT_EQ(TipBytes(S().shellCalls.back().record), std::string(64, 'c'));
    EXPECT_EQ(tray->ToolTip(), std::string(64, 'c'));
    const std::size_t calls = S().shellCalls.size();
    tray->ToolTip(t65);  // differs from the stored 64 characters, so it is sent again
    EXPECT_EQ(S().shellCalls.size(), calls + 1);

    tray->ToolTip("");
    EXPECT_EQ(S().shellCalls.back().record.szTip[0], '\0');
    EXPECT_EQ(tray->ToolTip(), "");
}

TEST_F(Tray, MouseMessagesBecomeEventsByTheDecodeTable) {
    for (platform::LPARAM m : {512, 513, 514, 515, 516, 517, 518, 519, 520, 521, 0, 70000}) Mouse(m);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"move", "down1", "dbl1", "down2", "up2", "dbl2"}));
}

TEST_F(Tray, UnloadingForAnyReasonDeletesTheIcon) {
    tray->ToolTip("x");
    EXPECT_TRUE(tray->Unload(vbAppWindows));
    EXPECT_EQ(S().shellCalls.back().message, platform::NIM_DELETE);
    EXPECT_EQ(S().shellCalls.back().record.uFlags, 4u) << "the last flags stored";
    EXPECT_FALSE(tray->isLoaded());
}

TEST_F(Tray, MenuItemsAreAddedAtTheNextIndexAndTheDefaultIsKept) {
    EXPECT_EQ(tray->AddMenuItem("a", "ka", true), 0);
    EXPECT_EQ(tray->AddMenuItem("b", "kb"), 1);
    EXPECT_EQ(tray->AddMenuItem("c", "kc"), 2);
    EXPECT_EQ(tray->DefaultMenuIndex(), 0);
    tray->DefaultMenuIndex(7);
    EXPECT_EQ(tray->DefaultMenuIndex(), 0) << "out of range falls back to the first item";
    tray->DefaultMenuIndex(2);
    EXPECT_EQ(tray->DefaultMenuIndex(), 2);
    tray->DefaultMenuIndex(-1);
    EXPECT_EQ(tray->DefaultMenuIndex(), 0);

    tray->EnableMenuItem(5, false);
    tray->EnableMenuItem(1, false);
    EXPECT_FALSE(tray->mnuSysTray()[1].Enabled);
    EXPECT_TRUE(tray->mnuSysTray()[0].Enabled);
}

TEST_F(Tray, RemovingMovesCaptionsAndKeysOnly) {
    tray->AddMenuItem("a", "ka");
    tray->AddMenuItem("b", "kb");
    tray->AddMenuItem("c", "kc");
    tray->EnableMenuItem(2, false);
    EXPECT_EQ(tray->RemoveMenuItem(1), 0);
    ASSERT_EQ(tray->mnuSysTray().size(), 2u);
    EXPECT_EQ(tray->mnuSysTray()[1].Caption, "c");
    EXPECT_EQ(tray->mnuSysTray()[1].Tag, "kc");
    EXPECT_TRUE(tray->mnuSysTray()[1].Enabled) << "position 1 keeps its own state";

    S().popupAnswers.push_back(1);
    tray->ShowMenu();
    EXPECT_EQ(recorder.events.back(), "menu1:kc");

    tray->RemoveMenuItem(0);
    EXPECT_EQ(tray->mnuSysTray()[0].Caption, "");
    EXPECT_EQ(tray->mnuSysTray()[0].Tag, "ka");
    EXPECT_EQ(tray->mnuSysTray().size(), 2u);
    EXPECT_EQ(tray->AddMenuItem("d", "kd"), 2) << "element 0 is not taken again";
    tray->RemoveMenuItem(9);
    EXPECT_EQ(tray->mnuSysTray().size(), 3u);
}

TEST_F(Tray, ShowMenuComesForwardThenPopsTheMenuWithItsDefault) {
    tray->AddMenuItem("&Open vxStat", "open", true);
    tray->AddMenuItem("-", "");
    tray->AddMenuItem("&Close", "close");
    tray->DefaultMenuIndex(2);
    tray->ShowMenu();  // dismissed
    ASSERT_EQ(S().foregroundCalls.size(), 1u);
    EXPECT_EQ(S().foregroundCalls[0], tray->hWnd());
    ASSERT_EQ(S().popups.size(), 1u);
    EXPECT_EQ(S().popups[0].defaultIndex, 2);
    EXPECT_EQ(S().popups[0].flags, 0u);
    EXPECT_EQ(S().popups[0].items[1].caption, "-");
    EXPECT_TRUE(recorder.events.empty()) << "nothing chosen, no event";

    // A default left behind by a removal does not fail the menu.
    tray->RemoveMenuItem(2);
    S().popupAnswers.push_back(0);
    tray->ShowMenu();
    EXPECT_EQ(S().popups.back().defaultIndex, -1);
    EXPECT_EQ(recorder.events.back(), "menu0:open");
}

TEST_F(Tray, TheMenuStopsAt32767WithOverflow) {
    for (int i = 0; i <= 32767; ++i) tray->AddMenuItem("x", "k");
    EXPECT_EQ(tray->mnuSysTray().size(), 32768u);
    try {
        tray->AddMenuItem("one too many", "k");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrOverflow);
    }
    EXPECT_EQ(tray->mnuSysTray().size(), 32768u) << "nothing added";
}

TEST(LevelPictures, WhiteWithAGreenBarFromTheBottom) {
    for (int level = 0; level < 8; ++level) {
        auto px = LevelPixels(4 * (level + 1));
        ASSERT_EQ(px.size(), 32u * 32u);
        const int greenRows = 4 * (level + 1);
        for (int y = 0; y < 32; ++y) {
            const std::uint32_t expected = y >= 32 - greenRows ? 0x87FF1Du : 0xFFFFFFu;
            for (int x = 0; x < 32; x += 31) ASSERT_EQ(px[static_cast<std::size_t>(y * 32 + x)], expected) << level << ' ' << y;
        }
    }
    auto icon = LevelPixels(20);
    EXPECT_EQ(icon[11 * 32], 0xFFFFFFu);
    EXPECT_EQ(icon[12 * 32], 0x87FF1Du);
    EXPECT_NE(LevelPicture(0), LevelPicture(7));
    EXPECT_EQ(LevelPicture(3), LevelPicture(3)) << "made once";
    EXPECT_EQ(fake::S().pictures.at(LevelPicture(7)).rgb, LevelPixels(32));
}

}  // namespace
}  // namespace vx
