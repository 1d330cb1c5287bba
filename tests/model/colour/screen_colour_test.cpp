#include <gtest/gtest.h>

#include <lcms2.h>

#include <QImage>

#include <random>

#include "model/colour/screen_colour.h"
#include "tests/support/colour_profiles.h"

using namespace vividra;
using namespace vividra::test;

namespace {

// Display P3 read through a sampled table, as many camera profiles are, not its colorants.
QByteArray tabulatedP3() {
    cmsHPROFILE p3 = wideGamutProfile(true), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(p3, TYPE_RGB_16, lab, TYPE_Lab_16, 0, 0);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    const auto sample = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* t) {
        cmsDoTransform(static_cast<cmsHTRANSFORM>(t), in, out, 1);
        return 1;
    };
    cmsStageSampleCLut16bit(table, sample, toLab, 0);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, table);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsSetPCS(p3, cmsSigLabData);
    EXPECT_TRUE(cmsWriteTag(p3, cmsSigAToB0Tag, lut));
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    return savedProfile(p3);
}

// Random colours, some translucent or transparent; the first row holds the cube's corners
// and the next three full ramps of each primary, where wide gamuts leave sRGB's.
QImage testImage(unsigned seed) {
    QImage image(127, 41, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(seed);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int a = y < 30 ? 255 : y < 33 ? 0 : static_cast<int>(rng() & 0xff);
            const int ramp = x * 255 / (image.width() - 1), corner = x % 8;
            QRgb c = qRgba(qRed(rng()), qGreen(rng()), qBlue(rng()), a);
            if (y == 0)
                c = qRgb(corner & 1 ? 255 : 0, corner & 2 ? 255 : 0, corner & 4 ? 255 : 0);
            else if (y <= 3)
                c = qRgb(y == 1 ? ramp : 0, y == 2 ? ramp : 0, y == 3 ? ramp : 0);
            image.setPixel(x, y, qPremultiply(c));
        }
    return image;
}

// LittleCMS's own conversion of each straight colour (rounded to whole codes), with
// perceptual intent, premultiplied again.
QImage littleCms(QImage image, const QByteArray& from, const QByteArray& to) {
    const auto open = [](const QByteArray& b) {
        return b.isEmpty() ? cmsCreate_sRGBProfile()
                           : cmsOpenProfileFromMem(b.constData(), b.size());
    };
    cmsHPROFILE source = open(from), destination = open(to);
    cmsHTRANSFORM t = cmsCreateTransform(source, TYPE_BGRA_8, destination, TYPE_BGRA_8,
                                         INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int a = qAlpha(p);
            const auto straight = [a](int c) {
                return a ? std::min(255, (c * 255 + a / 2) / a) : 0;
            };
            const auto times = [a](int v) { return static_cast<int>(std::lround(v * a / 255.0)); };
            const QRgb s = qRgba(straight(qRed(p)), straight(qGreen(p)), straight(qBlue(p)), a);
            QRgb c = 0;
            cmsDoTransform(t, &s, &c, 1);
            image.setPixel(x, y, qRgba(times(qRed(c)), times(qGreen(c)), times(qBlue(c)), a));
        }
    cmsDeleteTransform(t);
    cmsCloseProfile(source);
    cmsCloseProfile(destination);
    return image;
}

// Both premultiplied ARGB32 of one size: the largest difference in any byte.
int worstDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (qsizetype i = 0; i < a.sizeInBytes(); ++i)
        worst = std::max(worst, std::abs(a.constBits()[i] - b.constBits()[i]));
    return worst;
}

QImage converted(const ScreenColour& colour, QImage image) {
    EXPECT_TRUE(colour.apply(image));
    return image;
}

} // namespace

// Wide-gamut pictures on an sRGB screen, sRGB on a wide-gamut screen, and a table-based
// profile all come out as LittleCMS converts them, to within a level.
TEST(ScreenColour, ConvertsAsLittleCmsWithinALevel) {
    const QByteArray p3 = wideGamut(true), adobe = wideGamut(false);
    const QByteArray pairs[][2] = {
        {p3, {}}, {adobe, {}}, {{}, p3}, {adobe, p3}, {tabulatedP3(), {}}};
    for (unsigned i = 0; i < std::size(pairs); ++i) {
        const ScreenColour colour(pairs[i][0], pairs[i][1]);
        EXPECT_FALSE(colour.isIdentity()) << i;
        const QImage before = testImage(i + 1), after = converted(colour, before);
        EXPECT_LE(worstDifference(after, littleCms(before, pairs[i][0], pairs[i][1])), 1) << i;
        EXPECT_GT(worstDifference(after, before), 20) << i;
    }
}

// Equal spaces convert nothing: no profiles, the same bytes, or an embedded sRGB profile where
// the other side has none. Unreadable or non-RGB profiles stand for sRGB on either side, without
// a crash.
TEST(ScreenColour, SameSpacesAreTheIdentityAndDamagedProfilesAreSrgb) {
    const QByteArray p3 = wideGamut(true), srgb = savedProfile(cmsCreate_sRGBProfile());
    std::mt19937 rng(3);
    QByteArray noise(2000, '\0'), scrambledTags = p3;
    for (char& c : noise)
        c = static_cast<char>(rng());
    for (qsizetype i = 132; i < scrambledTags.size(); ++i)
        scrambledTags[i] = static_cast<char>(rng());
    cmsToneCurve* grayCurve = cmsBuildGamma(nullptr, 2.2);
    const QByteArray gray = savedProfile(cmsCreateGrayProfile(cmsD50_xyY(), grayCurve));
    cmsFreeToneCurve(grayCurve);
    const QImage before = testImage(5), p3OnSrgb = converted(ScreenColour(p3, {}), before);
    const auto expectIdentity = [&](const QByteArray& from, const QByteArray& to) {
        const ScreenColour colour(from, to);
        EXPECT_TRUE(colour.isIdentity());
        EXPECT_EQ(converted(colour, before), before);
    };
    expectIdentity(p3, p3);
    for (const QByteArray& asSrgb :
         {QByteArray(), srgb, p3.left(p3.size() / 2), p3.left(200), noise, scrambledTags, gray}) {
        expectIdentity(asSrgb, {});
        expectIdentity({}, asSrgb);
        EXPECT_LE(worstDifference(converted(ScreenColour(p3, asSrgb), before), p3OnSrgb), 1);
    }
}
