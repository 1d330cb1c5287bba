#pragma once
// Generated scenes for Select Subject, with the true mask: no single hue range separates
// each subject from its background. Plain bytes, so kernels, engine, window tests and
// benchmarks share them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vividra::testing {

struct SubjectScene {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // opaque, red first
    std::vector<std::uint8_t> truth; // 1 inside the subject
    // A loose box around the subject, rows downwards.
    int boxX = 0, boxY = 0, boxWidth = 0, boxHeight = 0;
    // The subject's largest colour, for comparing with a kept colour.
    std::uint8_t mainColour[3] = {};
};

enum class SceneKind { patchedDisc, twoColourFigure };

// Fixed grain of ±8 per pixel, so the colours are not flat.
inline int sceneGrain(int x, int y) {
    std::uint32_t h =
        static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<int>((h >> 24) % 17) - 8;
}

// A disc of red, yellow and blue patches on green and grey that also holds red patches; or
// a smooth-edged figure, violet with an orange head, before grey with orange blobs.
inline SubjectScene makeSubjectScene(SceneKind kind, int width, int height) {
    static const std::uint8_t red[3] = {200, 30, 35}, yellow[3] = {230, 200, 40},
                              blue[3] = {40, 70, 200}, green[3] = {60, 150, 70},
                              grey[3] = {128, 128, 128}, violet[3] = {120, 50, 170},
                              orange[3] = {235, 130, 30}, slate[3] = {90, 110, 120};
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    SubjectScene s{width, height, std::vector<std::uint8_t>(pixels * 4),
                   std::vector<std::uint8_t>(pixels)};
    const double u = std::min(width, height);
    const double cx = width / 2.0, cy = height / 2.0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const std::uint8_t* colour;
            bool inside;
            if (kind == SceneKind::patchedDisc) {
                inside = std::hypot(px - cx, py - cy) < 0.3 * u;
                const int column = static_cast<int>(px / u * 10),
                          row = static_cast<int>(py / u * 10);
                const int cell = column * 7 + row * 3;
                // Red patches stay clear of the disc's edge, where nothing could tell them from
                // its own.
                const bool clear =
                    std::hypot((column + 0.5) * u / 10 - cx, (row + 0.5) * u / 10 - cy) > 0.44 * u;
                if (inside)
                    colour = cell % 4 < 2 ? red : cell % 4 == 2 ? yellow : blue;
                else
                    colour = cell % 5 == 0 && clear ? red : cell % 5 < 3 ? green : grey;
            } else {
                const double bodyX = (px - cx) / (0.2 * u),
                             bodyY = (py - cy - 0.08 * u) / (0.27 * u);
                const bool body = bodyX * bodyX + bodyY * bodyY < 1;
                const bool head = std::hypot(px - cx, py - (cy - 0.22 * u)) < 0.14 * u;
                inside = body || head;
                static const double blobs[][2] = {{-0.38, -0.3}, {0.38, -0.3}, {-0.36, 0.25},
                                                  {0.36, 0.25},  {-0.6, 0.0},  {0.6, 0.0}};
                bool blob = false;
                for (const auto& b : blobs)
                    blob = blob || std::hypot(px - cx - b[0] * u, py - cy - b[1] * u) < 0.07 * u;
                colour = head ? orange : body ? violet : blob ? orange : slate;
            }
            const std::size_t at = static_cast<std::size_t>(y) * width + x;
            s.truth[at] = inside ? 1 : 0;
            for (int i = 0; i < 3; ++i)
                s.rgba[at * 4 + i] =
                    static_cast<std::uint8_t>(std::clamp(colour[i] + sceneGrain(x, y), 0, 255));
            s.rgba[at * 4 + 3] = 255;
        }
    std::copy_n(kind == SceneKind::patchedDisc ? red : violet, 3, s.mainColour);
    const double half = kind == SceneKind::patchedDisc ? 0.36 : 0.4;
    s.boxX = static_cast<int>(cx - half * u);
    s.boxY = static_cast<int>(cy - half * u);
    s.boxWidth = s.boxHeight = static_cast<int>(2 * half * u);
    return s;
}

// Intersection over union of a 0…255 mask (at least half counts) with the truth.
inline double subjectIoU(const SubjectScene& s, const std::vector<std::uint8_t>& mask) {
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < s.truth.size(); ++i) {
        const bool a = s.truth[i] != 0, b = i < mask.size() && mask[i] >= 128;
        both += a && b;
        either += a || b;
    }
    return either == 0 ? 1.0 : static_cast<double>(both) / static_cast<double>(either);
}

} // namespace vividra::testing
