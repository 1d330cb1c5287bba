#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>

#include <array>
#include <memory>

// Colour profiles on intake, through LittleCMS: which profiles can be honoured, and the
// conversions of CMYK and grey photos to sRGB. RGB photos keep their own values.
namespace vividra::colour {

enum class ProfileKind { unusable, rgb, grey, cmyk };

// What a profile describes; damaged or absurd bytes, and colour spaces the editor does
// not take (Lab, many-ink), are unusable.
ProfileKind kindOf(const QByteArray& icc);

// CMYK rows to opaque sRGB. Through the photo's profile when it has one; else by the plain
// formula, where Adobe's files store the inks inverted.
class CmykToSrgb {
public:
    CmykToSrgb(const QByteArray& icc, bool adobeInverted);
    ~CmykToSrgb();
    CmykToSrgb(const CmykToSrgb&) = delete;
    CmykToSrgb& operator=(const CmykToSrgb&) = delete;
    // `cmyk` and `bgra` may be the same row.
    void convert(const unsigned char* cmyk, unsigned char* bgra, int width) const;

private:
    void* transform_ = nullptr;
    bool inverted_ = false;
};

struct Chromaticities {
    float redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY;
};

// An RGB profile for primaries and a transfer characteristic numbered as video standards
// (and HEIF's nclx boxes) number them; empty when that is sRGB, or when nothing usable
// can be made of it.
QByteArray profileFromPrimaries(const Chromaticities& primaries, int transfer);

// Converts a Format_ARGB32_Premultiplied picture from the RGB profile's space to sRGB in
// place, for formats that cannot carry a profile; false, leaving it as it was, when the
// profile cannot be used.
bool convertToSrgb(QImage& image, const QByteArray& icc);

// The sRGB colour of each grey level under a grey profile.
std::array<QRgb, 256> greyToSrgb(const QByteArray& icc);

} // namespace vividra::colour
