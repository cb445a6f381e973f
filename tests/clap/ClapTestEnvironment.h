#pragma once

#include <map>
#include <string>
#include <utility>

// What the CLAP host tests share besides the host itself: a private home folder with the
// plug-in's preferences, and the X display the editors are parented to and clicked through.
// The host tests load the plug-in as a host would, so none of this uses the framework.
// Xlib's own header stays out of the tests: its macros (None, Bool, Status...) clash with others.
typedef struct _XDisplay Display;

namespace quorvel::clap_test
{

using XWindow = unsigned long;

/** Points HOME and the XDG folders at a fresh temporary folder, for this process. */
void useTemporaryHome();
void removeTemporaryHome();
std::string temporaryHome();

/** ~/.config/Varrow's/Quorvel/Quorvel.vasettings under the temporary home. */
std::string preferencesPath();

/** A recording folder inside the temporary home, made if missing. */
std::string recordingFolder();

/** Writes the preferences file (the framework's XML properties format) with exactly these keys. */
void writePreferences (const std::map<std::string, std::string>& values);

/** The preferences an instance under test starts with: a recording folder (so no first-run
    message), the pause button shown, and the software renderer instead of OpenGL, whose X11
    attachment keeps memory the leak checker would report. */
void writeTestPreferences();

/** Removes every file under the temporary home. */
void clearHome();

bool fileExists (const std::string& path);

/** Counts X errors on every connection in the process, the plug-in's included, instead of
    Xlib's default of ending the program. Window-manager properties refused for want of a
    window manager are not counted. */
void recordXErrors();
int xErrorCount();
std::string firstXError();
void resetXErrors();

/** Whether the recording handler is still the one Xlib calls (nothing replaced it). */
bool xErrorRecorderInstalled();

/** A connection of the test's own to the X display, or null. */
Display* openDisplay();
void closeDisplay (Display* display);

void destroyWindow (Display* display, XWindow window);

/** The window's size, or {0, 0} when it does not exist. */
std::pair<unsigned, unsigned> windowSize (Display* display, XWindow window);

/** A mapped top-level window at (x, y) of the test's own display connection, as a host's
    plug-in window. */
XWindow createParentWindow (Display* display, int x, int y, unsigned width, unsigned height);

/** The first child of a window, or 0. */
XWindow firstChild (Display* display, XWindow parent);

/** Whether the window is mapped and all its ancestors are (it can be seen). */
bool isViewable (Display* display, XWindow window);

/** A window anywhere on the screen whose title is this, or 0. */
XWindow findWindowTitled (Display* display, const std::string& title);

/** Presses and releases the left button at a point of a window, through the XTest extension. */
void clickAt (Display* display, XWindow window, int x, int y);

/** Moves the pointer over a window and presses and releases a key (an X keysym name, "Return"). */
/** Presses the left button at (x, y) of the window, moves to (toX, toY) and releases there. */
void dragAt (Display* display, XWindow window, int x, int y, int toX, int toY);

void pressKeyOver (Display* display, XWindow window, const char* keyName);

} // namespace quorvel::clap_test
