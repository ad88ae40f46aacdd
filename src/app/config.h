#pragma once
// The window settings, read once from config.json before the window exists.

namespace Config {

extern bool fullscreen; // full-screen style when true, else a window with title bar; default false
extern bool vsync;      // vertical synchronisation; default true

void reset(); // Puts the settings back to their defaults

} // namespace Config

extern const char* const configFile; // "config.json", relative to the working dir

// Reads config.json from the working dir into Config; anything missing,
// broken or of the wrong type keeps its default and is reported in one line
void loadConfig();
