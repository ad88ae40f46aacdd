#pragma once
// Lettering on the demo intro's pictures: the program's blocky 5 by 7 font
// (base/pixel_font.h), each dot painted as a small rounded block, and the row
// of progress dots under a slide's number.

#include "demo_painting.h"

#include <string>

float textWidth(const std::string& text, float cell); // Width in pixels of a line of text: five cells a glyph, one cell between glyphs
void drawText(Canvas& canvas, const std::string& text, float cx, float top, float cell, Rgb colour); // One line of text centred on cx, top edge at top, over a soft shadow; characters missing from the font come out blank
void drawProgress(Canvas& canvas, int number, float cx, float cy, float size); // A row of dots, one per numbered slide, the given one lit
