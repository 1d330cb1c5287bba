// Colour profiles made with LittleCMS for the tests: no profile file is kept in the tree.
#pragma once

#include <QByteArray>

#include <lcms2.h>

namespace vividra::test {

// The profile's bytes; the handle is closed.
inline QByteArray savedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Display P3 (the sRGB curve) or Adobe RGB (gamma 563/256), white D65.
inline cmsHPROFILE wideGamutProfile(bool p3) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = p3 ? cmsBuildParametricToneCurve(nullptr, 4, srgbCurve)
                             : cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const cmsCIExyYTRIPLE primaries =
        p3 ? cmsCIExyYTRIPLE{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}
           : cmsCIExyYTRIPLE{{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

inline QByteArray wideGamut(bool p3) {
    return savedProfile(wideGamutProfile(p3));
}

} // namespace vividra::test
