#include "model/work/stroke_text.h"

#include <QDataStream>
#include <QJsonArray>
#include <QtEndian>

#include <cmath>
#include <mutex>
#include <vector>

#include "model/subject/subject_selection.h"

namespace vividra::work {
namespace {

// Far beyond any picture, yet small enough that rasterising never overflows.
constexpr double kMaximumCoordinate = 1e6;
constexpr double kMaximumWidth = 1e5;
constexpr qsizetype kMaximumElements = 1'000'000;

bool inRange(double value, double limit) {
    return std::isfinite(value) && std::abs(value) <= limit;
}

QJsonArray pathToJson(const QPainterPath& path) {
    QJsonArray elements;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        elements.append(static_cast<int>(e.type));
        elements.append(e.x);
        elements.append(e.y);
    }
    return elements;
}

std::optional<QPainterPath> pathFromJson(const QJsonArray& flat) {
    if (flat.size() % 3 != 0 || flat.size() / 3 > kMaximumElements)
        return std::nullopt;
    QPainterPath path;
    const qsizetype count = flat.size() / 3;
    for (qsizetype i = 0; i < count; ++i) {
        const QJsonValue type = flat[3 * i];
        const double x = flat[3 * i + 1].toDouble(NAN);
        const double y = flat[3 * i + 2].toDouble(NAN);
        if (!type.isDouble() || !inRange(x, kMaximumCoordinate) || !inRange(y, kMaximumCoordinate))
            return std::nullopt;
        const int kind = type.toInt(-1);
        if (kind == QPainterPath::MoveToElement) {
            path.moveTo(x, y);
        } else if (kind == QPainterPath::LineToElement && i > 0) {
            path.lineTo(x, y);
        } else if (kind == QPainterPath::CurveToElement && i > 0 && i + 2 < count &&
                   flat[3 * (i + 1)].toInt(-1) == QPainterPath::CurveToDataElement &&
                   flat[3 * (i + 2)].toInt(-1) == QPainterPath::CurveToDataElement) {
            const QPointF c2(flat[3 * i + 4].toDouble(NAN), flat[3 * i + 5].toDouble(NAN));
            const QPointF end(flat[3 * i + 7].toDouble(NAN), flat[3 * i + 8].toDouble(NAN));
            for (const QPointF& p : {c2, end})
                if (!inRange(p.x(), kMaximumCoordinate) || !inRange(p.y(), kMaximumCoordinate))
                    return std::nullopt;
            path.cubicTo(QPointF(x, y), c2, end);
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return path;
}

std::optional<float> angle(const QJsonValue& value, float maximum) {
    const double v = value.toDouble(NAN);
    if (!(v >= 0 && v <= maximum))
        return std::nullopt;
    return static_cast<float>(v);
}

QJsonArray rectToJson(const fx::PixelRect& r) {
    return QJsonArray{r.x, r.y, r.width, r.height};
}

std::optional<fx::PixelRect> rectFromJson(const QJsonValue& value) {
    const QJsonArray a = value.toArray();
    if (a.size() != 4)
        return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        const double d = a[i].toDouble(NAN);
        if (!(d >= (i < 2 ? 0 : 1) && d <= kMaximumCoordinate) || d != std::floor(d))
            return std::nullopt;
        v[i] = static_cast<int>(d);
    }
    return fx::PixelRect{v[0], v[1], v[2], v[3]};
}

// A mask is tens of megabytes and never changes, while the journal writes the work every
// second: each mask is compressed once and the bytes kept while the selection lives.
QByteArray compressedMask(const std::shared_ptr<const SubjectSelection>& selection) {
    static std::mutex guard;
    static std::vector<std::pair<std::weak_ptr<const SubjectSelection>, QByteArray>> cache;
    const std::lock_guard lock(guard);
    std::erase_if(cache, [](const auto& entry) { return entry.first.expired(); });
    for (const auto& [kept, bytes] : cache)
        if (kept.lock() == selection)
            return bytes;
    const std::vector<std::uint8_t>& alpha = selection->mask.alpha;
    QByteArray bytes = qCompress(alpha.data(), static_cast<qsizetype>(alpha.size()), 1);
    cache.emplace_back(selection, bytes);
    return bytes;
}

QJsonObject subjectToJson(const std::shared_ptr<const SubjectSelection>& selection) {
    const fx::SubjectMask& mask = selection->mask;
    return QJsonObject{
        {QStringLiteral("box"), rectToJson(selection->box)},
        {QStringLiteral("picture"),
         QJsonArray{selection->pictureSize.width(), selection->pictureSize.height()}},
        {QStringLiteral("extent"), rectToJson(mask.extent)},
        {QStringLiteral("size"), QJsonArray{mask.width, mask.height}},
        {QStringLiteral("mask"),
         QString::fromLatin1(compressedMask(selection).toBase64(QByteArray::OmitTrailingEquals))}};
}

std::optional<CustomPathRef> subjectFromJson(const QJsonObject& o) {
    const auto box = rectFromJson(o.value(QStringLiteral("box")));
    const auto extent = rectFromJson(o.value(QStringLiteral("extent")));
    const auto picture = rectFromJson(QJsonArray{0, 0, o.value(QStringLiteral("picture"))[0],
                                                 o.value(QStringLiteral("picture"))[1]});
    const auto size = rectFromJson(
        QJsonArray{0, 0, o.value(QStringLiteral("size"))[0], o.value(QStringLiteral("size"))[1]});
    if (!box || !extent || !picture || !size ||
        qint64(size->width) * size->height > qint64(picture->width) * picture->height)
        return std::nullopt;
    const QByteArray packed =
        QByteArray::fromBase64(o.value(QStringLiteral("mask")).toString().toLatin1());
    const qint64 expected = qint64(size->width) * size->height;
    // qUncompress trusts the length in front and allocates it before looking further.
    if (packed.size() < 4 || qFromBigEndian<quint32>(packed.constData()) != expected)
        return std::nullopt;
    const QByteArray alpha = qUncompress(packed);
    if (alpha.size() != expected)
        return std::nullopt;
    auto selection = std::make_shared<SubjectSelection>();
    selection->box = *box;
    selection->pictureSize = QSize(picture->width, picture->height);
    selection->mask.extent = *extent;
    selection->mask.width = size->width;
    selection->mask.height = size->height;
    selection->mask.alpha.assign(alpha.begin(), alpha.end());
    return makeSubjectStroke(std::move(selection));
}

} // namespace

// Qt's own stream form keeps the colour's model and every component exactly, as a colour
// picked in HSV comes back in HSV.
QJsonValue colourToJson(const QColor& colour) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << colour;
    return QString::fromLatin1(bytes.toBase64());
}

std::optional<QColor> colourFromJson(const QJsonValue& value) {
    const QByteArray bytes = QByteArray::fromBase64(value.toString().toLatin1());
    // The model's byte first, then five 16-bit parts; Qt takes the model unchecked.
    if (bytes.size() != 11 || bytes[0] < QColor::Rgb || bytes[0] > QColor::ExtendedRgb)
        return std::nullopt;
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    QColor colour;
    in >> colour;
    if (!value.isString() || in.status() != QDataStream::Ok || !in.atEnd() || !colour.isValid())
        return std::nullopt;
    return colour;
}

QJsonObject strokeToJson(const CustomPath& stroke) {
    QJsonObject o;
    if (stroke.keep) {
        o.insert(QStringLiteral("keep"),
                 QJsonArray{stroke.keep->hue, stroke.keep->tolerance, stroke.keep->falloff});
        return o;
    }
    if (stroke.subject) {
        o.insert(QStringLiteral("subject"), subjectToJson(stroke.subject));
        return o;
    }
    o.insert(QStringLiteral("width"), stroke.lineWidth);
    o.insert(QStringLiteral("mode"), stroke.isErase        ? QStringLiteral("erase")
                                     : stroke.isSolidColor ? QStringLiteral("colour")
                                                           : QStringLiteral("reveal"));
    // Reveal and erase strokes paint the layers, whatever brush they were drawn with.
    if (stroke.isSolidColor && !stroke.isErase)
        o.insert(QStringLiteral("colour"), colourToJson(stroke.color.color()));
    if (stroke.edgeAware)
        o.insert(QStringLiteral("edgeAware"), true);
    o.insert(QStringLiteral("path"), pathToJson(stroke.path ? *stroke.path : QPainterPath()));
    return o;
}

std::optional<CustomPathRef> strokeFromJson(const QJsonObject& o, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<CustomPathRef> {
        *error = why;
        return std::nullopt;
    };
    if (o.contains(QStringLiteral("keep"))) {
        const QJsonArray key = o.value(QStringLiteral("keep")).toArray();
        const auto hue = angle(key.at(0), 360), tolerance = angle(key.at(1), 90),
                   falloff = angle(key.at(2), 90);
        if (key.size() != 3 || !hue || !tolerance || !falloff)
            return fail(QStringLiteral("a kept colour is out of range"));
        return makeKeepStroke({*hue, *tolerance, *falloff});
    }
    if (o.contains(QStringLiteral("subject"))) {
        std::optional<CustomPathRef> subject =
            subjectFromJson(o.value(QStringLiteral("subject")).toObject());
        if (!subject)
            return fail(QStringLiteral("a selected subject's mask is damaged"));
        return subject;
    }
    const double width = o.value(QStringLiteral("width")).toDouble(NAN);
    if (!(width >= 0 && width <= kMaximumWidth))
        return fail(QStringLiteral("a stroke's width is out of range"));
    const std::optional<QPainterPath> path =
        pathFromJson(o.value(QStringLiteral("path")).toArray());
    if (!path)
        return fail(QStringLiteral("a stroke's path is damaged"));
    auto stroke =
        std::make_shared<CustomPath>(width, QBrush(), std::make_shared<QPainterPath>(*path));
    const QString mode = o.value(QStringLiteral("mode")).toString();
    if (mode == QStringLiteral("erase")) {
        stroke->isErase = true;
    } else if (mode == QStringLiteral("colour")) {
        const std::optional<QColor> colour = colourFromJson(o.value(QStringLiteral("colour")));
        if (!colour)
            return fail(QStringLiteral("a stroke's colour is damaged"));
        stroke->isSolidColor = true;
        stroke->color = QBrush(*colour);
    } else if (mode != QStringLiteral("reveal")) {
        return fail(QStringLiteral("a stroke has no known mode"));
    }
    stroke->edgeAware = o.value(QStringLiteral("edgeAware")).toBool(false);
    return stroke;
}

} // namespace vividra::work
