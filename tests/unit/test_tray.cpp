// The tray icon component: the icon it shows, what the user's clicks become,
// its menu, and the level pictures.
#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "tests/support/program.h"
#include "tray/LevelPictures.h"
#include "tray/frmSysTray.h"

namespace vx {
namespace {

using platform::MouseButton;

struct Recorder : SysTrayEvents {
    std::vector<std::string> events;
    std::function<void()> onMenuClick;
    void SysTrayMouseDown(std::int32_t b) override { events.push_back("down" + std::to_string(b)); }
    void SysTrayMouseUp(std::int32_t b) override { events.push_back("up" + std::to_string(b)); }
    void SysTrayDoubleClick(std::int32_t b) override { events.push_back("dbl" + std::to_string(b)); }
    void MenuClick(std::int32_t i, const std::string& k) override {
        events.push_back("menu" + std::to_string(i) + ":" + k);
        if (onMenuClick) onMenuClick();
    }
};

class Tray : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        tray = std::make_unique<frmSysTray>(&recorder);
        tray->Load();
    }
    void TearDown() override {
        fake::ProcessEvents();
        tray.reset();
        ProgramTest::TearDown();
    }
    std::vector<std::string> Captions() {
        std::vector<std::string> c;
        for (const auto& item : S().tray.menu.items) c.push_back(item.caption);
        return c;
    }

    Recorder recorder;
    std::unique_ptr<frmSysTray> tray;
};

TEST_F(Tray, LoadShowsTheIconWithTheFileDescription) {
    EXPECT_TRUE(S().tray.shown);
    EXPECT_EQ(S().tray.created, 1);
    EXPECT_EQ(S().tray.picture, WindowIconPicture()) << "the component's own icon until told otherwise";
    EXPECT_EQ(S().tray.tip, "vxstat");
    EXPECT_EQ(tray->ToolTip(), "vxstat");
    EXPECT_EQ(Captions(), std::vector<std::string>{""}) << "element 0 exists from the start";
    EXPECT_FALSE(tray->window().visible()) << "the component's window is never shown";
}

TEST_F(Tray, PictureAndTipFollowTheirProperties) {
    tray->ToolTip("vxStats");
    EXPECT_EQ(S().tray.tip, "vxStats");
    const platform::PictureHandle level = LevelPicture(3);
    tray->IconHandle(level);
    EXPECT_EQ(S().tray.picture, level);
    EXPECT_EQ(tray->IconHandle(), level);
    EXPECT_EQ(S().tray.tip, "vxStats") << "the tip stays";
}

TEST_F(Tray, TooltipsAreCutTo64CharactersOrAtAnEmbeddedNul) {
    const std::string t64(64, 'b'), t65 = std::string(64, 'c') + "d";
    tray->ToolTip(t64);
    EXPECT_EQ(S().tray.tip, t64);
    EXPECT_EQ(tray->ToolTip(), t64);
    tray->ToolTip(t65);
    EXPECT_EQ(S().tray.tip, std::string(64, 'c'));
    EXPECT_EQ(tray->ToolTip(), std::string(64, 'c'));
    tray->ToolTip(std::string("ab\0cd", 5));
    EXPECT_EQ(S().tray.tip, "ab");
    tray->ToolTip("");
    EXPECT_EQ(S().tray.tip, "");
    EXPECT_EQ(tray->ToolTip(), "");
}

TEST_F(Tray, ClicksBecomeTheOwnersEvents) {
    // A left click is reported when the button comes up, as "mouse down 1";
    // the right button goes down at once, and comes up.
    fake::TrayClick(MouseButton::Left);
    fake::TrayClick(MouseButton::Right);
    fake::TrayClick(MouseButton::Middle);
    fake::TrayDoubleClick(MouseButton::Left);
    fake::TrayDoubleClick(MouseButton::Right);
    fake::TrayDoubleClick(MouseButton::Middle);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"down1", "down2", "up2", "dbl1", "dbl2"}));
}

TEST_F(Tray, UnloadingForAnyReasonRemovesTheIcon) {
    tray->ToolTip("x");
    EXPECT_TRUE(tray->Unload(vbAppWindows));
    EXPECT_FALSE(S().tray.shown);
    EXPECT_FALSE(tray->isLoaded());
    fake::TrayClick(MouseButton::Right);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(Tray, AMenuHandlerMayUnloadTheComponent) {
    tray->AddMenuItem("&Close", "close");
    recorder.onMenuClick = [&] { tray->Unload(); };
    fake::TrayChoose(0);
    EXPECT_FALSE(S().tray.shown);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"menu0:close"}));
    S().popupAnswers.push_back(0);
    tray->ShowMenu();  // no icon, no menu
    EXPECT_TRUE(S().popups.empty());
}

TEST_F(Tray, MenuItemsAreAddedAtTheNextIndexAndOfferedWithTheirDefault) {
    EXPECT_EQ(tray->AddMenuItem("a", "ka", true), 0);
    EXPECT_EQ(tray->AddMenuItem("b", "kb"), 1);
    EXPECT_EQ(tray->AddMenuItem("c", "kc"), 2);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(tray->DefaultMenuIndex(), 0);
    EXPECT_EQ(S().tray.menu.defaultIndex, 0);
    tray->DefaultMenuIndex(7);
    EXPECT_EQ(tray->DefaultMenuIndex(), 0) << "out of range falls back to the first item";
    tray->DefaultMenuIndex(2);
    EXPECT_EQ(S().tray.menu.defaultIndex, 2);
    tray->DefaultMenuIndex(-1);
    EXPECT_EQ(tray->DefaultMenuIndex(), 0);

    tray->EnableMenuItem(5, false);
    tray->EnableMenuItem(1, false);
    EXPECT_FALSE(S().tray.menu.items[1].enabled);
    EXPECT_TRUE(S().tray.menu.items[0].enabled);
    EXPECT_TRUE(S().tray.menu.items[2].visible);
}

TEST_F(Tray, ChoicesReportTheirIndexAndKeyAndStrayOnesNothing) {
    tray->AddMenuItem("a", "ka");
    tray->AddMenuItem("b", "kb");
    for (int index : {1, 0, 2, -1}) fake::TrayChoose(index);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"menu1:kb", "menu0:ka"}));
}

TEST_F(Tray, RemovingMovesCaptionsAndKeysOnly) {
    tray->AddMenuItem("a", "ka");
    tray->AddMenuItem("b", "kb");
    tray->AddMenuItem("c", "kc");
    tray->EnableMenuItem(2, false);
    EXPECT_EQ(tray->RemoveMenuItem(1), 0);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"a", "c"}));
    EXPECT_TRUE(S().tray.menu.items[1].enabled) << "position 1 keeps its own state";

    S().popupAnswers.push_back(1);
    tray->ShowMenu();
    EXPECT_EQ(recorder.events.back(), "menu1:kc");

    tray->RemoveMenuItem(0);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"", "c"}));
    fake::TrayChoose(0);
    EXPECT_EQ(recorder.events.back(), "menu0:ka") << "element 0 keeps its key";
    EXPECT_EQ(tray->AddMenuItem("d", "kd"), 2) << "element 0 is not taken again";
    tray->RemoveMenuItem(9);
    EXPECT_EQ(Captions().size(), 3u);
}

TEST_F(Tray, ShowMenuPopsTheMenuWithItsDefault) {
    tray->AddMenuItem("&Open vxStat", "open", true);
    tray->AddMenuItem("-", "");
    tray->AddMenuItem("&Close", "close");
    tray->DefaultMenuIndex(2);
    tray->ShowMenu();  // dismissed
    ASSERT_EQ(S().popups.size(), 1u);
    EXPECT_EQ(S().popups[0].defaultIndex, 2);
    EXPECT_EQ(S().popups[0].items[1].caption, "-");
    EXPECT_TRUE(recorder.events.empty()) << "nothing chosen, no event";

    // A default left behind by a removal draws no default.
    tray->RemoveMenuItem(2);
    S().popupAnswers.push_back(0);
    tray->ShowMenu();
    EXPECT_EQ(S().popups.back().defaultIndex, -1);
    EXPECT_EQ(recorder.events.back(), "menu0:open");
}

TEST(TrayMenu, StopsAt32767WithOverflow) {
    test::ResetProgram();
    frmSysTray tray(nullptr);  // not loaded: no icon to offer each item to
    for (int i = 0; i <= 32767; ++i) tray.AddMenuItem("x", "k");
    EXPECT_EQ(tray.mnuSysTray().size(), 32768u);
    try {
        tray.AddMenuItem("one too many", "k");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kErrOverflow);
    }
    EXPECT_EQ(tray.mnuSysTray().size(), 32768u) << "nothing added";
}

TEST(LevelPictures, WhiteWithAGreenBarFromTheBottom) {
    for (int level = 0; level < 8; ++level) {
        auto px = LevelPixels(4 * (level + 1));
        ASSERT_EQ(px.size(), 32u * 32u);
        const int greenRows = 4 * (level + 1);
        for (int y = 0; y < 32; ++y) {
            const std::uint32_t expected = y >= 32 - greenRows ? 0x87FF1Du : 0xFFFFFFu;
            for (int x = 0; x < 32; x += 31)
                ASSERT_EQ(px[static_cast<std::size_t>(y * 32 + x)], expected) << level << ' ' << y;
        }
    }
    auto icon = LevelPixels(20);
    EXPECT_EQ(icon[11 * 32], 0xFFFFFFu);
    EXPECT_EQ(icon[12 * 32], 0x87FF1Du);
    EXPECT_NE(LevelPicture(0), LevelPicture(7));
    EXPECT_EQ(LevelPicture(3), LevelPicture(3)) << "made once";
    EXPECT_EQ(fake::S().pictures.at(LevelPicture(7)).rgb, LevelPixels(32));
    EXPECT_EQ(fake::S().pictures.at(WindowIconPicture()).rgb, LevelPixels(20));
}

}  // namespace
}  // namespace vx
