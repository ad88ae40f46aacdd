#include "author/preview.h"

#include "app/app.h"
#include "app/canvas.h"
#include "app/config.h"
#include "assets/catalogue.h"
#include "assets/music_manager.h"
#include "base/messages.h"
#include "base/pixel_font.h"
#include "pictures/png_writer.h"
#include "scenes/intro_slideshow.h"
#include "scenes/show.h"
#include "assets/texture_manager.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Sprite.hpp>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// The contact sheet's layout, in pixels: a fifth of the canvas per picture
const unsigned int thumbWidth = Canvas::width / 5;
const unsigned int thumbHeight = Canvas::height / 5;
const unsigned int columns = 5;
const unsigned int gap = 12;
const unsigned int labelHeight = 22;
const sf::Color sheetColour(40, 40, 40);
const sf::Color labelColour(235, 235, 235);
const std::size_t mostPictures = 400; // past the show's end at the shortest step the options allow

// What every picture needs first: the settings, a display, a GL context (the
// canvas itself) and the catalogues; null after a line saying why not.
// NOTE: even an empty texture opens the display, so nothing graphical is
// made before the display is known to be there
std::unique_ptr<sf::RenderTexture> prepare()
{
    if (!haveIntro())
        return nullptr;
    loadConfig();
    if (!openDisplay())
        return nullptr;
    auto canvas = std::make_unique<sf::RenderTexture>();
    const bool made = canvas->create(Canvas::width, Canvas::height);
    closeDisplayProbe();
    if (!made) {
        Problems::report(Messages::noPicture(Canvas::width, Canvas::height));
        return nullptr;
    }
    MusicManager::silent = true;
    // Only the pictures a drawn frame shows are decoded, each when it first
    // shows, and let go once the show no longer draws it
    TextureManager::onDemand = true;
    loadShow();
    return canvas;
}

// What a viewer sees: the window shows colours, never the canvas's alpha
sf::Image opaque(const sf::Texture& picture)
{
    sf::Image image = picture.copyToImage();
    const sf::Vector2u size = image.getSize();
    for (unsigned int y = 0; y < size.y; ++y)
        for (unsigned int x = 0; x < size.x; ++x) {
            sf::Color c = image.getPixel(x, y);
            c.a = 255;
            image.setPixel(x, y, c);
        }
    return image;
}

bool save(const sf::Image& image, const std::string& output)
{
    if (!image.saveToFile(output)) {
        Problems::report(Messages::notWritten(output));
        return false;
    }
    return true;
}

// A character's glyph: a capital the font lacks as its small letter, and
// anything else it lacks as a question mark
const PixelFont::Glyph* glyphOf(char c)
{
    if (const PixelFont::Glyph* glyph = PixelFont::find(c))
        return glyph;
    if (c >= 'A' && c <= 'Z')
        if (const PixelFont::Glyph* glyph = PixelFont::find(static_cast<char>(c - 'A' + 'a')))
            return glyph;
    return PixelFont::find('?');
}

// Writes `text` into the image at (x, y), each font pixel `scale` wide
void drawText(sf::Image& image, const std::string& text, unsigned int x, unsigned int y, unsigned int scale)
{
    for (char c : text) {
        if (const PixelFont::Glyph* glyph = glyphOf(c))
            for (int row = 0; row < PixelFont::glyphHeight; ++row)
                for (int column = 0; column < PixelFont::glyphWidth; ++column)
                    if (PixelFont::dot(*glyph, row, column))
                        for (unsigned int dy = 0; dy < scale; ++dy)
                            for (unsigned int dx = 0; dx < scale; ++dx)
                                image.setPixel(x + static_cast<unsigned int>(column) * scale + dx,
                                               y + static_cast<unsigned int>(row) * scale + dy, labelColour);
        x += (PixelFont::glyphWidth + 1) * scale; // a space is a glyph with no pixels
    }
}

} // namespace

// "0:03.5  ov1": the moment as minutes and seconds, to a hundredth where it
// has one, and the key of the entry fading in; cut to the tile's width
std::string tileLabel(double seconds, const std::string& key)
{
    std::string label = Show::momentText(seconds);
    if (!key.empty())
        label += "  " + key;
    const std::size_t fits = thumbWidth / ((PixelFont::glyphWidth + 1) * 2);
    if (label.size() > fits)
        label = label.substr(0, fits - 3) + "...";
    return label;
}

int writeFrame(double seconds, const std::string& output)
{
    const std::unique_ptr<sf::RenderTexture> canvas = prepare();
    if (!canvas)
        return 1;
    // One picture: nothing beyond it is worth decoding
    IntroSlideshow::decodesAhead = false;
    fastForward(seconds);
    drawFrame(*canvas);
    canvas->display();
    return save(opaque(canvas->getTexture()), output) ? 0 : 1;
}

int writeContactSheet(const std::string& output, double every)
{
    const std::unique_ptr<sf::RenderTexture> made = prepare();
    if (!made)
        return 1;
    sf::RenderTexture& canvas = *made;
    sf::RenderTexture thumb;
    if (!thumb.create(thumbWidth, thumbHeight)) {
        Problems::report(Messages::noPicture(thumbWidth, thumbHeight));
        return 1;
    }
    // Scaled down fivefold with mipmaps, so fine detail averages out instead
    // of flickering between pixels
    canvas.setSmooth(true);

    // The frame nearest each moment, as writeFrame() gives it, while the
    // show still draws; the first moment always. Known before any is drawn,
    // so that each row of tiles goes into the file as soon as it is made
    std::vector<double> moments;
    std::vector<std::int64_t> frames;
    const std::int64_t furthest = Show::framesToReach(static_cast<double>(mostPictures) * every, fixedFrameSeconds);
    const std::int64_t quits = IntroSlideshow::framesToQuit(Show::current, fixedFrameSeconds, furthest);
    for (std::size_t i = 0; moments.size() < mostPictures; ++i) {
        const double moment = static_cast<double>(i) * every;
        const std::int64_t frame = Show::framesToReach(moment, fixedFrameSeconds);
        if (!frames.empty() && frame <= frames.back())
            continue;
        if (!frames.empty() && frame > quits)
            break; // the show ended before this moment
        moments.push_back(moment);
        frames.push_back(frame);
    }

    const unsigned int count = static_cast<unsigned int>(moments.size());
    const unsigned int rows = (count + columns - 1) / columns;
    const unsigned int cellHeight = thumbHeight + labelHeight + gap;
    const unsigned int sheetWidth = columns * (thumbWidth + gap) + gap;
    PngWriter sheet;
    sf::Image band;
    band.create(sheetWidth, gap, sheetColour);
    if (!sheet.open(output, sheetWidth, rows * cellHeight + gap) || !sheet.write(band.getPixelsPtr(), gap)) {
        Problems::report(Messages::notWritten(output));
        return 1;
    }
    std::int64_t framesRun = 0;
    for (unsigned int i = 0; i < count; ++i) {
        if (i % columns == 0)
            band.create(sheetWidth, cellHeight, sheetColour);
        for (; framesRun < frames[i] && running; ++framesRun)
            advanceFrame(fixedFrameSeconds);
        drawFrame(canvas);
        canvas.display();
        canvas.generateMipmap();
        thumb.clear();
        sf::Sprite small(canvas.getTexture());
        small.setScale(1.f / 5.f, 1.f / 5.f);
        thumb.draw(small, sf::RenderStates(sf::BlendNone));
        thumb.display();
        const auto current = static_cast<std::size_t>(IntroSlideshow::current);
        const std::string key = IntroSlideshow::active && current < IntroSlideshow::slideKeys.size()
                                    ? IntroSlideshow::slideKeys[current]
                                    : std::string();
        const unsigned int x = gap + (i % columns) * (thumbWidth + gap);
        band.copy(opaque(thumb.getTexture()), x, 0);
        drawText(band, tileLabel(moments[i], key), x, thumbHeight + 4, 2);
        if ((i + 1) % columns == 0 || i + 1 == count)
            if (!sheet.write(band.getPixelsPtr(), cellHeight))
                break;
    }
    if (!sheet.finish()) {
        Problems::report(Messages::notWritten(output));
        return 1;
    }
    return 0;
}
