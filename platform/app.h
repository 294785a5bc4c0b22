// The form runtime's services: the program's folder and command line, message
// boxes, the event loop, regional text, files, ending the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vx::platform {

// Lets a command-line answer (--paths, --history) reach the terminal the
// program was started from: a no-op where standard output already goes there.
void AttachToTerminal();

// Sets the toolkit up; call once, first thing in main().
void InitApplication(int& argc, char** argv);

// The folder that holds the executable itself (links resolved), no trailing separator.
std::string AppPath();
// AppPath() + the platform's separator + name.
std::string ProgramFile(const std::string& name);
// The executable itself, for starting the program again (at login).
std::string ProgramExecutable();

// The user's own folders for the program's files when the program's folder is
// not theirs (an installed program); not created here. Linux:
// $XDG_CONFIG_HOME/vxstat and $XDG_DATA_HOME/vxstat (~/.config, ~/.local/share);
// Windows: %APPDATA%\vxstat for both.
std::string UserConfigFolder();
std::string UserDataFolder();
// Whether the user may create files in the program's own folder. Folders of
// an installed program (/usr/...) are never treated as the user's.
bool ProgramFolderIsWritable();
// Whether a file or folder of that name exists.
bool FileExists(const std::string& path);
// Creates a folder and its parents; true when it exists afterwards.
bool MakeFolder(const std::string& folder);
// An exclusive hold on one slot of a lock file (a byte at offset `slot`), so
// that two processes never both keep the same thing. Held until the object
// goes or the process ends, however it ends (a killed process holds
// nothing). Null when it cannot be had: `heldElsewhere` tells whether another
// holder is the reason (else the file could not be made or locked).
class FileLock {
public:
    virtual ~FileLock() = default;
};
std::unique_ptr<FileLock> LockFileSlot(const std::string& lockFile, std::uint64_t slot, bool& heldElsewhere);

// The reason the last file operation of this thread failed, in words.
std::string LastErrorText();
std::string AppTitle();            // the program's title, used by message boxes
std::string AppFileDescription();  // from the program's version information
std::string CommandLine();         // everything after the program name, as typed

// Message boxes: style = buttons + icon, as the classic values.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbCritical = 16;
inline constexpr int vbInformation = 64;
inline constexpr int vbOK = 1;
int MsgBox(const std::string& prompt, int style, const std::string& title);

// Regional text of the current date and time and of numbers.
std::string DateText();  // the short date
std::string TimeText();  // the time of day with seconds
// A number with exactly `decimals` decimals, grouped, in the user's regional format.
std::string FormatNumber(double value, int decimals);

// Deletes a file; "file not found" (53) when it is not there.
void Kill(const std::string& path);

// Ends the program at once: no unload handler runs, nothing is saved.
[[noreturn]] void End();

// Event loop. Quit() makes RunEventLoop() return once the current event is done.
int RunEventLoop();
void Quit();
// Runs fn from the event loop once the current event has been handled.
void Post(std::function<void()> fn);

// One running program per set of files. `key` names them (the statistics
// file's path); the backend makes a system-wide name of it by its own rules.
// True when this process now holds the key: from then on onRaise runs here,
// on the event loop, each time a later start asks for the running program.
// False when another process holds it and has been asked to come to the
// front: the caller shows nothing and ends. Claiming again in the holder
// keeps the key and takes the new onRaise.
bool ClaimSingleInstance(const std::string& key, std::function<void()> onRaise);

}  // namespace vx::platform
