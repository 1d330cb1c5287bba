#include <gtest/gtest.h>

#include <lcms2.h>

#include <QImage>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "model/colour/screen_colour.h"

using vividra::ScreenColour;

namespace {

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

QByteArray saved(cmsHPROFILE p) {
    cmsUInt32Number size = 0;
    EXPECT_TRUE(cmsSaveProfileToMem(p, nullptr, &size));
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    EXPECT_TRUE(cmsSaveProfileToMem(p, bytes.data(), &size));
    cmsCloseProfile(p);
    return bytes;
}

cmsHPROFILE rgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&kD65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return p;
}

cmsHPROFILE displayP3() {
    const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return rgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                      cmsBuildParametricToneCurve(nullptr, 4, srgbCurve));
}

cmsHPROFILE adobeRgb() {
    return rgbProfile({{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                      cmsBuildGamma(nullptr, 563.0 / 256.0));
}

// Display P3 whose colours are read through a sampled table, as many camera and
// printer profiles are, rather than through its colorants.
QByteArray tabulatedP3() {
    cmsHPROFILE p3 = displayP3();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(p3, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(lab);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    cmsStageSampleCLut16bit(
        table,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* t) -> cmsInt32Number {
            cmsDoTransform(static_cast<cmsHTRANSFORM>(t), in, out, 1);
            return 1;
        },
        toLab, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, table);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsSetPCS(p3, cmsSigLabData);
    EXPECT_TRUE(cmsWriteTag(p3, cmsSigAToB0Tag, lut));
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    return saved(p3);
}

// Random colours with some translucent and transparent pixels, then every corner of the
// cube and full ramps of each primary: where wide gamuts leave sRGB's.
QImage testImage(unsigned seed) {
    QImage image(127, 41, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = y < 30 ? 255 : y < 33 ? 0 : static_cast<int>(rng() & 0xff);
            const QRgb c = rng();
            const int ramp = x * 255 / (image.width() - 1), corner = x % 8;
            const QRgb straight =
                y == 0   ? qRgb(corner & 1 ? 255 : 0, corner & 2 ? 255 : 0, corner & 4 ? 255 : 0)
                : y <= 3 ? qRgb(y == 1 ? ramp : 0, y == 2 ? ramp : 0, y == 3 ? ramp : 0)
                         : qRgba(qRed(c), qGreen(c), qBlue(c), a);
            row[x] = qPremultiply(straight);
        }
    }
    return image;
}

// What LittleCMS itself makes of the image: each straight colour rounded to whole codes,
// converted, and premultiplied again with rounding.
QImage littleCms(const QImage& image, const QByteArray& from, const QByteArray& to) {
    cmsHPROFILE source = from.isEmpty() ? cmsCreate_sRGBProfile()
                                        : cmsOpenProfileFromMem(from.constData(), from.size());
    cmsHPROFILE destination =
        to.isEmpty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(to.constData(), to.size());
    cmsHTRANSFORM t = cmsCreateTransform(source, TYPE_BGRA_8, destination, TYPE_BGRA_8,
                                         INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
    EXPECT_NE(t, nullptr);
    QImage out = image.copy();
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            const int a = qAlpha(p);
            const auto straight = [a](int c) {
                return a ? std::min(255, (c * 255 + a / 2) / a) : 0;
            };
            const QRgb s = qRgba(straight(qRed(p)), straight(qGreen(p)), straight(qBlue(p)), a);
            QRgb c = 0;
            cmsDoTransform(t, &s, &c, 1);
            const auto times = [a](int v) { return static_cast<int>(std::lround(v * a / 255.0)); };
            out.setPixel(x, y, qRgba(times(qRed(c)), times(qGreen(c)), times(qBlue(c)), a));
        }
    cmsDeleteTransform(t);
    cmsCloseProfile(source);
    cmsCloseProfile(destination);
    return out;
}

int worstDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

QImage converted(const ScreenColour& colour, QImage image) {
    EXPECT_TRUE(colour.apply(image));
    return image;
}

} // namespace

// Wide-gamut pictures on an sRGB screen, an sRGB picture on a wide-gamut screen and a
// table-based profile all come out as LittleCMS converts them, to within a level.
TEST(ScreenColour, ConvertsAsLittleCmsWithinALevel) {
    const QByteArray p3 = saved(displayP3()), adobe = saved(adobeRgb()), table = tabulatedP3();
    const std::pair<QByteArray, QByteArray> pairs[] = {
        {p3, {}}, {adobe, {}}, {{}, p3}, {adobe, p3}, {table, {}}};
    for (unsigned i = 0; i < std::size(pairs); ++i) {
        const auto& [from, to] = pairs[i];
        const ScreenColour colour(from, to);
        EXPECT_FALSE(colour.isIdentity()) << i;
        const QImage before = testImage(i + 1);
        const QImage after = converted(colour, before);
        EXPECT_LE(worstDifference(after, littleCms(before, from, to)), 1) << i;
        EXPECT_GT(worstDifference(after, before), 20) << i;
    }
    // P3's pure red lies past sRGB's: it clamps to sRGB's own red.
    QImage red(1, 1, QImage::Format_ARGB32_Premultiplied);
    red.fill(qRgb(255, 0, 0));
    EXPECT_EQ(converted(ScreenColour(p3, {}), red).pixel(0, 0), qRgb(255, 0, 0));
    red.fill(qRgb(230, 40, 30));
    const QRgb inside = converted(ScreenColour(p3, {}), red).pixel(0, 0);
    EXPECT_EQ(inside, littleCms(red, p3, {}).pixel(0, 0));
    EXPECT_GT(qRed(inside), 240);
    EXPECT_LT(qGreen(inside), 40);
}

// Equal spaces convert nothing: no profiles, the same bytes, or an embedded sRGB profile
// on a screen without one.
TEST(ScreenColour, SameSpacesAreTheIdentity) {
    const QByteArray p3 = saved(displayP3()), srgb = saved(cmsCreate_sRGBProfile());
    for (const auto& [from, to] :
         {std::pair<QByteArray, QByteArray>{{}, {}}, {p3, p3}, {srgb, {}}, {{}, srgb}}) {
        const ScreenColour colour(from, to);
        EXPECT_TRUE(colour.isIdentity());
        const QImage before = testImage(9);
        EXPECT_EQ(converted(colour, before), before);
    }
}

// Unreadable or non-RGB profiles stand for sRGB, on either side.
TEST(ScreenColour, DamagedProfilesAreTakenAsSrgb) {
    const QByteArray p3 = saved(displayP3());
    std::mt19937 rng(3);
    QByteArray noise(2000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    QByteArray scrambledTags = p3;
    for (qsizetype i = 132; i < scrambledTags.size(); ++i)
        scrambledTags[i] = static_cast<char>(rng());
    cmsToneCurve* grayCurve = cmsBuildGamma(nullptr, 2.2);
    const QByteArray gray = saved(cmsCreateGrayProfile(cmsD50_xyY(), grayCurve));
    cmsFreeToneCurve(grayCurve);
    const QImage before = testImage(5);
    const QImage p3OnSrgb = converted(ScreenColour(p3, {}), before);
    for (const QByteArray& bad :
         {p3.left(p3.size() / 2), p3.left(200), noise, scrambledTags, gray}) {
        EXPECT_TRUE(ScreenColour(bad, {}).isIdentity());
        EXPECT_EQ(converted(ScreenColour(bad, {}), before), before);
        EXPECT_EQ(converted(ScreenColour(p3, bad), before), p3OnSrgb);
    }
}

// Built once, the conversion is shared by threads converting at the same time.
TEST(ScreenColour, ThreadsShareOneConversion) {
    for (const QByteArray& profile : {saved(displayP3()), tabulatedP3()}) {
        const ScreenColour colour(profile, {});
        const QImage before = testImage(7);
        const QImage alone = converted(colour, before);
        std::vector<QImage> results(4, before);
        std::vector<std::thread> threads;
        for (QImage& image : results)
            threads.emplace_back([&colour, &image] {
                for (int i = 0; i < 20; ++i) {
                    QImage copy = image.copy();
                    EXPECT_TRUE(colour.apply(copy));
                    if (i == 19)
                        image = copy;
                }
            });
        for (std::thread& t : threads)
            t.join();
        for (const QImage& image : results)
            EXPECT_EQ(image, alone);
    }
}
