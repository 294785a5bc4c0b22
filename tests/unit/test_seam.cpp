// The portable models behind the seam: control rules, form lifetimes and the
// window-procedure chain.
#include <gtest/gtest.h>

#include "platform/forms.h"
#include "platform/user32.h"
#include "runtime/errors.h"
#include "forms/form.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using namespace platform;

class Seam : public test::ProgramTest {};

TEST_F(Seam, ProgressBarsRefuseValuesOutsideTheirRange) {
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

TEST_F(Seam, TextChangesRaiseChangeOnlyWhenTheTextChanges) {
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
}

TEST_F(Seam, TheProcedureChainEndsInTheFormsOwnProcedure) {
    Window w("w", "w", 100, 100, BorderStyle::FixedSingle);
    int closes = 0;
    w.onCloseRequest = [&] { ++closes; };
    static std::vector<UINT> seen;
    static LONG_PTR previous = 0;
    seen.clear();
    WNDPROC spy = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        seen.push_back(m);
        return CallWindowProcA(previous, h, m, wp, lp);
    };
    previous = SetWindowLongA(w.hWnd(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(spy));
    ASSERT_NE(previous, 0);
    w.userCloseRequested();
    EXPECT_EQ(seen, std::vector<UINT>{WM_SYSCOMMAND}) << "the close box travels through the chain";
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(SetWindowLongA(w.hWnd(), GWL_WNDPROC, previous), reinterpret_cast<LONG_PTR>(spy));
    w.userCloseRequested();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(SetWindowLongA(0, GWL_WNDPROC, previous), 0) << "no such window";
}

struct Probe : Form {
    Probe() : Form(std::make_unique<Window>("probe", "p", 10, 10, BorderStyle::FixedDialog)) {}
    int loads = 0, unloads = 0;
    bool refuse = false;
    void Form_Load() override { ++loads; }
    void Form_QueryUnload(int& cancel, int) override { cancel = refuse; }
    void Form_Unload(int&) override { ++unloads; }
};

TEST_F(Seam, FormsLoadOnceUnloadOnceAndTheLastOneEndsTheProgram) {
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
    Default<Probe>::Discard();
}

TEST_F(Seam, ATimerNeverTicksIntoAnUnloadedForm) {
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
