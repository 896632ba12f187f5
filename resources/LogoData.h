#pragma once

/** The logo, a JPEG of 318 x 207 pixels, compiled into the program from
    resources/logo.jpg (the build generates its definition with
    cmake/EmbedBinary.cmake; resources/make-logo.sh draws the picture).

    The array's address is the logo's key in juce::ImageCache, so it must stay
    one object for the program's lifetime: use it in place, never copy it.
*/
namespace LogoData
{
extern const unsigned char logoJpeg[];
constexpr int logoJpegSize = 24052;
constexpr int logoWidth = 318;
constexpr int logoHeight = 207;
}
