#pragma once

#include <QByteArray>
#include <QImage>

#include <memory>

namespace vividra::fx {
struct CurveTransform;
}

namespace vividra {

// Converts what is drawn on screen from the picture's RGB space to the display's, given
// both ICC profiles' bytes (empty bytes stand for sRGB). A damaged or non-RGB profile is
// taken as sRGB, with one line in the log. Once built it never changes, so any number of
// threads may apply it at once.
class ScreenColour {
public:
    ScreenColour(const QByteArray& pictureProfile, const QByteArray& displayProfile);
    ~ScreenColour();
    ScreenColour(const ScreenColour&) = delete;
    ScreenColour& operator=(const ScreenColour&) = delete;

    // True when the two spaces are the same, and apply() leaves every pixel as it is.
    bool isIdentity() const;

    // Converts the image in place; an image in another format than ARGB32_Premultiplied
    // is converted to it first. False, with the image possibly half converted, when
    // memory ran out.
    [[nodiscard]] bool apply(QImage& image) const;

private:
    struct LittleCms;
    std::unique_ptr<fx::CurveTransform> curves_;
    std::unique_ptr<LittleCms> fallback_;
};

} // namespace vividra
