#include "x_screen.h"

#include "program.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

extern char** environ;

namespace {

// NOTE: the program's window can vanish between two requests; Xlib's default
// handler would end the test process on the resulting error
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

int shiftOf(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Top-level windows and, in case a window manager reparents them, their children
void collectWindows(Display* display, Window window, int depth, std::vector<Window>& out)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        out.push_back(children[i]);
        if (depth > 1)
            collectWindows(display, children[i], depth - 1, out);
    }
    if (children)
        XFree(children);
}

// Runs a command to its end; on `displayName` when one is given, else on $DISPLAY
bool run(const std::vector<std::string>& args, const std::string& displayName = "")
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (displayName.empty() || std::string(*entry).rfind("DISPLAY=", 0) != 0)
            environment.push_back(*entry);
    if (!displayName.empty())
        environment.push_back("DISPLAY=" + displayName);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

XScreen::XScreen() : XScreen(std::string()) {}

XScreen::XScreen(const std::string& name) : displayName(name)
{
    XSetErrorHandler(ignoreErrors);
    display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    // The suite watches the screen for minutes without any input of its own:
    // keep the server's screen saver from blanking it
    if (display) {
        XSetScreenSaver(display, 0, 0, DontPreferBlanking, AllowExposures);
        XSync(display, False);
    }
}

XScreen::~XScreen()
{
    if (display)
        XCloseDisplay(display);
}

sf::Vector2u XScreen::screenSize()
{
    const int screen = DefaultScreen(display);
    return sf::Vector2u(static_cast<unsigned>(DisplayWidth(display, screen)),
                        static_cast<unsigned>(DisplayHeight(display, screen)));
}

std::vector<XWindow> XScreen::windowsNamed(const std::string& title)
{
    std::vector<Window> all;
    collectWindows(display, DefaultRootWindow(display), 2, all);
    std::vector<XWindow> found;
    for (Window window : all) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
            continue;
        if (name(window) == title)
            found.push_back(window);
    }
    return found;
}

XWindow XScreen::waitForNewWindow(const std::string& title, const std::vector<XWindow>& before, double timeoutSeconds)
{
    const double deadline = secondsNow() + timeoutSeconds;
    while (secondsNow() < deadline) {
        for (XWindow window : windowsNamed(title)) {
            bool old = false;
            for (XWindow seen : before)
                old = old || seen == window;
            if (!old)
                return window;
        }
        sleepSeconds(0.02);
    }
    return 0;
}

std::string XScreen::name(XWindow window)
{
    char* text = nullptr;
    std::string result;
    if (XFetchName(display, window, &text) && text) {
        result = text;
        XFree(text);
    }
    return result;
}

std::string XScreen::netName(XWindow window)
{
    const Atom property = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, utf8, &type, &format, &count, &remaining,
                           &data) == Success && data) {
        if (type == utf8 && format == 8)
            result.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return result;
}

WindowStyle XScreen::style(XWindow window)
{
    WindowStyle result;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes))
        result.overrideRedirect = attributes.override_redirect;
    const Atom hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, hints, 0, 5, False, AnyPropertyType, &type, &format, &count, &remaining,
                           &data) == Success && data) {
        // flags, functions, decorations, input mode, status; format 32 comes as longs
        const long* values = reinterpret_cast<const long*>(data);
        if (format == 32 && count >= 3) {
            result.hasMotifHints = true;
            result.functions = (values[0] & 1) ? static_cast<unsigned long>(values[1]) : ~0ul;
            result.decorations = (values[0] & 2) ? static_cast<unsigned long>(values[2]) : ~0ul;
        }
        XFree(data);
    }
    return result;
}

sf::Vector2u XScreen::size(XWindow window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return sf::Vector2u(0, 0);
    return sf::Vector2u(static_cast<unsigned>(attributes.width), static_cast<unsigned>(attributes.height));
}

sf::Vector2i XScreen::position(XWindow window)
{
    int x = 0, y = 0;
    XWindow child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return sf::Vector2i(x, y);
}

bool XScreen::grab(XWindow window, const sf::IntRect& area, sf::Image& out)
{
    XImage* image = XGetImage(display, window, area.left, area.top, static_cast<unsigned>(area.width),
                              static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    const int redShift = shiftOf(image->red_mask), greenShift = shiftOf(image->green_mask),
              blueShift = shiftOf(image->blue_mask);
    out.create(static_cast<unsigned>(area.width), static_cast<unsigned>(area.height));
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            out.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y),
                         sf::Color(static_cast<sf::Uint8>((pixel & image->red_mask) >> redShift),
                                   static_cast<sf::Uint8>((pixel & image->green_mask) >> greenShift),
                                   static_cast<sf::Uint8>((pixel & image->blue_mask) >> blueShift)));
        }
    }
    XDestroyImage(image);
    return true;
}

bool XScreen::requestClose(XWindow window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return sent != 0;
}

bool XScreen::pressKey(const std::string& keysym, double holdSeconds)
{
    const bool down = run({"xdotool", "keydown", keysym}, displayName);
    sleepSeconds(holdSeconds);
    const bool up = run({"xdotool", "keyup", keysym}, displayName);
    return down && up;
}

bool XScreen::resize(XWindow window, unsigned width, unsigned height)
{
    return run({"xdotool", "windowsize", std::to_string(window), std::to_string(width), std::to_string(height)},
               displayName);
}

bool pressKey(const std::string& keysym, double holdSeconds)
{
    const bool down = run({"xdotool", "keydown", keysym});
    sleepSeconds(holdSeconds);
    // Always let go: a key left down would end every later program at once
    const bool up = run({"xdotool", "keyup", keysym});
    return down && up;
}

HeldKey::HeldKey(const std::string& keysym) : key(keysym)
{
    down = run({"xdotool", "keydown", key});
}

HeldKey::~HeldKey()
{
    run({"xdotool", "keyup", key});
}

bool near(sf::Color a, sf::Color b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string describe(sf::Color colour)
{
    std::ostringstream text;
    text << "(" << int(colour.r) << ", " << int(colour.g) << ", " << int(colour.b) << ")";
    return text.str();
}
