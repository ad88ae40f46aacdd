#pragma once
// The sizes a picture is held to, in one record: how many pixels any picture
// may have, and what is taken of graphics cards that have not been asked.

// Every side below is in pixels
struct PictureLimits {
    // The most pixels a picture may have, whatever its sides: decoding takes
    // up to 20 bytes a pixel in some formats, and no picture may take the
    // program past a few hundred megabytes. 4096 by 2048, or a 4K UHD
    // picture. (The picture fuzzer lowers it, to keep each of its runs short.)
    unsigned long long mostPixels = 1ull << 23;
    // With uploads off (no graphics card to ask), the largest side a card is
    // taken to accept: what desktop cards of the last decade and Mesa's
    // software renderer take
    unsigned int assumedMaximumSize = 16384;
    // NOTE: every graphics card this program can run on takes textures this
    // large, so a picture no larger is decoded before the card has been
    // asked (making the first GL context takes a while); a larger one waits
    // for its answer
    unsigned int assuredSize = 2048;
    // The check notes pictures larger than this on a side: smaller graphics
    // cards refuse them
    unsigned int checkNotedSize = 8192;
};

extern PictureLimits pictureLimits;
