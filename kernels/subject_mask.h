#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "kernels/image_view.h"

namespace vividra::fx {

// A rectangle of picture pixels, rows downwards.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelRect&) const = default;
};

// How much of each pixel of `extent` belongs to the subject, 0…255, held at any size: a
// reduced result stretches over its extent, a full one matches it pixel for pixel.
struct SubjectMask {
    PixelRect extent;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> alpha;

    bool empty() const { return width <= 0 || height <= 0 || alpha.empty(); }
    bool fullResolution() const { return width == extent.width && height == extent.height; }
};

// What a hint says about a pixel of the working copy.
enum class SubjectHint : std::uint8_t { none, subject, background };

// The part of the picture a segmentation looks at (the rectangle with a margin of
// background around it) and the reduced size it works at.
struct SubjectFrame {
    PixelRect region;
    int width = 0;
    int height = 0;

    bool empty() const { return region.empty() || width <= 0 || height <= 0; }
};

// GrabCut's cost grows with the pixels it models; this many keep a result within a second.
inline constexpr double subjectWorkingPixels = 250'000;

// The frame for a rectangle in a picture of the given size; empty when the rectangle misses
// the picture.
SubjectFrame subjectFrame(int pictureWidth, int pictureHeight, PixelRect rect,
                          double workingPixels = subjectWorkingPixels);

// Segments the subject inside `rect` with GrabCut on a reduced copy of the frame's region.
// `hints`, at the frame's size when given, holds SubjectHint values: sure subject, sure
// background. Gives a mask over the frame's region at the frame's size, or nothing when
// cancelled, out of memory or the input does not fit. `reducedCopy`, when given, receives
// the reduced region (four channels in the picture's order) for refineSubjectMask.
std::optional<SubjectMask> segmentSubject(const ConstImageView& picture, const SubjectFrame& frame,
                                          PixelRect rect,
                                          const std::vector<std::uint8_t>* hints = nullptr,
                                          const std::atomic<bool>* cancel = nullptr,
                                          std::vector<std::uint8_t>* reducedCopy = nullptr);

// Brings a reduced mask to full resolution over its extent with a fast guided filter
// guided by the picture, so the edge follows the picture's rather than the reduced grid.
// `reducedCopy` is segmentSubject's, which spares reducing the region again.
std::optional<SubjectMask>
refineSubjectMask(const SubjectMask& reduced, const ConstImageView& picture,
                  const std::atomic<bool>* cancel = nullptr,
                  const std::vector<std::uint8_t>* reducedCopy = nullptr);

} // namespace vividra::fx
