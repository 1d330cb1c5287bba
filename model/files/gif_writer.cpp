#include "model/files/gif_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <gif_lib.h>

#include "model/files/picture_pixels.h"

namespace vividra::gif {
namespace {

struct Colour {
    int r, g, b;
};

// Colours counted at 5 bits per channel; each bin keeps the exact sums so the
// palette colours are true means, not bin centres.
struct Bin {
    double r = 0, g = 0, b = 0; // mean colour of the bin
    double count = 0;
    double sumR = 0, sumG = 0, sumB = 0;
};

struct Box {
    size_t begin = 0, end = 0;
    double error = 0; // summed squared distance of the bins' colours from the box mean
};

double channel(const Bin& bin, int axis) {
    return axis == 0 ? bin.r : axis == 1 ? bin.g : bin.b;
}

struct Totals {
    double count = 0, r = 0, g = 0, b = 0, squares = 0;

    void add(const Bin& bin) {
        count += bin.count;
        r += bin.sumR;
        g += bin.sumG;
        b += bin.sumB;
        squares += bin.count * (bin.r * bin.r + bin.g * bin.g + bin.b * bin.b);
    }
    double error() const { return count > 0 ? squares - (r * r + g * g + b * b) / count : 0; }
};

double boxError(const std::vector<Bin>& bins, const Box& box) {
    Totals t;
    for (size_t i = box.begin; i < box.end; ++i)
        t.add(bins[i]);
    return t.error();
}

// Splits along the axis of widest spread, at the cut that leaves the least
// squared error on the two sides.
bool split(std::vector<Bin>& bins, const Box& box, Box& low, Box& high) {
    if (box.end - box.begin < 2)
        return false;
    int axis = 0;
    double widest = -1;
    for (int a = 0; a < 3; ++a) {
        double lo = 1e9, hi = -1e9;
        for (size_t i = box.begin; i < box.end; ++i) {
            lo = std::min(lo, channel(bins[i], a));
            hi = std::max(hi, channel(bins[i], a));
        }
        if (hi - lo > widest) {
            widest = hi - lo;
            axis = a;
        }
    }
    std::sort(bins.begin() + static_cast<std::ptrdiff_t>(box.begin),
              bins.begin() + static_cast<std::ptrdiff_t>(box.end),
              [axis](const Bin& x, const Bin& y) { return channel(x, axis) < channel(y, axis); });
    Totals all;
    for (size_t i = box.begin; i < box.end; ++i)
        all.add(bins[i]);
    Totals left;
    size_t bestCut = box.begin + 1;
    double bestError = -1;
    for (size_t cut = box.begin + 1; cut < box.end; ++cut) {
        left.add(bins[cut - 1]);
        Totals right{all.count - left.count, all.r - left.r, all.g - left.g, all.b - left.b,
                     all.squares - left.squares};
        const double e = left.error() + right.error();
        if (bestError < 0 || e < bestError) {
            bestError = e;
            bestCut = cut;
        }
    }
    low = {box.begin, bestCut, 0};
    high = {bestCut, box.end, 0};
    low.error = boxError(bins, low);
    high.error = boxError(bins, high);
    return true;
}

std::vector<Colour> medianCut(std::vector<Bin> bins, int colours) {
    std::vector<Box> boxes{{0, bins.size(), 0}};
    boxes[0].error = boxError(bins, boxes[0]);
    while (static_cast<int>(boxes.size()) < colours) {
        auto worst = std::max_element(boxes.begin(), boxes.end(),
                                      [](const Box& a, const Box& b) { return a.error < b.error; });
        Box low, high;
        if (worst->error <= 0 || !split(bins, *worst, low, high))
            break;
        *worst = low;
        boxes.push_back(high);
    }
    std::vector<Colour> palette;
    for (const Box& box : boxes) {
        Totals t;
        for (size_t i = box.begin; i < box.end; ++i)
            t.add(bins[i]);
        if (t.count > 0)
            palette.push_back({static_cast<int>(t.r / t.count + 0.5),
                               static_cast<int>(t.g / t.count + 0.5),
                               static_cast<int>(t.b / t.count + 0.5)});
    }
    return palette;
}

bool visible(QRgb pixel) {
    return qAlpha(pixel) >= 128;
}

std::vector<Colour> paletteFor(const QImage& straight, int colours) {
    std::vector<Bin> histogram(1 << 15);
    for (int y = 0; y < straight.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            if (!visible(row[x]))
                continue;
            const int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
            Bin& bin =
                histogram[static_cast<size_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))];
            bin.count += 1;
            bin.sumR += r;
            bin.sumG += g;
            bin.sumB += b;
        }
    }
    std::vector<Bin> used;
    for (Bin& bin : histogram) {
        if (bin.count == 0)
            continue;
        bin.r = bin.sumR / bin.count;
        bin.g = bin.sumG / bin.count;
        bin.b = bin.sumB / bin.count;
        used.push_back(bin);
    }
    if (used.empty())
        return {{0, 0, 0}};
    return medianCut(std::move(used), colours);
}

// Nearest palette entry, remembered per 6-bit colour cell: dithering visits
// far fewer cells than pixels.
class NearestColour {
public:
    explicit NearestColour(const std::vector<Colour>& palette)
        : palette_(palette), cache_(1 << 18, -1) {}

    int operator()(int r, int g, int b) {
        const size_t cell = static_cast<size_t>(((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2));
        int& hit = cache_[cell];
        if (hit < 0)
            hit = search(r | 2, g | 2, b | 2);
        return hit;
    }

private:
    int search(int r, int g, int b) const {
        int best = 0;
        int bestDistance = 1 << 30;
        for (size_t i = 0; i < palette_.size(); ++i) {
            const int dr = palette_[i].r - r, dg = palette_[i].g - g, db = palette_[i].b - b;
            const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<int>(i);
            }
        }
        return best;
    }

    const std::vector<Colour>& palette_;
    std::vector<int> cache_;
};

int appendBytes(GifFileType* file, const GifByteType* data, int length) {
    static_cast<QByteArray*>(file->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

struct GifCloser {
    GifFileType* file;
    ~GifCloser() {
        int error = 0;
        if (file)
            EGifCloseFile(file, &error);
    }
};

} // namespace

QByteArray encode(const QImage& image) {
    const int width = image.width();
    const int height = image.height();
    if (image.isNull() || width > 65535 || height > 65535)
        return {};
    const bool transparent = !pixels::isOpaque(image);
    const QImage straight =
        transparent ? image.convertToFormat(QImage::Format_ARGB32) : pixels::toWorkingFormat(image);
    const std::vector<Colour> palette = paletteFor(straight, transparent ? 255 : 256);
    const int transparentIndex = transparent ? 255 : -1;

    std::array<GifColorType, 256> colours{};
    for (size_t i = 0; i < palette.size(); ++i)
        colours[i] = {static_cast<GifByteType>(palette[i].r),
                      static_cast<GifByteType>(palette[i].g),
                      static_cast<GifByteType>(palette[i].b)};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    if (!map)
        return {};

    QByteArray bytes;
    int error = 0;
    GifCloser gif{EGifOpen(&bytes, appendBytes, &error)};
    bool ok = gif.file != nullptr;
    if (ok) {
        EGifSetGifVersion(gif.file, transparent);
        ok = EGifPutScreenDesc(gif.file, width, height, 8, 0, map) == GIF_OK;
    }
    GifFreeMapObject(map);
    if (ok && transparent) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, transparentIndex};
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif.file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length),
                              extension) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif.file, 0, 0, width, height, false, nullptr) == GIF_OK;
    if (!ok)
        return {};

    // Floyd–Steinberg in sixteenths, serpentine, so gradients such as skies
    // dither instead of banding.
    NearestColour nearest(palette);
    std::vector<int> current(static_cast<size_t>(width + 2) * 3, 0);
    std::vector<int> next(current.size(), 0);
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        const bool forward = (y % 2) == 0;
        const int step = forward ? 1 : -1;
        std::fill(next.begin(), next.end(), 0);
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            if (!visible(row[x])) {
                line[static_cast<size_t>(x)] = static_cast<GifPixelType>(transparentIndex);
                continue;
            }
            int* e = &current[static_cast<size_t>(x + 1) * 3];
            const int r = std::clamp(qRed(row[x]) + (e[0] + 8) / 16, 0, 255);
            const int g = std::clamp(qGreen(row[x]) + (e[1] + 8) / 16, 0, 255);
            const int b = std::clamp(qBlue(row[x]) + (e[2] + 8) / 16, 0, 255);
            const int index = nearest(r, g, b);
            line[static_cast<size_t>(x)] = static_cast<GifPixelType>(index);
            const int error[3] = {r - palette[static_cast<size_t>(index)].r,
                                  g - palette[static_cast<size_t>(index)].g,
                                  b - palette[static_cast<size_t>(index)].b};
            int* ahead = &current[static_cast<size_t>(x + 1 + step) * 3];
            int* below = &next[static_cast<size_t>(x + 1) * 3];
            int* belowAhead = &next[static_cast<size_t>(x + 1 + step) * 3];
            int* belowBehind = &next[static_cast<size_t>(x + 1 - step) * 3];
            for (int c = 0; c < 3; ++c) {
                ahead[c] += error[c] * 7;
                belowBehind[c] += error[c] * 3;
                below[c] += error[c] * 5;
                belowAhead[c] += error[c];
            }
        }
        std::swap(current, next);
        if (EGifPutLine(gif.file, line.data(), width) != GIF_OK)
            return {};
    }
    GifFileType* file = gif.file;
    gif.file = nullptr;
    if (EGifCloseFile(file, &error) != GIF_OK)
        return {};
    return bytes;
}

} // namespace vividra::gif
