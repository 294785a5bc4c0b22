#include "forms/form.h"

#include <utility>
#include <vector>

#include "platform/app.h"

namespace vx {

namespace {

// How many forms are loaded: the program ends when the last one unloads.
int& LoadedForms() {
    static int loaded = 0;
    return loaded;
}

}  // namespace

Form::Form(std::unique_ptr<platform::Window> window) : window_(std::move(window)) {}

Form::~Form() = default;

int Form::LoadedCount() { return LoadedForms(); }
void Form::ResetLoadedCount() { LoadedForms() = 0; }

void Form::Load() {
    if (loaded_ || loading_) return;
    loading_ = true;
    loaded_ = true;
    ++LoadedForms();
    Form_Load();
    loading_ = false;
}

void Form::Show() {
    Load();
    if (loaded_) window_->show();
}

void Form::Hide() { window_->hide(); }

bool Form::Unload(UnloadMode mode) {
    if (!loaded_) return true;
    int cancel = 0;
    Form_QueryUnload(cancel, mode);
    if (cancel) return false;
    Form_Unload(cancel);
    if (cancel) return false;
    loaded_ = false;
    window_->destroy();
    if (--LoadedForms() == 0) platform::Quit();
    return true;
}

void ReleaseForm(std::unique_ptr<Form> form) {
    if (!form) return;
    std::shared_ptr<Form> keep(std::move(form));
    platform::Post([keep] {});
}

}  // namespace vx
