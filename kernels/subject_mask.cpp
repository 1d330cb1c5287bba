#include "kernels/subject_mask.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>

#include "kernels/parallel.h"
#include "kernels/resample.h"

namespace vividra::fx {
namespace {

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

void keepOpenCvInSight() {
#ifdef VIVIDRA_SERIAL_KERNELS
    // The thread sanitizer cannot see inside OpenCV's pool.
    static std::once_flag once;
    std::call_once(once, [] { cv::setNumThreads(0); });
#endif
}

float grey(const std::uint8_t* p) {
    return (p[0] + 2.0f * p[1] + p[2]) * (1.0f / 1020.0f);
}

// The mean over a (2r+1)² window clipped at the borders, in place.
void boxMean(std::vector<float>& v, int width, int height, int r) {
    std::vector<float> line(static_cast<std::size_t>(std::max(width, height)) + 1);
    const auto pass = [&](int count, int length, std::ptrdiff_t step, std::ptrdiff_t next) {
        for (int i = 0; i < count; ++i) {
            float* first = v.data() + i * next;
            line[0] = 0;
            for (int k = 0; k < length; ++k)
                line[static_cast<std::size_t>(k) + 1] =
                    line[static_cast<std::size_t>(k)] + first[k * step];
            for (int k = 0; k < length; ++k) {
                const int lo = std::max(0, k - r);
                const int hi = std::min(length, k + r + 1);
                first[k * step] =
                    (line[static_cast<std::size_t>(hi)] - line[static_cast<std::size_t>(lo)]) /
                    static_cast<float>(hi - lo);
            }
        }
    };
    pass(height, width, 1, width);
    pass(width, height, width, 1);
}

// One linear step from `from` to `to` samples: the nearest lower sample and its weight.
struct Tap {
    int at;
    float weight;
};
std::vector<Tap> upsampleTaps(int from, int to) {
    std::vector<Tap> taps(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int o = 0; o < to; ++o) {
        const double c = std::clamp((o + 0.5) * scale - 0.5, 0.0, from - 1.0);
        const int at = std::min(static_cast<int>(c), std::max(0, from - 2));
        taps[static_cast<std::size_t>(o)] = {at, from > 1 ? static_cast<float>(c - at) : 0.0f};
    }
    return taps;
}

// A mask of `width` × `height` over `extent`, every value 0.
SubjectMask blankMask(const PixelRect& extent, int width, int height) {
    SubjectMask mask;
    mask.extent = extent;
    mask.width = width;
    mask.height = height;
    mask.alpha.resize(static_cast<std::size_t>(width) * height);
    return mask;
}

} // namespace

SubjectFrame subjectFrame(int pictureWidth, int pictureHeight, PixelRect rect,
                          double workingPixels) {
    const PixelRect picture{0, 0, pictureWidth, pictureHeight};
    const int x0 = std::max(rect.x, 0), y0 = std::max(rect.y, 0);
    const int x1 = std::min(rect.x + rect.width, pictureWidth);
    const int y1 = std::min(rect.y + rect.height, pictureHeight);
    if (picture.empty() || x1 - x0 < 2 || y1 - y0 < 2)
        return {};
    // GrabCut learns the background from around the rectangle: half its size on each side
    // shows it enough of it, and the rest of the picture would only cost time.
    const int margin = std::max(8, std::max(x1 - x0, y1 - y0) / 2);
    SubjectFrame f;
    f.region.x = std::max(0, x0 - margin);
    f.region.y = std::max(0, y0 - margin);
    f.region.width = std::min(pictureWidth, x1 + margin) - f.region.x;
    f.region.height = std::min(pictureHeight, y1 + margin) - f.region.y;
    const double area = static_cast<double>(f.region.width) * f.region.height;
    const double shrink = std::min(1.0, std::sqrt(workingPixels / area));
    f.width = std::max(1, static_cast<int>(std::lround(f.region.width * shrink)));
    f.height = std::max(1, static_cast<int>(std::lround(f.region.height * shrink)));
    return f;
}

std::optional<SubjectMask> segmentSubject(const ConstImageView& picture, const SubjectFrame& frame,
                                          PixelRect rect, const std::vector<std::uint8_t>* hints,
                                          const std::atomic<bool>* cancel,
                                          std::vector<std::uint8_t>* reducedCopy) {
    const PixelRect& g = frame.region;
    const std::size_t pixels = static_cast<std::size_t>(frame.width) * frame.height;
    if (picture.empty() || frame.empty() || g.x < 0 || g.y < 0 || g.x + g.width > picture.width ||
        g.y + g.height > picture.height || (hints && hints->size() != pixels))
        return std::nullopt;
    keepOpenCvInSight();
    try {
        std::vector<std::uint8_t> reduced(pixels * 4);
        const ConstImageView region(picture.row(g.y) + static_cast<std::ptrdiff_t>(g.x) * 4,
                                    g.width, g.height, picture.stride, picture.order);
        if (!resample(region,
                      {reduced.data(), frame.width, frame.height, frame.width * 4, picture.order}))
            return std::nullopt;
        // GrabCut models colours alike in any channel order.
        cv::Mat colours(frame.height, frame.width, CV_8UC3);
        cv::cvtColor(cv::Mat(frame.height, frame.width, CV_8UC4, reduced.data()), colours,
                     cv::COLOR_BGRA2BGR);

        const double sx = static_cast<double>(frame.width) / g.width;
        const double sy = static_cast<double>(frame.height) / g.height;
        const int rx0 =
            std::clamp(static_cast<int>(std::floor((rect.x - g.x) * sx)), 0, frame.width);
        const int ry0 =
            std::clamp(static_cast<int>(std::floor((rect.y - g.y) * sy)), 0, frame.height);
        const int rx1 = std::clamp(static_cast<int>(std::ceil((rect.x + rect.width - g.x) * sx)),
                                   rx0, frame.width);
        const int ry1 = std::clamp(static_cast<int>(std::ceil((rect.y + rect.height - g.y) * sy)),
                                   ry0, frame.height);
        cv::Mat marks(frame.height, frame.width, CV_8UC1, cv::Scalar(cv::GC_BGD));
        marks(cv::Rect(rx0, ry0, rx1 - rx0, ry1 - ry0)).setTo(cv::GC_PR_FGD);
        // A rectangle over the whole picture leaves no background to learn from: its rim
        // is taken as one.
        if (rx0 == 0 && ry0 == 0 && rx1 == frame.width && ry1 == frame.height) {
            marks.row(0).setTo(cv::GC_PR_BGD);
            marks.row(frame.height - 1).setTo(cv::GC_PR_BGD);
            marks.col(0).setTo(cv::GC_PR_BGD);
            marks.col(frame.width - 1).setTo(cv::GC_PR_BGD);
        }
        bool subjectHinted = false;
        if (hints) {
            for (std::size_t i = 0; i < pixels; ++i) {
                const auto hint = static_cast<SubjectHint>((*hints)[i]);
                if (hint == SubjectHint::subject) {
                    marks.data[i] = cv::GC_FGD;
                    subjectHinted = true;
                } else if (hint == SubjectHint::background) {
                    marks.data[i] = cv::GC_BGD;
                }
            }
        }
        if (rx1 - rx0 < 1 || ry1 - ry0 < 1) {
            if (!subjectHinted)
                return std::nullopt;
        }
        cv::Mat bgModel, fgModel;
        constexpr int iterations = 3;
        for (int i = 0; i < iterations; ++i) {
            if (cancelled(cancel))
                return std::nullopt;
            cv::grabCut(colours, marks, cv::Rect(), bgModel, fgModel, 1,
                        i == 0 ? cv::GC_INIT_WITH_MASK : cv::GC_EVAL);
        }
        if (cancelled(cancel))
            return std::nullopt;
        SubjectMask out = blankMask(g, frame.width, frame.height);
        for (std::size_t i = 0; i < pixels; ++i)
            out.alpha[i] = marks.data[i] == cv::GC_FGD || marks.data[i] == cv::GC_PR_FGD ? 255 : 0;
        if (reducedCopy)
            *reducedCopy = std::move(reduced);
        return out;
    } catch (const cv::Exception&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<SubjectMask> refineSubjectMask(const SubjectMask& reduced,
                                             const ConstImageView& picture,
                                             const std::atomic<bool>* cancel,
                                             const std::vector<std::uint8_t>* reducedCopy) {
    const PixelRect& e = reduced.extent;
    if (reduced.empty() || picture.empty() || e.empty() || e.x < 0 || e.y < 0 ||
        e.x + e.width > picture.width || e.y + e.height > picture.height ||
        reduced.alpha.size() != static_cast<std::size_t>(reduced.width) * reduced.height)
        return std::nullopt;
    try {
        const int w = reduced.width, h = reduced.height;
        const std::size_t n = static_cast<std::size_t>(w) * h;
        // The guide at the reduced size, averaged as the segmentation saw it.
        const ConstImageView region(picture.row(e.y) + static_cast<std::ptrdiff_t>(e.x) * 4,
                                    e.width, e.height, picture.stride, picture.order);
        std::vector<std::uint8_t> reducedHere;
        if (!reducedCopy || reducedCopy->size() != n * 4) {
            reducedHere.resize(n * 4);
            if (!resample(region, {reducedHere.data(), w, h, w * 4, picture.order}))
                return std::nullopt;
        }
        const std::vector<std::uint8_t>& small = reducedHere.empty() ? *reducedCopy : reducedHere;
        std::vector<float> meanI(n), meanP(n), meanIP(n), meanII(n);
        for (std::size_t i = 0; i < n; ++i) {
            const float I = grey(&small[i * 4]);
            const float p = reduced.alpha[i] * (1.0f / 255.0f);
            meanI[i] = I;
            meanP[i] = p;
            meanIP[i] = I * p;
            meanII[i] = I * I;
        }
        // He and Sun's fast guided filter: the linear coefficients come from the reduced
        // copy, and only applying them runs at full size.
        constexpr int radius = 2;
        constexpr float epsilon = 4e-4f;
        for (auto* v : {&meanI, &meanP, &meanIP, &meanII})
            boxMean(*v, w, h, radius);
        std::vector<float>& a = meanIP;
        std::vector<float>& b = meanII;
        for (std::size_t i = 0; i < n; ++i) {
            const float variance = meanII[i] - meanI[i] * meanI[i];
            const float covariance = meanIP[i] - meanI[i] * meanP[i];
            a[i] = covariance / (variance + epsilon);
            b[i] = meanP[i] - a[i] * meanI[i];
        }
        boxMean(a, w, h, radius);
        boxMean(b, w, h, radius);
        if (cancelled(cancel))
            return std::nullopt;

        SubjectMask out = blankMask(e, e.width, e.height);
        const std::vector<Tap> across = upsampleTaps(w, e.width);
        const std::vector<Tap> down = upsampleTaps(h, e.height);
        const bool done = parallelRows(e.height, [&](int y0, int y1) {
            std::vector<float> rowA(static_cast<std::size_t>(w)), rowB(rowA.size());
            for (int y = y0; y < y1; ++y) {
                if (cancelled(cancel))
                    return;
                const Tap t = down[static_cast<std::size_t>(y)];
                const int below = std::min(t.at + 1, h - 1);
                for (int x = 0; x < w; ++x) {
                    const std::size_t i = static_cast<std::size_t>(t.at) * w + x;
                    const std::size_t j = static_cast<std::size_t>(below) * w + x;
                    rowA[static_cast<std::size_t>(x)] = a[i] + (a[j] - a[i]) * t.weight;
                    rowB[static_cast<std::size_t>(x)] = b[i] + (b[j] - b[i]) * t.weight;
                }
                const std::uint8_t* in = region.row(y);
                std::uint8_t* o = out.alpha.data() + static_cast<std::size_t>(y) * e.width;
                for (int x = 0; x < e.width; ++x) {
                    const Tap s = across[static_cast<std::size_t>(x)];
                    const std::size_t k = static_cast<std::size_t>(s.at);
                    const std::size_t k1 = std::min(k + 1, static_cast<std::size_t>(w - 1));
                    const float ca = rowA[k] + (rowA[k1] - rowA[k]) * s.weight;
                    const float cb = rowB[k] + (rowB[k1] - rowB[k]) * s.weight;
                    const float q = ca * grey(in + static_cast<std::ptrdiff_t>(x) * 4) + cb;
                    o[x] = static_cast<std::uint8_t>(std::clamp(q, 0.0f, 1.0f) * 255.0f + 0.5f);
                }
            }
        });
        if (!done || cancelled(cancel))
            return std::nullopt;
        return out;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace vividra::fx
