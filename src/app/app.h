#pragma once
// The program: start-up, the frame loop and shut-down.

#include "scenes/intro_slideshow.h"

extern bool running;             // the frame loop repeats while true; only ever cleared
extern SceneResult sceneResult;  // what the scene returned on its last call

int runApp();          // Plays the intro in a window; 0 when it ends, 1 when no display can be opened
void loadCatalogues(); // Fills the texture, sprite and music catalogues, in that order (sprites name textures)

// The catalogue files, relative to the working dir
extern const char* const texturesFile; // "assets/textures.json"
extern const char* const spritesFile;  // "assets/sprites.json"
extern const char* const musicFile;    // "assets/music.json"
