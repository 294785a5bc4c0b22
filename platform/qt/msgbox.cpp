// Modal message boxes.
#include <QMessageBox>

#include "platform/app.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace {

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

}  // namespace

int MsgBox(const std::string& prompt, int style, const std::string& title) {
    QMessageBox box(IconOf(style), qt::ToQ(title.empty() ? AppTitle() : title), qt::ToQ(prompt), QMessageBox::Ok);
    // The prompt may carry text from the router: never read it as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    qt::ModalScope modal;
    box.exec();
    return vbOK;
}

}  // namespace vx::platform
