#include "scenes/screen_fade.h"

#include "assets/texture_manager.h"

namespace ScreenFade {

float level = 0.f;
float speed = 0.f;
FadeMode mode = FadeMode::None;
sf::Sprite* overlay = nullptr;
const char* const overlayKey = "black";

void reset()
{
    level = 0.f;
    speed = 0.f;
    mode = FadeMode::None;
    overlay = nullptr;
}

void update(float dt)
{
    if (mode == FadeMode::FromBlack) {
        level = level - dt * speed;
        if (level <= 0.f) {
            level = 0.f;
            mode = FadeMode::None;
        }
    }
}

void draw(sf::RenderTarget& target)
{
    if (!overlay)
        return;
    // A picture loaded on demand is asked for; one that could not be is not drawn
    if (const sf::Texture* picture = overlay->getTexture()) {
        TextureManager::need(picture);
        if (picture->getSize().x == 0)
            return;
    }
    const sf::Uint8 keptAlpha = overlay->getColor().a;
    const auto alpha = static_cast<sf::Uint8>(static_cast<int>(level * 255.f));
    // A clear overlay changes no pixel: skip the full-screen draw
    if (alpha > 0) {
        overlay->setColor(sf::Color(255, 255, 255, alpha));
        target.draw(*overlay, sf::RenderStates::Default);
    }
    overlay->setColor(sf::Color(255, 255, 255, keptAlpha));
}

} // namespace ScreenFade
