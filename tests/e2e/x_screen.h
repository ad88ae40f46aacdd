#pragma once
// The test's view of the X display that the program runs on: finding its
// window, reading the window's name and size, reading pixels, asking the
// window to close, and pressing keys.

#include <SFML/Graphics/Color.hpp>
#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/Rect.hpp>
#include <SFML/System/Vector2.hpp>

#include <string>
#include <vector>

typedef struct _XDisplay Display;
typedef unsigned long XWindow;

// What a window asks of the window manager
struct WindowStyle {
    bool overrideRedirect = false;  // placed by the program itself, above everything: full screen
    bool hasMotifHints = false;     // _MOTIF_WM_HINTS is set
    unsigned long functions = 0;    // its allowed functions (resize 0x2, close 0x20, ...)
    unsigned long decorations = 0;  // its decorations (resize handles 0x4, title bar 0x8, ...)
};

class XScreen {
public:
    XScreen();  // Opens $DISPLAY; see ok()
    explicit XScreen(const std::string& displayName); // Opens that display, ":3" for example
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool ok() const { return display != nullptr; }
    sf::Vector2u screenSize();               // The whole screen's, in pixels

    std::vector<XWindow> windowsNamed(const std::string& title);   // Mapped windows with this WM_NAME
    // A mapped window with this name that is not in `before`; 0 at the deadline
    XWindow waitForNewWindow(const std::string& title, const std::vector<XWindow>& before, double timeoutSeconds);

    std::string name(XWindow window);        // WM_NAME
    std::string netName(XWindow window);     // _NET_WM_NAME (UTF-8), empty if unset
    WindowStyle style(XWindow window);
    sf::Vector2u size(XWindow window);       // (0, 0) when the window is gone
    sf::Vector2i position(XWindow window);   // Top-left corner on the screen

    // Reads an area of the window; false when it cannot (the window is gone)
    bool grab(XWindow window, const sf::IntRect& area, sf::Image& out);
    // Sends WM_DELETE_WINDOW, as a window manager's close button does
    bool requestClose(XWindow window);

    // xdotool on this display: holds a key down, as pressKey() below does;
    // asks for a new window size, as a user dragging its border does
    bool pressKey(const std::string& keysym, double holdSeconds = 0.3);
    bool resize(XWindow window, unsigned width, unsigned height);

private:
    Display* display = nullptr;
    std::string displayName; // empty: $DISPLAY
};

// Holds a key down (xdotool keydown/keyup) long enough for a program that
// polls the keyboard once per slow frame to see it
bool pressKey(const std::string& keysym, double holdSeconds = 0.3);

// Holds a key down while it lives
class HeldKey {
public:
    explicit HeldKey(const std::string& keysym);
    ~HeldKey(); // Lets go
    bool ok() const { return down; }

private:
    std::string key;
    bool down = false;
};

// Colours equal within `tolerance` in each channel
bool near(sf::Color a, sf::Color b, int tolerance);
std::string describe(sf::Color colour); // "(255, 0, 0)"
