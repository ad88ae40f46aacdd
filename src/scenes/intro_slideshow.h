#pragma once
// The intro: over a looping song, a title card, thirteen numbered slides and
// an end card fade in one after another, seven seconds each, each staying
// under the ones that follow.

#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Sprite.hpp>
#include <SFML/System/Time.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// What a scene tells the frame loop after each call
using SceneResult = std::int32_t;
constexpr SceneResult SceneContinue = 0; // call the scene again next frame
constexpr SceneResult SceneQuit = 666;   // the scene is over: quit

namespace IntroSlideshow {

SceneResult run(sf::RenderTarget& target, float dt); // Sets up on the first call, advances by dt seconds and draws; SceneQuit on the call that ends the last entry
SceneResult advance(float dt);       // run() without the drawing: the state alone, for frames nobody sees
void draw(sf::RenderTarget& target); // run()'s drawing alone: every entry at its opacity
void playSong(sf::Time from);        // Starts the show's song, looping, as if it had been playing for `from` since the first frame

// The show: the sprite key of each entry in showing order. "ov11" comes after
// "ov13"; a repeated key draws the same sprite again, so the title stays
// alone for 14 seconds and the end card for 35
extern const std::array<const char*, 20> slideKeys;
extern const char* const songKey;    // played, looping, from the first frame
extern const float secondsPerEntry;  // each entry fades in over this time, then the next begins

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

} // namespace IntroSlideshow
