// Forms: a window with its controls and the handlers of their events, loaded
// on first use and destroyed by unload. The program ends when its last loaded
// form is unloaded.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/forms.h"

namespace vx {

enum UnloadMode { vbFormControlMenu = 0, vbFormCode = 1, vbAppWindows = 2, vbAppTaskManager = 3 };

class Form {
public:
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    platform::Window& window() { return *window_; }
    platform::WindowHandle hWnd() const { return window_->hWnd(); }
    bool isLoaded() const { return loaded_; }

    // Runs Form_Load once; later calls do nothing.
    void Load();
    // Loads if needed, then shows the window modeless.
    void Show();
    void Hide();
    // QueryUnload, then Unload (either may cancel), then the window goes away.
    // Returns false when the unload was cancelled.
    bool Unload(UnloadMode mode = vbFormCode);

    static int LoadedCount();
    static void ResetLoadedCount();  // a test starting afresh

protected:
    explicit Form(std::unique_ptr<platform::Window> window);

    virtual void Form_Load() {}
    virtual void Form_QueryUnload(int& /*cancel*/, int /*unloadMode*/) {}
    virtual void Form_Unload(int& /*cancel*/) {}

private:
    std::unique_ptr<platform::Window> window_;
    bool loaded_ = false;
    bool loading_ = false;
};

// Keeps an unloaded form alive until the current event has been handled, since
// its own handler may still be on the stack.
void ReleaseForm(std::unique_ptr<Form> form);

// The default instance of a form class: created and loaded on first use,
// released again by UnloadDefault.
template <class T>
class Default {
public:
    // The arguments construct a form that does not exist yet.
    template <class... Args>
    static T& Get(Args&&... args) {
        auto& slot = Slot();
        if (slot) return *slot;
        T* form = new T(std::forward<Args>(args)...);
        slot.reset(form);
        form->Load();  // may unload (and release) the form again
        return *form;
    }
    static bool Exists() { return Slot() != nullptr; }
    static T* Peek() { return Slot().get(); }
    static bool Unload(UnloadMode mode = vbFormCode) {
        auto& slot = Slot();
        if (!slot) return true;
        if (!slot->Unload(mode)) return false;
        Release();
        return true;
    }
    // Drops the instance of a form that has already unloaded itself.
    static void Release() {
        auto& slot = Slot();
        if (slot) ReleaseForm(std::unique_ptr<Form>(slot.release()));
    }

    // Forgets the instance without unloading it (a test starting afresh).
    static void Discard() { Slot().reset(); }

private:
    static std::unique_ptr<T>& Slot() {
        static std::unique_ptr<T> slot;
        return slot;
    }
};

}  // namespace vx
