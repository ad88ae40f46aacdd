#pragma once
// A private X server with a screen of a chosen size (Xvfb), so the program
// can be seen on displays other than the one the suite runs on.

#include <sys/types.h>

#include <string>

class VirtualDisplay {
public:
    VirtualDisplay(unsigned width, unsigned height); // Starts the server and waits until it takes connections; see ok()
    ~VirtualDisplay();                               // Stops it
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool ok() const { return !displayName.empty(); }
    const std::string& name() const { return displayName; } // ":7", for DISPLAY
    const std::string& failure() const { return why; }      // Why it did not start

private:
    pid_t pid = -1;
    std::string displayName;
    std::string why;
};
