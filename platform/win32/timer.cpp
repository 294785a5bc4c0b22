// The form's Timer control as a window timer of its form.
#include "platform/win32/backend.h"

namespace vx::platform::win32 {

namespace {

class TimerPeer : public NativeControl {
public:
    TimerPeer(HWND owner, Timer& model, UINT_PTR id) : owner_(owner), model_(model), id_(id) { changed(Prop::Enabled); }
    // KillTimer also drops a WM_TIMER already waiting in the queue, so no tick
    // reaches a timer (or a form) that has gone.
    ~TimerPeer() override { KillTimer(owner_, id_); }

    UINT_PTR id() const override { return id_; }

    void changed(Prop what) override {
        if (what != Prop::Enabled) return;
        if (model_.timerEnabled() && model_.interval() > 0)
            SetTimer(owner_, id_, static_cast<UINT>(model_.interval()), nullptr);
        else
            KillTimer(owner_, id_);
    }

    void timer() override { model_.tick(); }

private:
    HWND owner_;
    Timer& model_;
    UINT_PTR id_;
};

}  // namespace

std::unique_ptr<ControlPeer> CreateNativeTimer(HWND owner, Control& timer, UINT_PTR id) {
    return std::make_unique<TimerPeer>(owner, static_cast<Timer&>(timer), id);
}

}  // namespace vx::platform::win32
