#pragma once
// The frame loop's state and the steps every way of showing the intro shares:
// the program's window, a game's window through the library, the previews.

#include "scenes/intro_slideshow.h"

extern bool running;             // the frame loop repeats while true; only ever cleared
extern SceneResult sceneResult;  // what the scene returned on its last call
extern bool holdAtEnd;           // the last picture stays once the show is over, instead of the program ending

// Puts every process-wide record of the program back as it was at start:
// the settings, the fade, the scene, the stores, the player, the frame loop
void resetProgram();

// The pieces that every way of showing the intro shares
constexpr float fixedFrameSeconds = 1.f / 60.f; // the step of frames run without waiting: one of a 60 Hz display
bool haveIntro();         // True when the intro's folder holds any of its four files; else false, after the lines of a start that finds none and one that says what an intro's folder holds
std::string introFolderName(); // The intro's folder as an absolute path, for lines that name it
bool openDisplay();       // Asks for the display first: false, after a line saying why, when there is none
void closeDisplayProbe(); // Once the first window or GL context exists (openDisplay keeps a connection until then)
void loadCatalogues();    // Fills the texture, sprite and music catalogues, in that order (sprites name textures)
void loadShow();          // The catalogues, then the overlay's sprite: everything the show draws
void advanceFrame(float dt);              // One frame's state, as the frame loop runs it: the fade, then the scene or the quit
void drawFrame(sf::RenderTarget& target); // That frame's picture: cleared, the scene if it ran, the overlay on top
void fastForward(double seconds);         // Runs the state `seconds` into the show in steps of 1/60 s, one frame at the least, drawing nothing
void restartShow();                       // The frame loop's state as at the first frame: the scene runs, nothing has asked to quit
void askToQuit();                         // Escape, a close request or a skip: the frame in hand is completed, then the loop ends, even when it holds the end
void startShowAt(double moment);          // The show from its start, run on `moment` seconds with the song from there; a quit asked before is forgotten
void seekShow(double moment, bool withSong); // Runs the restarted show on `moment` seconds without a sound; then, if asked, starts the song from there

// The catalogue files, relative to the working dir
extern const char* const texturesFile; // "assets/textures.json"
extern const char* const spritesFile;  // "assets/sprites.json"
extern const char* const musicFile;    // "assets/music.json"
