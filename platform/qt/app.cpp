// The application object, the program's folder and command line, files.
#include <QApplication>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/app.h"
#include "platform/posix/folders.h"
#include "platform/qt/qt_backend.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace qt {

// Made on first use, which InstallShutdownHandlers() makes before any signal
// handler can ask for it.
State& S() {
    static State state;
    return state;
}

}  // namespace qt

namespace {

constexpr int kErrPathFileAccess = 75;

// Lets the forms see keys before their controls do (key preview). Doing it
// here rather than in per-widget filters means each key event is seen once,
// whichever child it is aimed at and however it propagates afterwards.
class Application : public QApplication {
public:
    Application(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override {
        if (qt::PreviewKey(receiver, event)) return true;
        return QApplication::notify(receiver, event);
    }
};

std::string ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (!ec) return exe.parent_path().string();
    return qt::FromQ(QCoreApplication::applicationDirPath());
}

}  // namespace

void InitApplication(int& argc, char** argv) {
    if (QCoreApplication::instance()) return;
    QCoreApplication::setApplicationName(QStringLiteral("vxstat"));
    // The windows are tiny and repaint once a second: sending their pixels
    // is cheaper than the shared-memory path, which waits for the display
    // to finish each put before the next paint.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    // Lives until the process ends: destroying it at exit would race the
    // toolkit's own static clean-up.
    auto* app = new Application(argc, argv);
    // The program ends when its last form unloads, not when a window closes.
    app->setQuitOnLastWindowClosed(false);

    // Qt has taken its own options out of argv by now.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += qt::FromQ(QString::fromLocal8Bit(argv[i]));
    }
    qt::S().commandLine = line;

    qt::InstallShutdownHandlers();
}

std::string AppPath() {
    if (!qt::S().appPath.empty()) return qt::S().appPath;
    static const std::string folder = ExecutableFolder();
    return folder;
}

std::string ProgramFile(const std::string& name) { return AppPath() + "/" + name; }

std::string ProgramExecutable() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (!ec) return exe.string();
    return qt::FromQ(QCoreApplication::applicationFilePath());
}

bool ProgramFolderIsWritable() { return posix::FolderIsWritable(AppPath()); }

std::string AppTitle() { return "vxstat"; }
std::string AppFileDescription() { return "vxstat"; }
std::string CommandLine() { return qt::S().commandLine; }

void Kill(const std::string& path) {
    if (std::remove(path.c_str()) == 0) return;
    if (errno == ENOENT) throw RuntimeError(kErrFileNotFound, "File not found");
    throw RuntimeError(kErrPathFileAccess, "Path/File access error");
}

void End() { std::_Exit(0); }

}  // namespace vx::platform
