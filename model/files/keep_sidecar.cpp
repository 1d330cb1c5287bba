#include "model/files/keep_sidecar.h"

#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include "model/files/profile_file.h"

namespace vividra::sidecar {
namespace {

const QString kExtension = QStringLiteral("keep");
const QString kEdgeAware = QStringLiteral("edge-aware");
const QString kNormal = QStringLiteral("normal");

std::optional<float> number(const QString& text, float maximum) {
    bool ok = false;
    const float value = text.toFloat(&ok);
    // NaN fails both comparisons.
    if (!ok || !(value >= 0.0f && value <= maximum))
        return std::nullopt;
    return value;
}

} // namespace

QString pathFor(const QString& profilePath) {
    const QString suffix = QFileInfo(profilePath).suffix();
    // A profile that is itself named ".keep" must not share its name with its sidecar.
    if (suffix.isEmpty() || suffix.compare(kExtension, Qt::CaseInsensitive) == 0)
        return profilePath + QLatin1Char('.') + kExtension;
    return profilePath.left(profilePath.size() - suffix.size()) + kExtension;
}

QString text(const KeepColourSettings& keep, bool edgeAware) {
    return QStringLiteral("keep=%1\nhue=%2\ntolerance=%3\nfalloff=%4\nbrush=%5\n")
        .arg(keep.on ? QStringLiteral("1") : QStringLiteral("0"), profile::formatDecimal(keep.hue),
             profile::formatDecimal(keep.tolerance), profile::formatDecimal(keep.falloff),
             edgeAware ? kEdgeAware : kNormal);
}

std::optional<Extras> parse(const QString& text) {
    Extras extras;
    QSet<QString> seen;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return std::nullopt;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (seen.contains(key))
            return std::nullopt;
        seen.insert(key);
        std::optional<float> degrees;
        if (key == QLatin1String("keep")) {
            if (value != QLatin1String("0") && value != QLatin1String("1"))
                return std::nullopt;
            extras.keep.on = value == QLatin1String("1");
        } else if (key == QLatin1String("brush")) {
            if (value != kEdgeAware && value != kNormal)
                return std::nullopt;
            extras.edgeAware = value == kEdgeAware;
        } else if (key == QLatin1String("hue")) {
            if (!(degrees = number(value, kMaximumHue)))
                return std::nullopt;
            extras.keep.hue = *degrees;
        } else if (key == QLatin1String("tolerance")) {
            if (!(degrees = number(value, kMaximumTolerance)))
                return std::nullopt;
            extras.keep.tolerance = *degrees;
        } else if (key == QLatin1String("falloff")) {
            if (!(degrees = number(value, kMaximumFalloff)))
                return std::nullopt;
            extras.keep.falloff = *degrees;
        } else {
            // A misspelt key would otherwise quietly give its default.
            return std::nullopt;
        }
    }
    if (!seen.contains(QStringLiteral("keep")))
        return std::nullopt;
    return extras;
}

std::optional<Extras> read(const QString& profilePath, bool* damaged) {
    const QString path = pathFor(profilePath);
    if (damaged)
        *damaged = false;
    if (!QFileInfo::exists(path))
        return std::nullopt;
    const std::optional<QString> contents = profile::readFile(path);
    std::optional<Extras> extras = contents ? parse(*contents) : std::nullopt;
    if (damaged)
        *damaged = !extras;
    return extras;
}

bool write(const QString& profilePath, const KeepColourSettings& keep, bool edgeAware) {
    return profile::writeFile(pathFor(profilePath), text(keep, edgeAware));
}

} // namespace vividra::sidecar
