#include "scenes/intro_slideshow.h"

#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"

#include <algorithm>
#include <unordered_map>

namespace IntroSlideshow {

bool firstCall = true;
std::vector<sf::Sprite*> slides;
std::vector<float> alphas;
std::int32_t current = 0;
float elapsed = 0.f;
bool active = false;
std::unique_ptr<sf::RenderTexture> finished;
std::int32_t finishedCount = 0;
bool composingUnavailable = false;

bool decodesAhead = true;
std::vector<std::string> slideKeys;
std::vector<float> secondsPerEntry;
std::string songKey;

namespace {

// The last entry that draws each picture; the overlay's never ends
std::unordered_map<const sf::Texture*, std::size_t> lastUse;
bool aheadPlanned = false; // the pictures to come are being decoded ahead

const std::size_t usedToTheEnd = static_cast<std::size_t>(-1);

const sf::Texture* pictureOf(std::size_t i)
{
    return slides[i] ? slides[i]->getTexture() : nullptr;
}

// Adds dt to an entry's elapsed time; true when that ends the entry
bool entryEnds(float& entryElapsed, float dt, float seconds)
{
    entryElapsed = entryElapsed + dt;
    return entryElapsed >= seconds;
}

void setUp()
{
    const ShowRecord& show = Show::current;
    // From black to clear over the show's fade; a show without one starts clear
    if (show.fadeSeconds > 0.f) {
        ScreenFade::level = 1.f;
        ScreenFade::mode = FadeMode::FromBlack;
        ScreenFade::speed = Show::fadeSpeed(show);
    } else {
        ScreenFade::level = 0.f;
        ScreenFade::mode = FadeMode::None;
    }
    firstCall = false;
    slideKeys.clear();
    secondsPerEntry.clear();
    for (const ShowEntry& entry : show.entries) {
        slideKeys.push_back(entry.spriteKey);
        secondsPerEntry.push_back(entry.seconds);
    }
    songKey = show.songKey;
    playSong(sf::Time::Zero);
    slides.clear();
    for (const std::string& key : slideKeys)
        slides.push_back(SpriteManager::get(key));
    alphas.assign(slides.size(), 0.f);
    current = 0;
    active = true;
    elapsed = 0.f;
    finished.reset();
    finishedCount = 0;
    lastUse.clear();
    for (std::size_t i = 0; i < slides.size(); ++i)
        if (const sf::Texture* picture = pictureOf(i))
            lastUse[picture] = i;
    if (ScreenFade::overlay && ScreenFade::overlay->getTexture())
        lastUse[ScreenFade::overlay->getTexture()] = usedToTheEnd;
    aheadPlanned = false;
}

// The pictures of the entries from `first` on, in the order they are first
// drawn, decoded ahead
void planAhead(std::size_t first)
{
    aheadPlanned = true;
    if (!decodesAhead)
        return;
    std::vector<const sf::Texture*> order;
    for (std::size_t i = first; i < slides.size(); ++i)
        if (const sf::Texture* picture = pictureOf(i))
            if (TextureManager::waiting(picture))
                order.push_back(picture);
    TextureManager::decodeAhead(order);
}

// Asks for entry i's picture; false when it has none to draw
bool pictureReady(std::size_t i)
{
    const sf::Texture* picture = pictureOf(i);
    if (!picture)
        return false;
    TextureManager::need(picture);
    return picture->getSize().x > 0;
}

// Lets go of the pictures that entries first to last - 1, now in
// `finished`, were the last to draw
void releaseComposed(std::int32_t first, std::int32_t last)
{
    for (std::int32_t i = first; i < last; ++i)
        if (const sf::Texture* picture = pictureOf(static_cast<std::size_t>(i))) {
            const auto use = lastUse.find(picture);
            if (use != lastUse.end() && use->second != usedToTheEnd && use->second < static_cast<std::size_t>(last))
                TextureManager::release(picture);
        }
}

SceneResult progress(float dt)
{
    if (!active)
        return SceneContinue;
    if (slides.empty()) {
        // A show of no entries is over at once
        active = false;
        return SceneQuit;
    }
    const float seconds = secondsPerEntry[current];
    const bool ends = entryEnds(elapsed, dt, seconds);
    float& alpha = alphas[current];
    alpha = std::min(1.f, alpha + dt / seconds);
    if (ends) {
        // The time beyond the entry's seconds is dropped, not carried over
        elapsed = 0.f;
        current = current + 1;
        if (current >= static_cast<std::int32_t>(slides.size())) {
            active = false;
            return SceneQuit;
        }
    }
    return SceneContinue;
}

// Gives entry i its colour; true when it changes pixels if drawn
bool colourEntry(std::size_t i)
{
    if (!slides[i])
        return false;
    const auto a = static_cast<sf::Uint8>(static_cast<int>(alphas[i] * 255.f));
    slides[i]->setColor(sf::Color(255, 255, 255, a));
    return a > 0;
}

// Brings `finished` up to date with the entries before `current` and the
// target's view; false when no offscreen picture can be had, and every entry
// is then drawn directly.
// NOTE: a finished entry never changes again, so only the entries that have
// finished since the last call are drawn on top of what is there; the whole
// picture is redrawn only when it is new or the view has changed.
bool composeFinished(const sf::RenderTarget& target)
{
    const sf::View& view = target.getView();
    const sf::Vector2u size(static_cast<unsigned>(view.getSize().x), static_cast<unsigned>(view.getSize().y));
    if (composingUnavailable)
        return false;
    if (!finished || finished->getSize() != size) {
        finished = std::make_unique<sf::RenderTexture>();
        finishedCount = 0;
        if (!finished->create(size.x, size.y)) {
            finished.reset();
            composingUnavailable = true;
            return false;
        }
    }
    // The picture holds the whole of what the view shows: composed through
    // the view without its viewport, which only says where on the target
    // the picture goes
    const sf::View& composedView = finished->getView();
    if (composedView.getCenter() != view.getCenter() || composedView.getSize() != view.getSize() ||
        composedView.getRotation() != view.getRotation())
        finishedCount = 0;
    if (finishedCount == current)
        return true;
    if (finishedCount == 0 || finishedCount > current) {
        sf::View whole = view;
        whole.setViewport(sf::FloatRect(0.f, 0.f, 1.f, 1.f));
        finished->setView(whole);
        // Cleared as the frame loop clears the window, so a copy of this
        // picture gives the same pixels as drawing the entries there
        finished->clear(sf::Color(0, 0, 0, 0));
        finishedCount = 0;
    }
    for (std::int32_t i = finishedCount; i < current; ++i)
        if (colourEntry(i) && pictureReady(i))
            finished->draw(*slides[i], sf::RenderStates::Default);
    finished->display();
    releaseComposed(finishedCount, current);
    finishedCount = current;
    return true;
}

// True when the target's view scales what it draws: the view's size is not
// the size in pixels of the area it is shown in
bool scales(const sf::RenderTarget& target)
{
    const sf::View& view = target.getView();
    const sf::IntRect area = target.getViewport(view);
    return static_cast<float>(area.width) != view.getSize().x || static_cast<float>(area.height) != view.getSize().y;
}

// Draws entry i, filtered smoothly when the view scales it, with its
// picture's own filtering kept for every other drawing.
// NOTE: the store owns every texture as a changeable object; sprites only
// hold them read-only
void drawEntry(sf::RenderTarget& target, std::size_t i, bool scaled)
{
    auto* picture = const_cast<sf::Texture*>(slides[i]->getTexture());
    const bool smooth = picture->isSmooth();
    if (scaled && !smooth)
        picture->setSmooth(true);
    target.draw(*slides[i], sf::RenderStates::Default);
    if (scaled && !smooth)
        picture->setSmooth(false);
}

} // namespace

void draw(sf::RenderTarget& target)
{
    if (!aheadPlanned)
        planAhead(static_cast<std::size_t>(finishedCount));
    const bool scaled = scales(target);
    std::int32_t first = 0;
    if (current > 0 && composeFinished(target)) {
        // Drawn pixel for pixel over the view's viewport, where the view
        // would have put the entries themselves
        const sf::View kept = target.getView();
        const sf::Vector2u size = finished->getSize();
        sf::View pixels(sf::FloatRect(0.f, 0.f, static_cast<float>(size.x), static_cast<float>(size.y)));
        pixels.setViewport(kept.getViewport());
        target.setView(pixels);
        finished->setSmooth(scaled);
        target.draw(sf::Sprite(finished->getTexture()), sf::RenderStates(sf::BlendNone));
        target.setView(kept);
        first = current;
    }
    // Every entry still gets its colour, so a shared sprite ends the frame
    // with its last entry's colour; an entry at alpha 0 changes no pixel
    for (std::size_t i = 0; i < slides.size(); ++i) {
        const bool visible = colourEntry(i);
        if (visible && static_cast<std::int32_t>(i) >= first && pictureReady(i))
            drawEntry(target, i, scaled);
    }
    // The next entry's picture goes up while this one shows, once decoded
    if (decodesAhead && current + 1 < static_cast<std::int32_t>(slides.size()))
        if (const sf::Texture* next = pictureOf(static_cast<std::size_t>(current + 1)))
            TextureManager::preload(next);
}

SceneResult advance(float dt)
{
    if (firstCall)
        setUp();
    return progress(dt);
}

void reset()
{
    firstCall = true;
    slideKeys.clear();
    secondsPerEntry.clear();
    songKey.clear();
    slides.clear();
    alphas.clear();
    current = 0;
    elapsed = 0.f;
    active = false;
    finished.reset();
    finishedCount = 0;
    composingUnavailable = false;
    lastUse.clear();
    aheadPlanned = false;
    decodesAhead = true;
}

std::int64_t framesToQuit(const ShowRecord& show, float dt, std::int64_t atMost)
{
    // A show of no entries quits on its first call
    std::int64_t frames = show.entries.empty() ? 1 : 0;
    for (const ShowEntry& entry : show.entries) {
        float entryElapsed = 0.f;
        bool ends = false;
        while (!ends && frames <= atMost) {
            ends = entryEnds(entryElapsed, dt, entry.seconds);
            ++frames;
        }
        if (frames > atMost)
            return atMost + 1;
    }
    return frames;
}

void playSong(sf::Time from)
{
    MusicManager::play(songKey, true, from);
}

} // namespace IntroSlideshow
