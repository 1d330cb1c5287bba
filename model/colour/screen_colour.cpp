#include "model/colour/screen_colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "kernels/colour_transform.h"
#include "kernels/image_view.h"
#include "kernels/parallel.h"
#include "model/platform/log.h"

namespace vividra {

namespace {

constexpr cmsUInt32Number kIntent = INTENT_PERCEPTUAL;

// Bad profiles are expected input; what matters about them goes to the log once.
void quiet(cmsContext, cmsUInt32Number, const char*) {}

struct ContextDeleter {
    void operator()(cmsContext c) const { cmsDeleteContext(c); }
};
using Context = std::unique_ptr<_cmsContext_struct, ContextDeleter>;

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using OwnedCurve = std::unique_ptr<cmsToneCurve, CurveFreer>;

// A transform from `from` to `to` works: every tag it needs was readable. Unoptimised, it
// reads them all without sampling anything.
bool converts(cmsContext context, cmsHPROFILE from, cmsHPROFILE to) {
    cmsHTRANSFORM t = cmsCreateTransformTHR(context, from, TYPE_BGRA_8, to, TYPE_BGRA_8, kIntent,
                                            cmsFLAGS_NOOPTIMIZE);
    if (!t)
        return false;
    cmsDeleteTransform(t);
    return true;
}

// The profile in `bytes`, or sRGB when they are empty, damaged or not RGB (`sRgb` then
// says so). `asInput` tells which way it must be usable.
Profile openProfile(cmsContext context, const QByteArray& bytes, bool asInput, bool& sRgb) {
    Profile srgb(cmsCreate_sRGBProfileTHR(context));
    sRgb = true;
    if (bytes.isEmpty())
        return srgb;
    Profile p(cmsOpenProfileFromMemTHR(context, bytes.constData(),
                                       static_cast<cmsUInt32Number>(bytes.size())));
    if (p && cmsGetColorSpace(p.get()) == cmsSigRgbData &&
        (asInput ? converts(context, p.get(), srgb.get())
                 : converts(context, srgb.get(), p.get()))) {
        sRgb = false;
        return p;
    }
    platform::logLine(asInput ? QStringLiteral("The picture's colour profile is damaged, not RGB "
                                               "or unusable: its colours are taken as sRGB")
                              : QStringLiteral("The display's colour profile is damaged, not RGB "
                                               "or unusable: the screen is taken as sRGB"));
    return srgb;
}

// The profile converts through its colorants and curves alone in this direction.
bool isMatrixShaper(cmsHPROFILE p, int direction) {
    return cmsIsMatrixShaper(p) && !cmsIsCLUT(p, kIntent, direction);
}

// The profile's D50-adapted colorants as the columns of RGB-to-XYZ.
bool colorants(cmsHPROFILE p, double m[3][3]) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, tags[c]));
        if (!xyz)
            return false;
        m[0][c] = xyz->X;
        m[1][c] = xyz->Y;
        m[2][c] = xyz->Z;
    }
    return true;
}

bool invert(const double m[3][3], double inverse[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::abs(det) < 1e-9)
        return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            // The cofactor of m[j][i], by cyclic indices.
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            inverse[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
        }
    return true;
}

const cmsTagSignature kCurveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};

// The kernel's tables from one matrix-and-curves profile to another, or nothing when a
// tag cannot be read or the destination's colorants do not span a space.
std::unique_ptr<fx::CurveTransform> curveTables(cmsHPROFILE from, cmsHPROFILE to) {
    double source[3][3], destination[3][3], back[3][3];
    if (!colorants(from, source) || !colorants(to, destination) || !invert(destination, back))
        return nullptr;
    auto t = std::make_unique<fx::CurveTransform>();
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int i = 0; i < 3; ++i)
                sum += back[k][i] * source[i][j];
            t->matrix[k][j] = static_cast<float>(sum);
        }
    for (int c = 0; c < 3; ++c) {
        const auto* decode = static_cast<const cmsToneCurve*>(cmsReadTag(from, kCurveTags[c]));
        const auto* encode = static_cast<const cmsToneCurve*>(cmsReadTag(to, kCurveTags[c]));
        if (!decode || !encode)
            return nullptr;
        const OwnedCurve reverse(cmsReverseToneCurve(encode));
        if (!reverse)
            return nullptr;
        for (int v = 0; v < 256; ++v)
            t->decode[c][v] = cmsEvalToneCurveFloat(decode, static_cast<float>(v) / 255.0f);
        for (int i = 0; i < fx::kEncodeEntries; ++i) {
            const float code = cmsEvalToneCurveFloat(reverse.get(), fx::encodeSamplePoint(i));
            t->encode[c][i] =
                static_cast<std::uint8_t>(std::lround(std::clamp(code, 0.0f, 1.0f) * 255.0f));
        }
    }
    return t;
}

// The tables give every code back unchanged. The encoding rises with light, so it is
// enough that each code's lightest and darkest outcome, with the other channels at their
// extremes, both encode to the code itself, two entries either side included for the
// vector paths' quick square roots.
bool keepsEveryCode(const fx::CurveTransform& t) {
    constexpr int kLast = fx::kEncodeEntries - 1;
    const auto encodes = [&](int k, float l, int v) {
        const int i = static_cast<int>(std::sqrt(std::clamp(l, 0.0f, 1.0f)) * kLast + 0.5f);
        for (int j = std::max(0, i - 2); j <= std::min(kLast, i + 2); ++j)
            if (t.encode[k][j] != v)
                return false;
        return true;
    };
    for (int k = 0; k < 3; ++k) {
        float below = 0, above = 0;
        for (int j = 0; j < 3; ++j)
            if (j != k)
                (t.matrix[k][j] < 0 ? below : above) += t.matrix[k][j];
        for (int v = 0; v < 256; ++v) {
            const float own = t.matrix[k][k] * t.decode[k][v];
            if (!encodes(k, own + below, v) || !encodes(k, own + above, v))
                return false;
        }
    }
    return true;
}

} // namespace

struct ScreenColour::LittleCms {
    Context context;
    cmsHTRANSFORM transform = nullptr;

    ~LittleCms() {
        if (transform)
            cmsDeleteTransform(transform);
    }
};

ScreenColour::ScreenColour(const QByteArray& pictureProfile, const QByteArray& displayProfile) {
    if (pictureProfile == displayProfile)
        return;
    Context context(cmsCreateContext(nullptr, nullptr));
    if (!context)
        return;
    cmsSetLogErrorHandlerTHR(context.get(), quiet);
    bool pictureSrgb = false, displaySrgb = false;
    const Profile from = openProfile(context.get(), pictureProfile, true, pictureSrgb);
    const Profile to = openProfile(context.get(), displayProfile, false, displaySrgb);
    if (!from || !to || (pictureSrgb && displaySrgb))
        return;
    if (isMatrixShaper(from.get(), LCMS_USED_AS_INPUT) &&
        isMatrixShaper(to.get(), LCMS_USED_AS_OUTPUT)) {
        if (auto tables = curveTables(from.get(), to.get())) {
            if (!keepsEveryCode(*tables))
                curves_ = std::move(tables);
            return;
        }
    }
    auto cms = std::make_unique<LittleCms>();
    // Copying alpha keeps it through the transform; without the one-pixel cache, threads
    // share the transform without sharing any state.
    cms->transform =
        cmsCreateTransformTHR(context.get(), from.get(), TYPE_BGRA_8, to.get(), TYPE_BGRA_8,
                              kIntent, cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE);
    if (!cms->transform) {
        platform::logLine(QStringLiteral("The picture's colours cannot be converted to the "
                                         "display's: they are shown unconverted"));
        return;
    }
    cms->context = std::move(context);
    fallback_ = std::move(cms);
}

ScreenColour::~ScreenColour() = default;

bool ScreenColour::isIdentity() const {
    return !curves_ && !fallback_;
}

namespace {

std::uint32_t premultiplied(std::uint32_t v, std::uint32_t a) {
    const std::uint32_t t = v * a + 128;
    return (t + (t >> 8)) >> 8;
}

// LittleCMS knows nothing of premultiplied alpha: rows with translucent pixels go
// through their straight colours in `scratch`.
void convertRow(cmsHTRANSFORM transform, std::uint8_t* row, int width,
                std::vector<std::uint32_t>& scratch) {
    scratch.resize(static_cast<std::size_t>(width));
    std::memcpy(scratch.data(), row, 4 * static_cast<std::size_t>(width));
    if (std::all_of(scratch.begin(), scratch.end(),
                    [](std::uint32_t p) { return p >> 24 == 255; })) {
        cmsDoTransform(transform, row, row, static_cast<cmsUInt32Number>(width));
        return;
    }
    for (std::uint32_t& p : scratch) {
        const std::uint32_t a = p >> 24;
        std::uint32_t straight = p & 0xff000000u;
        for (int shift = 0; a != 0 && shift < 24; shift += 8) {
            const std::uint32_t c = (p >> shift) & 0xff;
            straight |= std::min<std::uint32_t>(255, (c * 255 + a / 2) / a) << shift;
        }
        p = straight;
    }
    cmsDoTransform(transform, scratch.data(), scratch.data(), static_cast<cmsUInt32Number>(width));
    for (std::uint32_t& p : scratch) {
        const std::uint32_t a = p >> 24;
        std::uint32_t out = p & 0xff000000u;
        for (int shift = 0; shift < 24; shift += 8)
            out |= premultiplied((p >> shift) & 0xff, a) << shift;
        p = out;
    }
    std::memcpy(row, scratch.data(), 4 * static_cast<std::size_t>(width));
}

} // namespace

bool ScreenColour::apply(QImage& image) const {
    if (isIdentity() || image.isNull())
        return true;
    if (image.format() != QImage::Format_ARGB32_Premultiplied &&
        image.format() != QImage::Format_RGB32)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    // Qt's 32-bit formats are native words: blue first in memory on this byte order.
    const fx::ImageView view{image.bits(), image.width(), image.height(), image.bytesPerLine(),
                             fx::ChannelOrder::BGRA};
    if (view.empty())
        return false;
    if (curves_)
        return fx::transformColours(view, *curves_);
    const cmsHTRANSFORM transform = fallback_->transform;
    return fx::parallelRows(view.height, [&](int y0, int y1) {
        std::vector<std::uint32_t> straight;
        for (int y = y0; y < y1; ++y)
            convertRow(transform, view.row(y), view.width, straight);
    });
}

} // namespace vividra
