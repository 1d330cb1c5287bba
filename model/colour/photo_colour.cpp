#include "model/colour/photo_colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vividra::colour {
namespace {

// Damaged profiles are common enough in the wild that LittleCMS's complaints would fill
// standard error; the reader logs one line of its own instead.
cmsContext quietContext() {
    static const cmsContext context = [] {
        cmsContext c = cmsCreateContext(nullptr, nullptr);
        cmsSetLogErrorHandlerTHR(c, [](cmsContext, cmsUInt32Number, const char*) {});
        return c;
    }();
    return context;
}

constexpr qsizetype kLargestProfile = 16 << 20;

struct Profile {
    cmsHPROFILE handle = nullptr;
    explicit Profile(const QByteArray& icc)
        : handle(icc.isEmpty() || icc.size() > kLargestProfile
                     ? nullptr
                     : cmsOpenProfileFromMemTHR(quietContext(), icc.constData(),
                                                static_cast<cmsUInt32Number>(icc.size()))) {}
    explicit Profile(cmsHPROFILE made) : handle(made) {}
    ~Profile() {
        if (handle)
            cmsCloseProfile(handle);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;
};

Profile srgb() {
    return Profile(cmsCreate_sRGBProfileTHR(quietContext()));
}

cmsHTRANSFORM toSrgb(const Profile& from, cmsUInt32Number in, cmsUInt32Number out) {
    const Profile to = srgb();
    if (!from.handle || !to.handle)
        return nullptr;
    return cmsCreateTransformTHR(quietContext(), from.handle, in, to.handle, out, INTENT_PERCEPTUAL,
                                 0);
}

} // namespace

ProfileKind kindOf(const QByteArray& icc) {
    const Profile profile(icc);
    if (!profile.handle)
        return ProfileKind::unusable;
    const auto [kind, format] = [&]() -> std::pair<ProfileKind, cmsUInt32Number> {
        switch (cmsGetColorSpace(profile.handle)) {
        case cmsSigRgbData:
            return {ProfileKind::rgb, TYPE_RGB_8};
        case cmsSigGrayData:
            return {ProfileKind::grey, TYPE_GRAY_8};
        case cmsSigCmykData:
            return {ProfileKind::cmyk, TYPE_CMYK_8};
        default:
            return {ProfileKind::unusable, 0};
        }
    }();
    // A profile is usable when it leads to sRGB: that reads every tag a conversion needs.
    cmsHTRANSFORM transform =
        kind == ProfileKind::unusable ? nullptr : toSrgb(profile, format, TYPE_RGB_8);
    if (!transform)
        return ProfileKind::unusable;
    cmsDeleteTransform(transform);
    return kind;
}

CmykToSrgb::CmykToSrgb(const QByteArray& icc, bool adobeInverted) : inverted_(adobeInverted) {
    // Adobe's inverted inks are LittleCMS's "reversed" CMYK.
    const Profile profile(icc);
    if (profile.handle && cmsGetColorSpace(profile.handle) == cmsSigCmykData)
        transform_ = toSrgb(profile, adobeInverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_BGRA_8);
}

CmykToSrgb::~CmykToSrgb() {
    if (transform_)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

void CmykToSrgb::convert(const unsigned char* cmyk, unsigned char* bgra, int width) const {
    if (transform_) {
        // In pieces through a copy, since the row may be converted in place; the transform
        // keeps the fourth output byte as it finds it, so alpha is set after.
        unsigned char inks[4 * 256];
        for (int x = 0; x < width; x += 256) {
            const int n = std::min(256, width - x);
            std::memcpy(inks, cmyk + 4 * x, 4 * static_cast<size_t>(n));
            cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), inks, bgra + 4 * x,
                           static_cast<cmsUInt32Number>(n));
        }
        for (int x = 0; x < width; ++x)
            bgra[4 * x + 3] = 255;
        return;
    }
    for (int x = 0; x < width; ++x) {
        unsigned ink[4];
        for (int c = 0; c < 4; ++c)
            ink[c] = inverted_ ? cmyk[4 * x + c] : 255u - cmyk[4 * x + c];
        // What is left of each colour after its ink and the black, both as light passed.
        const unsigned char red = static_cast<unsigned char>((ink[0] * ink[3] + 127) / 255);
        const unsigned char green = static_cast<unsigned char>((ink[1] * ink[3] + 127) / 255);
        const unsigned char blue = static_cast<unsigned char>((ink[2] * ink[3] + 127) / 255);
        bgra[4 * x] = blue;
        bgra[4 * x + 1] = green;
        bgra[4 * x + 2] = red;
        bgra[4 * x + 3] = 255;
    }
}

QByteArray profileFromPrimaries(const Chromaticities& p, int transfer) {
    const auto near = [](float a, double b) { return std::abs(a - b) < 0.002; };
    const bool srgbPrimaries = near(p.redX, 0.64) && near(p.redY, 0.33) && near(p.greenX, 0.30) &&
                               near(p.greenY, 0.60) && near(p.blueX, 0.15) && near(p.blueY, 0.06) &&
                               near(p.whiteX, 0.3127) && near(p.whiteY, 0.3290);
    // Parametric curves of type 4: (a·x + b)^g above d, c·x below.
    const cmsFloat64Number srgbCurve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    const cmsFloat64Number videoCurve[] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
    const cmsFloat64Number* params = srgbCurve;
    cmsFloat64Number gamma[] = {1.0};
    switch (transfer) {
    case 1:
    case 6:
    case 14:
    case 15:
        params = videoCurve;
        break;
    case 4:
        gamma[0] = 2.2;
        params = nullptr;
        break;
    case 5:
        gamma[0] = 2.8;
        params = nullptr;
        break;
    case 8:
        params = nullptr;
        break;
    default: // sRGB's own, and what is unspecified or beyond a plain curve
        if (srgbPrimaries)
            return {};
        break;
    }
    const cmsCIExyY white = {p.whiteX, p.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {p.redX, p.redY, 1.0}, {p.greenX, p.greenY, 1.0}, {p.blueX, p.blueY, 1.0}};
    cmsToneCurve* curve = params ? cmsBuildParametricToneCurve(quietContext(), 4, params)
                                 : cmsBuildParametricToneCurve(quietContext(), 1, gamma);
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Profile made(cmsCreateRGBProfileTHR(quietContext(), &white, &primaries, curves));
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    if (!made.handle || !cmsSaveProfileToMem(made.handle, nullptr, &size) || size == 0)
        return {};
    QByteArray icc(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(made.handle, icc.data(), &size))
        return {};
    return kindOf(icc) == ProfileKind::rgb ? icc : QByteArray();
}

bool convertToSrgb(QImage& image, const QByteArray& icc) {
    const Profile profile(icc);
    // Premultiplied colours are converted as they stand: only translucent pixels, which
    // these formats flatten or cut anyway, come out slightly off.
    cmsHTRANSFORM transform =
        profile.handle && cmsGetColorSpace(profile.handle) == cmsSigRgbData
            ? cmsCreateTransformTHR(quietContext(), profile.handle, TYPE_BGRA_8, srgb().handle,
                                    TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA)
            : nullptr;
    if (!transform)
        return false;
    uchar* bits = image.bits();
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = bits + static_cast<qsizetype>(y) * image.bytesPerLine();
        cmsDoTransform(transform, row, row, static_cast<cmsUInt32Number>(image.width()));
    }
    cmsDeleteTransform(transform);
    return true;
}

std::array<QRgb, 256> greyToSrgb(const QByteArray& icc) {
    std::array<QRgb, 256> colours{};
    unsigned char levels[256], rgb[256 * 3];
    for (int v = 0; v < 256; ++v) {
        levels[v] = static_cast<unsigned char>(v);
        colours[static_cast<size_t>(v)] = qRgb(v, v, v);
    }
    const Profile profile(icc);
    cmsHTRANSFORM transform = toSrgb(profile, TYPE_GRAY_8, TYPE_RGB_8);
    if (!transform)
        return colours;
    cmsDoTransform(transform, levels, rgb, 256);
    cmsDeleteTransform(transform);
    for (int v = 0; v < 256; ++v)
        colours[static_cast<size_t>(v)] = qRgb(rgb[3 * v], rgb[3 * v + 1], rgb[3 * v + 2]);
    return colours;
}

} // namespace vividra::colour
