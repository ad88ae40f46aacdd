#pragma once
// The demo intro's pictures, painted pixel by pixel on the CPU in floats and
// saved as PNG through the media library: no window or graphics context is
// needed. Everything comes from fixed tables and seeds, so every run paints
// the same pixels.

#include <string>
#include <vector>

constexpr int screenWidth = 1920;  // pixels of a full-screen picture, the show's own size
constexpr int screenHeight = 1080;
constexpr int slideCount = 13;     // numbered slides, ov1 to ov13

struct Rgb {
    float r, g, b;
};

// A picture being painted: straight RGBA floats in 0..1, row by row
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;
};

// One panel of the panel sheet: a rounded picture with its number
struct Panel {
    int number;
    int left, top, width, height;
};

Canvas paintTitle();                                  // The title card, full screen
Canvas paintEnd();                                    // The end card, full screen
Canvas paintFullSlide(int number);                    // A full-screen slide: big number, progress dots, name in the corner
Canvas paintCard(int number, int width, int height);  // A smaller slide with rounded corners and a light frame, transparent outside the corners
Canvas paintPanelSheet(const Panel* panels, int count, int width, int height); // Panels side by side on one transparent sheet; each slide cuts its own rectangle out of it
bool savePicture(const Canvas& canvas, const std::string& path); // Writes an RGBA PNG in 8 bits, with an ordered dither so the gradients show no bands; false when it could not

// What the lettering paints with
Canvas makeCanvas(int width, int height);  // Opaque white
void fillRoundRect(Canvas& canvas, float left, float top, float width, float height, float radius, Rgb colour,
                   float alpha);           // Filled rounded rectangle with smooth edges
