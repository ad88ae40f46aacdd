#include "pictures/decode.h"

#include "base/files.h"
#include "pictures/jpeg.h"
#include "pictures/limits.h"
#include "pictures/png.h"
#include "pictures/raw_image.h"
#include "pictures/sniff.h"
#include "pictures/stb.h"

#include <cstdio>

ImageSize readImageSize(const std::string& path)
{
    if (isSpecialFile(path))
        return ImageSize();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return ImageSize();
    const ImageSize size = sizeFromHeader(file, readHeader(file));
    std::fclose(file);
    return size;
}

bool tooLarge(const ImageSize& size, unsigned int largest)
{
    return size.known && (size.width > largest || size.height > largest ||
                          static_cast<unsigned long long>(size.width) * size.height > pictureLimits.mostPixels);
}

namespace {

// Why a file gave no pixels, for its author
std::string refusal(const Header& header, const ImageSize& size, const ImageSize& decoded, unsigned int largest)
{
    const ImageSize& measured = decoded.known ? decoded : size;
    if (tooLarge(measured, largest)) {
        const std::string pixels = std::to_string(measured.width) + " by " + std::to_string(measured.height) + " pixels";
        if (measured.width > largest || measured.height > largest)
            return "its picture is " + pixels + ", more than the " + std::to_string(largest) +
                   " a side that a texture may have here; resize it";
        return "its picture is " + pixels + ", more than the " + std::to_string(pictureLimits.mostPixels) +
               " pixels a picture may have (4096 by 2048, or 3840 by 2160); resize it";
    }
    if (!isPng(header) && !isJpeg(header) && !size.known)
        return "its file is not a picture in a format the program reads (PNG, JPEG, BMP, TGA, GIF, PSD, HDR or PIC)";
    return "its picture is damaged" + (decoderSays.empty() ? std::string() : " (" + decoderSays + ")");
}

} // namespace

DecodedImage decodeImage(const std::string& path, unsigned int largest, DecodedImage reuse)
{
    DecodedImage decoded;
    if (isSpecialFile(path))
        return decoded;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        // It says why it cannot open the file
        decoded.mediaLibraryMayTry = true;
        return decoded;
    }
    decoderSays.clear();
    const Header header = readHeader(file);
    const ImageSize size = sizeFromHeader(file, header);
    decoded.header = size;
    RawImage image;
    image.spareBytes = static_cast<std::size_t>(reuse.width) * reuse.height * 4;
    image.spare = reuse.pixels.release();
    // Nothing is decoded that the header says is too large; a format other
    // than PNG or JPEG must say its size before it is decoded at all
    Outcome outcome = Outcome::Refused;
    if (tooLarge(size, largest))
        outcome = Outcome::Refused;
    else if (isPng(header)) {
        // NOTE: a PNG libpng cannot read never reaches the media library's
        // decoder: it takes chunk lengths on trust, and its zlib reader goes
        // on past the end of the data, a gigabyte of output for a few bytes
        outcome = decodePng(file, largest, image);
    }
    else if (isJpeg(header))
        outcome = decodeJpeg(file, image);
    else if (size.known)
        outcome = decodeWithStb(file, image);
    std::fclose(file);
    std::free(image.rows);
    std::free(image.spare);
    // Checked again on what was decoded: the header is not the only word on it
    if (outcome == Outcome::Decoded && !tooLarge({true, image.width, image.height}, largest)) {
        decoded.pixels.reset(image.pixels);
        decoded.width = image.width;
        decoded.height = image.height;
        return decoded;
    }
    std::free(image.pixels);
    decoded.mediaLibraryMayTry = outcome == Outcome::MediaLibrary;
    if (!decoded.mediaLibraryMayTry)
        decoded.refusal = refusal(header, size, {outcome == Outcome::Decoded, image.width, image.height}, largest);
    return decoded;
}
