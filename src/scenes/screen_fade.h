#pragma once
// The black overlay drawn over every frame, with a darkness that a fade moves
// from black towards clear.

#include <SFML/Graphics/RenderTarget.hpp>
#include <SFML/Graphics/Sprite.hpp>

#include <cstdint>

enum class FadeMode : std::int32_t { None, FromBlack };

namespace ScreenFade {

void reset();                        // No fade and no overlay, as at start
void update(float dt);               // Advances the fade in progress by dt seconds
void draw(sf::RenderTarget& target); // Draws the overlay at the current level, then restores the sprite's alpha

extern float level;           // darkness: 0 clear, 1 black
extern float speed;           // change of level per second while fading
extern FadeMode mode;         // the fade in progress
extern sf::Sprite* overlay;   // the catalogue's "black" sprite, not owned; null draws nothing
extern const char* const overlayKey; // "black": the sprite key of the overlay

} // namespace ScreenFade
