#include <X11/Xlib.h>

#include "ClapTestEnvironment.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quorvel::clap_test
{

namespace
{

std::string home;
int errorCount = 0;
std::string firstError;

int recordXError (Display* display, XErrorEvent* e)
{
    // The framework sets window-manager properties whose atoms a display without a window
    // manager never made; those refusals are the display's, not faults of the plug-in.
    if (e->error_code == BadAtom && e->resourceid == 0)
        return 0;

    if (errorCount++ == 0)
    {
        char text[256] = {};
        XGetErrorText (display, e->error_code, text, sizeof (text));
        firstError = std::string (text) + " (request " + std::to_string (e->request_code) + "."
                     + std::to_string (e->minor_code) + ", resource " + std::to_string (e->resourceid) + ")";
    }

    return 0;
}

std::string xmlEscaped (const std::string& s)
{
    std::string out;

    for (const char c : s)
    {
        switch (c)
        {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c; break;
        }
    }

    return out;
}

std::string titleOf (Display* display, Window window)
{
    XTextProperty property {};

    if (XGetWMName (display, window, &property) == 0 || property.value == nullptr)
        return {};

    std::string title (reinterpret_cast<const char*> (property.value), property.nitems);
    XFree (property.value);
    return title;
}

Window findTitledBelow (Display* display, Window window, const std::string& title)
{
    if (titleOf (display, window) == title)
        return window;

    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;

    if (XQueryTree (display, window, &root, &parent, &children, &count) == 0)
        return 0;

    Window found = 0;

    for (unsigned i = 0; i < count && found == 0; ++i)
        found = findTitledBelow (display, children[i], title);

    if (children != nullptr)
        XFree (children);

    return found;
}

void movePointerOver (Display* display, Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates (display, window, XDefaultRootWindow (display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent (display, -1, rootX, rootY, CurrentTime);
}

} // namespace

void useTemporaryHome()
{
    std::string pattern = "/tmp/quorvel-clap-home-XXXXXX";

    if (mkdtemp (pattern.data()) == nullptr)
        std::abort();

    home = pattern;
    setenv ("HOME", home.c_str(), 1);
    setenv ("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv ("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv ("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
}

void removeTemporaryHome()
{
    if (! home.empty())
    {
        std::error_code ignored;
        std::filesystem::remove_all (home, ignored);
    }
}

std::string temporaryHome()
{
    return home;
}

std::string preferencesPath()
{
    return home + "/.config/Varrow's/Quorvel/Quorvel.vasettings";
}

std::string recordingFolder()
{
    const auto folder = home + "/Recordings";
    std::filesystem::create_directories (folder);
    return folder;
}

void writePreferences (const std::map<std::string, std::string>& values)
{
    const std::filesystem::path path (preferencesPath());
    std::filesystem::create_directories (path.parent_path());

    std::ofstream file (path, std::ios::trunc);
    file << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<PROPERTIES>\n";

    for (const auto& [key, value] : values)
        file << "  <VALUE name=\"" << xmlEscaped (key) << "\" val=\"" << xmlEscaped (value) << "\"/>\n";

    file << "</PROPERTIES>\n";
}

void writeTestPreferences()
{
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Pause Button", "1" }, { "OpenGL", "0" } });
}

void clearHome()
{
    std::error_code ignored;

    for (const auto& child : std::filesystem::directory_iterator (home, ignored))
        std::filesystem::remove_all (child.path(), ignored);
}

bool fileExists (const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists (path, ignored);
}

void recordXErrors()
{
    XSetErrorHandler (recordXError);
}

int xErrorCount()
{
    return errorCount;
}

std::string firstXError()
{
    return firstError;
}

void resetXErrors()
{
    errorCount = 0;
    firstError.clear();
}

bool xErrorRecorderInstalled()
{
    const auto current = XSetErrorHandler (recordXError);
    return current == recordXError;
}

Display* openDisplay()
{
    return XOpenDisplay (nullptr);
}

void closeDisplay (Display* display)
{
    XCloseDisplay (display);
}

void destroyWindow (Display* display, XWindow window)
{
    XDestroyWindow (display, window);
    XSync (display, False);
}

std::pair<unsigned, unsigned> windowSize (Display* display, XWindow window)
{
    XWindowAttributes attributes {};

    if (XGetWindowAttributes (display, window, &attributes) == 0)
        return {};

    return { (unsigned) attributes.width, (unsigned) attributes.height };
}

XWindow createParentWindow (Display* display, int x, int y, unsigned width, unsigned height)
{
    const auto screen = XDefaultScreen (display);
    const auto window = XCreateSimpleWindow (display, XRootWindow (display, screen), x, y, width, height, 0,
                                             XBlackPixel (display, screen), XBlackPixel (display, screen));
    XMapRaised (display, window);
    XSync (display, False);
    return window;
}

XWindow firstChild (Display* display, XWindow parent)
{
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;

    if (XQueryTree (display, parent, &root, &up, &children, &count) == 0)
        return 0;

    const Window child = count > 0 ? children[0] : 0;

    if (children != nullptr)
        XFree (children);

    return child;
}

bool isViewable (Display* display, XWindow window)
{
    XWindowAttributes attributes {};
    return XGetWindowAttributes (display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

XWindow findWindowTitled (Display* display, const std::string& title)
{
    return findTitledBelow (display, XDefaultRootWindow (display), title);
}

void clickAt (Display* display, XWindow window, int x, int y)
{
    movePointerOver (display, window, x, y);
    XTestFakeButtonEvent (display, 1, True, CurrentTime);
    XTestFakeButtonEvent (display, 1, False, 30);
    XFlush (display);
}

void dragAt (Display* display, XWindow window, int x, int y, int toX, int toY)
{
    movePointerOver (display, window, x, y);
    XTestFakeButtonEvent (display, 1, True, CurrentTime);
    XFlush (display);

    // In steps, as a hand would, so that the drag is seen between press and release.
    for (int step = 1; step <= 10; ++step)
    {
        movePointerOver (display, window, x + (toX - x) * step / 10, y + (toY - y) * step / 10);
        XFlush (display);
        usleep (20000);
    }

    XTestFakeButtonEvent (display, 1, False, CurrentTime);
    XFlush (display);
}

void pressKeyOver (Display* display, XWindow window, const char* keyName)
{
    movePointerOver (display, window, 10, 10);
    const auto code = XKeysymToKeycode (display, XStringToKeysym (keyName));
    XTestFakeKeyEvent (display, code, True, CurrentTime);
    XTestFakeKeyEvent (display, code, False, 30);
    XFlush (display);
}

} // namespace quorvel::clap_test
