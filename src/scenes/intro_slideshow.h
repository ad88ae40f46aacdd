#pragma once
// The intro: over a looping song, the show's entries (a title card, thirteen
// numbered slides and an end card in the built-in show) fade in one after
// another, each over its own seconds, each staying under the ones that follow.

#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Sprite.hpp>
#include <SFML/System/Time.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a scene tells the frame loop after each call
using SceneResult = std::int32_t;
constexpr SceneResult SceneContinue = 0; // call the scene again next frame
constexpr SceneResult SceneQuit = 666;   // the scene is over: quit

struct ShowRecord;

namespace IntroSlideshow {

SceneResult advance(float dt);       // Sets up from Show::current on the first call, then advances the state by dt seconds; SceneQuit on the call that ends the last entry
void draw(sf::RenderTarget& target); // Draws every entry at its opacity
void playSong(sf::Time from);        // Starts the show's song, looping, as if it had been playing for `from` since the first frame

// The show as the scene was set up with it, copied from Show::current on the
// first call. A repeated key draws the same sprite again
extern std::vector<std::string> slideKeys;  // the sprite key of each entry in showing order
extern std::vector<float> secondsPerEntry;  // each entry fades in over its seconds, then the next begins
extern std::string songKey;                 // played, looping, from the first frame

extern bool firstCall;                 // the next call sets the scene up
extern std::vector<sf::Sprite*> slides; // catalogue sprites in showing order; null where the catalogue lacks the key
extern std::vector<float> alphas;      // opacity of each entry, 0 to 1
extern std::int32_t current;           // the entry now fading in
extern float elapsed;                  // seconds spent on the current entry
extern bool active;                    // true until the last entry has had its time

// Entries before `current` never change again, so they are drawn once into
// this picture and the picture is drawn each frame instead of them
extern std::unique_ptr<sf::RenderTexture> finished;
extern std::int32_t finishedCount;     // how many entries `finished` holds
extern bool composingUnavailable;      // `finished` could not be made: every entry is drawn directly

void reset(); // Puts the scene back as it was at start: the next call sets it up

// Pictures loaded on demand are asked for as an entry is first drawn, and let
// go once every entry that uses them is in `finished` and no later one does.
// When set (the default), the pictures of the entries to come are decoded
// ahead on worker threads from the first frame drawn
extern bool decodesAhead;

// How many calls of advance(dt) the show takes up to the one that returns
// SceneQuit, counted as the scene counts them; no more than atMost + 1
std::int64_t framesToQuit(const ShowRecord& show, float dt, std::int64_t atMost);

} // namespace IntroSlideshow
