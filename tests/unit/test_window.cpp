// The portable window and control models: control rules, form lifetimes, and
// what a window asks of its backend (always on top, system-menu commands,
// its state).
#include <gtest/gtest.h>

#include "forms/form.h"
#include "platform/forms.h"
#include "runtime/errors.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using namespace platform;
using Note = fake::State::PeerNote;

struct Probe : Form {
    Probe() : Form(std::make_unique<Window>("probe", "p", 10, 10, BorderStyle::FixedDialog)) {}
    int loads = 0, unloads = 0;
    bool refuse = false;
    void Form_Load() override { ++loads; }
    void Form_QueryUnload(int& cancel, int) override { cancel = refuse; }
    void Form_Unload(int&) override { ++unloads; }
};

class WindowModel : public test::ProgramTest {
protected:
    void TearDown() override {
        fake::ProcessEvents();
        Default<Probe>::Discard();
        ProgramTest::TearDown();
    }
    // What the window told its peer, in order.
    std::vector<Note> NotesOf(const Window& w) {
        std::vector<Note> notes;
        for (const Note& n : S().peerNotes)
            if (n.window == w.hWnd()) notes.push_back(n);
        return notes;
    }
};

TEST_F(WindowModel, ProgressBarsRefuseValuesOutsideTheirRange) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    ProgressBar& bar = w.addProgressBar("bar", Twips{}, 0, 100);
    bar.setValue(100);
    EXPECT_EQ(bar.value(), 100);
    for (float bad : {-1.0f, 100.5f}) {
        try {
            bar.setValue(bad);
            FAIL() << bad;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), kErrInvalidPropertyValue);
        }
    }
    EXPECT_EQ(bar.value(), 100);
    EXPECT_THROW(bar.setMax(0), RuntimeError);
    bar.setMax(50);
    EXPECT_EQ(bar.value(), 50) << "a smaller scale pulls the value in";
}

TEST_F(WindowModel, TextChangesRaiseChangeOnlyWhenTheTextChanges) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    TextBox& t = w.addTextBox("t", Twips{}, "a");
    int changes = 0;
    t.onChange = [&] { ++changes; };
    t.setText("a");
    t.setText("b");
    t.setText("b");
    EXPECT_EQ(changes, 1);
    CheckBox& c = w.addCheckBox("c", Twips{}, "c");
    EXPECT_THROW(c.setValue(3), RuntimeError);
    EXPECT_THROW(c.setValue(-1), RuntimeError);
    c.setValue(2);
    EXPECT_EQ(c.value(), 2);
}

TEST_F(WindowModel, AlwaysOnTopTellsThePeerOncePerChange) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    EXPECT_FALSE(w.alwaysOnTop());
    w.setAlwaysOnTop(false);
    w.setAlwaysOnTop(true);
    w.setAlwaysOnTop(true);
    EXPECT_TRUE(w.alwaysOnTop());
    w.setAlwaysOnTop(false);
    const Note onTop{w.hWnd(), Prop::OnTop};
    EXPECT_EQ(NotesOf(w), (std::vector<Note>{onTop, onTop}));
}

TEST_F(WindowModel, SystemCommandsRunTheirHandlerAndSeparatorsAndStrayIndicesNothing) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    std::vector<std::string> ran;
    w.addSystemSeparator();
    w.addSystemCommand("One", [&] { ran.push_back("one"); });
    w.addSystemCommand("Two", [&] { ran.push_back("two"); });
    ASSERT_EQ(w.systemCommands().size(), 3u);
    EXPECT_EQ(w.systemCommands()[0].text, "");
    EXPECT_EQ(w.systemCommands()[2].text, "Two");
    const Note menu{w.hWnd(), Prop::SystemMenu};
    EXPECT_EQ(NotesOf(w), (std::vector<Note>{menu, menu, menu})) << "the peer hears every addition";

    w.userSystemCommand(2);
    w.userSystemCommand(1);
    w.userSystemCommand(0);  // the separator
    w.userSystemCommand(3);
    w.userSystemCommand(static_cast<std::size_t>(-1));
    EXPECT_EQ(ran, (std::vector<std::string>{"two", "one"}));
}

TEST_F(WindowModel, ACommandMayChangeTheMenuWhileItRuns) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    int runs = 0;
    w.addSystemCommand("Grow", [&] {
        // Enough additions to move the list in memory under the running handler.
        for (int i = 0; i < 64; ++i) {
            std::string text = "x";
            text += std::to_string(i);
            w.addSystemCommand(text, nullptr);
        }
        ++runs;
    });
    w.userSystemCommand(0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(w.systemCommands().size(), 65u);
}

TEST_F(WindowModel, ACommandThatUnloadsItsFormIsSafe) {
    Probe& p = Default<Probe>::Get();
    p.Show();
    int after = 0;
    p.window().addSystemCommand("Close me", [&] {
        Default<Probe>::Unload();
        ++after;  // the form's objects are still there until the event is over
    });
    EXPECT_TRUE(fake::ChooseSystemCommand(p.window(), "Close me"));
    EXPECT_EQ(after, 1);
    EXPECT_FALSE(Default<Probe>::Exists());
    EXPECT_EQ(p.unloads, 1);
    EXPECT_FALSE(p.window().visible());
    EXPECT_TRUE(S().quitRequested);
    fake::ProcessEvents();  // now it goes
    EXPECT_EQ(fake::FindWindow("probe"), nullptr);
}

TEST_F(WindowModel, TheProgramsStateChangeTellsThePeerTheUsersDoesNot) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    int resizes = 0;
    w.onResize = [&] { ++resizes; };
    w.setWindowState(WindowState::Minimized);
    w.setWindowState(WindowState::Minimized);
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(NotesOf(w), (std::vector<Note>{Note{w.hWnd(), std::nullopt}}));
    w.userStateChanged(WindowState::Normal);  // the backend already shows it
    w.userStateChanged(WindowState::Normal);
    EXPECT_EQ(resizes, 2);
    EXPECT_EQ(w.windowState(), WindowState::Normal);
    EXPECT_EQ(NotesOf(w).size(), 1u);
}

TEST_F(WindowModel, TheCloseBoxAsksTheOwner) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    w.userCloseRequested();  // no owner: nothing
    int asked = 0;
    w.onCloseRequest = [&] { ++asked; };
    w.userCloseRequested();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Window::fromHandle(w.hWnd()), &w);
    EXPECT_EQ(Window::fromHandle(0), nullptr);
}

TEST_F(WindowModel, FormsLoadOnceUnloadOnceAndTheLastOneEndsTheProgram) {
    Probe& p = Default<Probe>::Get();
    EXPECT_EQ(&Default<Probe>::Get(), &p);
    EXPECT_EQ(p.loads, 1);
    p.Show();
    EXPECT_EQ(p.loads, 1);
    EXPECT_EQ(Form::LoadedCount(), 1);
    p.refuse = true;
    EXPECT_FALSE(Default<Probe>::Unload());
    EXPECT_TRUE(Default<Probe>::Exists());
    EXPECT_FALSE(S().quitRequested);
    p.refuse = false;
    EXPECT_TRUE(Default<Probe>::Unload());
    EXPECT_EQ(p.unloads, 1) << "still alive until the event is over";
    EXPECT_FALSE(p.window().visible());
    EXPECT_FALSE(Default<Probe>::Exists());
    EXPECT_TRUE(S().quitRequested);
    fake::ProcessEvents();
    Probe& again = Default<Probe>::Get();
    EXPECT_EQ(again.loads, 1) << "a fresh instance";
}

TEST_F(WindowModel, ATimerNeverTicksIntoAnUnloadedForm) {
    Probe& p = Default<Probe>::Get();
    int ticks = 0;
    Timer& t = p.window().addTimer("t", 1000);
    t.onTimer = [&] { ++ticks; };
    t.tick();
    Default<Probe>::Unload();
    t.tick();
    EXPECT_EQ(ticks, 1);
    fake::ProcessEvents();
}

}  // namespace
}  // namespace vx
