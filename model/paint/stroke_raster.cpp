#include "model/paint/stroke_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "kernels/colour_key.h"
#include "kernels/pixel_blend.h"

namespace vividra {
namespace {

struct Segment {
    double ax, ay, bx, by;
    double top, bottom; // row extent, radius included
    int subPath;        // which press of the brush it belongs to
};

struct Interval {
    double from, to;
};

// The x-range where a horizontal line at `y` lies within `radius` of the segment.
bool capsuleSpan(const Segment& s, double y, double radius, Interval& out) {
    double lo = INFINITY, hi = -INFINITY;
    const auto disc = [&](double cx, double cy) {
        const double dy = y - cy;
        const double h = radius * radius - dy * dy;
        if (h < 0)
            return;
        const double w = std::sqrt(h);
        lo = std::min(lo, cx - w);
        hi = std::max(hi, cx + w);
    };
    disc(s.ax, s.ay);
    disc(s.bx, s.by);
    const double dx = s.bx - s.ax, dy = s.by - s.ay;
    const double len2 = dx * dx + dy * dy;
    if (len2 > 1e-12) {
        // Points of the line whose projection falls on the segment and whose
        // distance to the segment's line is at most the radius; both are linear in x.
        const double len = std::sqrt(len2);
        double from = -INFINITY, to = INFINITY;
        const auto clip = [&](double slope, double offset, double min, double max) {
            // min <= slope * x + offset <= max
            if (std::abs(slope) < 1e-12) {
                if (offset < min || offset > max)
                    from = INFINITY;
                return;
            }
            double x0 = (min - offset) / slope, x1 = (max - offset) / slope;
            if (x0 > x1)
                std::swap(x0, x1);
            from = std::max(from, x0);
            to = std::min(to, x1);
        };
        // Projection parameter t = ((x-ax)dx + (y-ay)dy) / len², in [0, 1].
        clip(dx / len2, ((y - s.ay) * dy - s.ax * dx) / len2, 0.0, 1.0);
        // Signed distance to the line: ((x-ax)(-dy) + (y-ay)dx) / len, in [-r, r].
        clip(-dy / len, ((y - s.ay) * dx + s.ax * dy) / len, -radius, radius);
        if (from <= to) {
            lo = std::min(lo, from);
            hi = std::max(hi, to);
        }
    }
    if (lo > hi)
        return false;
    out = {lo, hi};
    return true;
}

double distanceTo(const Segment& s, double x, double y) {
    const double dx = s.bx - s.ax, dy = s.by - s.ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - s.ax) * dx + (y - s.ay) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double px = s.ax + t * dx - x, py = s.ay + t * dy - y;
    return std::sqrt(px * px + py * py);
}

std::vector<Segment> segmentsOf(const QPainterPath& path, double radius,
                                std::vector<QPointF>* starts = nullptr) {
    std::vector<Segment> out;
    QPointF start, current;
    int subPath = -1;
    const auto add = [&](QPointF a, QPointF b) {
        out.push_back({a.x(), a.y(), b.x(), b.y(), std::min(a.y(), b.y()) - radius - 1,
                       std::max(a.y(), b.y()) + radius + 1, std::max(subPath, 0)});
    };
    bool open = false;
    bool lonePoint = false;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (e.isMoveTo()) {
            if (open && lonePoint)
                add(current, current);
            start = current = p;
            ++subPath;
            if (starts)
                starts->push_back(p);
            open = true;
            lonePoint = true;
        } else {
            // Curves are not drawn by the brush; their points are joined straight.
            add(current, p);
            current = p;
            lonePoint = false;
        }
    }
    if (open && lonePoint)
        add(current, current);
    (void)start;
    return out;
}

// The guide's colour around a point, as a 3×3 average, so one noisy pixel under the
// brush does not decide what the stroke keeps to.
quint32 colourAround(const QImage& guide, QPointF at) {
    const int cx = std::clamp(static_cast<int>(std::floor(at.x())), 0, guide.width() - 1);
    const int cy = std::clamp(static_cast<int>(std::floor(at.y())), 0, guide.height() - 1);
    int sum[3] = {}, n = 0;
    for (int y = std::max(0, cy - 1); y <= std::min(guide.height() - 1, cy + 1); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(guide.constScanLine(y));
        for (int x = std::max(0, cx - 1); x <= std::min(guide.width() - 1, cx + 1); ++x) {
            sum[0] += static_cast<int>((row[x] >> 16) & 0xff);
            sum[1] += static_cast<int>((row[x] >> 8) & 0xff);
            sum[2] += static_cast<int>(row[x] & 0xff);
            ++n;
        }
    }
    return static_cast<quint32>((sum[0] + n / 2) / n) << 16 |
           static_cast<quint32>((sum[1] + n / 2) / n) << 8 |
           static_cast<quint32>((sum[2] + n / 2) / n);
}

// One row's coverage by the stroke's capsules: 0 to 255 in [lo, hi].
struct RowCoverage {
    std::vector<quint8> coverage;
    std::vector<Interval> inner;
    int lo = 0;
    int hi = -1;
};

// Covers row `yc` by the capsules near it; false when none touches it.
bool coverRow(const std::vector<const Segment*>& near, double yc, double r, int w,
              RowCoverage& row) {
    int lo = w, hi = -1;
    std::vector<quint8>& coverage = row.coverage;
    row.inner.clear();
    // The fringe of each capsule, antialiased by distance, kept at the highest coverage.
    for (const Segment* s : near) {
        Interval outer;
        if (!capsuleSpan(*s, yc, r + 0.5, outer))
            continue;
        const int x0 = std::max(0, static_cast<int>(std::ceil(outer.from - 0.5)));
        const int x1 = std::min(w - 1, static_cast<int>(std::floor(outer.to - 0.5)));
        if (x0 > x1)
            continue;
        // Clear only the part of the row this capsule adds to the span so far.
        if (lo > hi) {
            std::memset(coverage.data() + x0, 0, static_cast<size_t>(x1 - x0 + 1));
        } else {
            if (x0 < lo)
                std::memset(coverage.data() + x0, 0, static_cast<size_t>(lo - x0));
            if (x1 > hi)
                std::memset(coverage.data() + hi + 1, 0, static_cast<size_t>(x1 - hi));
        }
        lo = std::min(lo, x0);
        hi = std::max(hi, x1);
        Interval in{0, -1};
        const bool hasInner = r > 0.5 && capsuleSpan(*s, yc, r - 0.5, in);
        const int i0 = hasInner ? static_cast<int>(std::ceil(in.from - 0.5)) : x1 + 1;
        const int i1 = hasInner ? static_cast<int>(std::floor(in.to - 0.5)) : x1;
        if (hasInner)
            row.inner.push_back(in);
        for (int x = x0; x <= x1; ++x) {
            if (x == i0 && i0 <= i1) {
                x = i1; // the inside is filled whole below
                continue;
            }
            quint8& c = coverage[static_cast<size_t>(x)];
            if (c == 255)
                continue;
            const double d = distanceTo(*s, x + 0.5, yc);
            const double a = std::clamp(r + 0.5 - d, 0.0, 1.0);
            c = std::max(c, static_cast<quint8>(std::lround(a * 255)));
        }
    }
    if (hi < lo)
        return false;
    for (const Interval& in : row.inner) {
        const int i0 = std::max(lo, static_cast<int>(std::ceil(in.from - 0.5)));
        const int i1 = std::min(hi, static_cast<int>(std::floor(in.to - 0.5)));
        if (i0 <= i1)
            std::memset(coverage.data() + i0, 255, static_cast<size_t>(i1 - i0 + 1));
    }
    row.lo = lo;
    row.hi = hi;
    return true;
}

// What a stroke paints with: a repeating source picture, or one solid colour.
struct Paint {
    const quint32* source = nullptr;
    int sourceWidth = 1;
    quint32 solid = 0;
    quint32 at(int x) const { return source ? source[x % sourceWidth] : solid; }
};

// A row painted by coverage alone: whole runs are copied, the fringe is blended.
void paintRow(quint32* dst, const RowCoverage& row, const Paint& paint) {
    for (int x = row.lo; x <= row.hi;) {
        const quint8 c = row.coverage[static_cast<size_t>(x)];
        if (c == 255) {
            int end = x;
            while (end + 1 <= row.hi && row.coverage[static_cast<size_t>(end + 1)] == 255)
                ++end;
            if (paint.source && end < paint.sourceWidth) {
                std::memcpy(dst + x, paint.source + x, static_cast<size_t>(end - x + 1) * 4);
            } else {
                for (int i = x; i <= end; ++i)
                    dst[i] = paint.at(i);
            }
            x = end + 1;
            continue;
        }
        if (c != 0)
            dst[x] = fx::blendPixels(dst[x], paint.at(x), c);
        ++x;
    }
}

// A row painted by coverage times the guide's likeness to the colours its sub-paths keep to:
// no whole runs to copy, each pixel is weighed.
void paintGuidedRow(quint32* dst, const RowCoverage& row, const Paint& paint, const quint32* guide,
                    const std::vector<int>& refsOnRow, const std::vector<quint32>& reference) {
    for (int x = row.lo; x <= row.hi; ++x) {
        const quint32 c = row.coverage[static_cast<size_t>(x)];
        if (c == 0)
            continue;
        quint32 like = 0;
        for (int k : refsOnRow)
            like = std::max<quint32>(like, fx::colourLikeness(guide[x], reference[k]));
        const quint32 a = (c * like + 127) / 255;
        if (a != 0)
            dst[x] = fx::blendPixels(dst[x], paint.at(x), a);
    }
}

} // namespace

void rasterStroke(QImage& target, const QPainterPath& path, double width, const QImage& source,
                  const QColor& colour, int top, const QImage* guide) {
    if (width <= 0 || target.isNull() || path.elementCount() == 0)
        return;
    const double r = width / 2.0;
    std::vector<QPointF> starts;
    const std::vector<Segment> segments = segmentsOf(path, r, &starts);
    if (segments.empty())
        return;
    if (guide && (guide->isNull() || guide->width() != target.width() ||
                  guide->height() < top + target.height() || guide->depth() != 32))
        guide = nullptr;
    // Each sub-path keeps to the colour under the point where the brush went down.
    std::vector<quint32> reference;
    if (guide)
        for (const QPointF& p : starts)
            reference.push_back(colourAround(*guide, p));
    std::vector<int> refsOnRow;
    const int w = target.width();
    RowCoverage row;
    row.coverage.resize(static_cast<size_t>(w));
    std::vector<const Segment*> near;
    Paint paint;
    paint.solid = qPremultiply(colour.rgba());
    if (!source.isNull())
        paint.sourceWidth = source.width();

    double rowMin = INFINITY, rowMax = -INFINITY;
    for (const Segment& s : segments) {
        rowMin = std::min(rowMin, s.top);
        rowMax = std::max(rowMax, s.bottom);
    }
    const int first = std::max(0, static_cast<int>(std::floor(rowMin)) - top);
    const int last = std::min(target.height() - 1, static_cast<int>(std::ceil(rowMax)) - top);
    for (int y = first; y <= last; ++y) {
        const double yc = y + top + 0.5;
        near.clear();
        for (const Segment& s : segments) {
            if (yc >= s.top && yc <= s.bottom)
                near.push_back(&s);
        }
        if (near.empty() || !coverRow(near, yc, r, w, row))
            continue;
        auto* dst = reinterpret_cast<quint32*>(target.scanLine(y));
        if (!source.isNull())
            paint.source =
                reinterpret_cast<const quint32*>(source.constScanLine((y + top) % source.height()));
        if (!guide) {
            paintRow(dst, row, paint);
            continue;
        }
        refsOnRow.clear();
        for (const Segment* s : near)
            if (std::find(refsOnRow.begin(), refsOnRow.end(), s->subPath) == refsOnRow.end())
                refsOnRow.push_back(s->subPath);
        paintGuidedRow(dst, row, paint,
                       reinterpret_cast<const quint32*>(guide->constScanLine(y + top)), refsOnRow,
                       reference);
    }
}

} // namespace vividra
