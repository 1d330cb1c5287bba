#include "model/work/session_work.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <unordered_map>

#include "model/history/history.h"
#include "model/work/stroke_text.h"

namespace vividra::work {
namespace {

const QString kFormat = QStringLiteral("vividra-work");
constexpr int kVersion = 1;
constexpr qsizetype kMaximumStrokes = 1'000'000;

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

QJsonObject fieldsToJson(std::span<const SettingField> fields, EditSettings& s) {
    QJsonObject o;
    for (const SettingField& field : fields)
        std::visit([&](auto* value) { o.insert(QLatin1String(field.name), QJsonValue(*value)); },
                   field.in(s));
    return o;
}

// Fields the text leaves out keep their defaults, so a later version's new field is no damage;
// a value of the wrong kind or outside its range is.
bool fieldsFromJson(std::span<const SettingField> fields, const QJsonValue& from, EditSettings& s) {
    if (!from.isUndefined() && !from.isObject())
        return false;
    const QJsonObject o = from.toObject();
    for (const SettingField& field : fields) {
        const QJsonValue v = o.value(QLatin1String(field.name));
        if (v.isUndefined())
            continue;
        const bool ok =
            std::visit(Overloaded{[&](bool* b) { return v.isBool() && (*b = v.toBool(), true); },
                                  [&](QString* text) {
                                      return v.isString() && field.items &&
                                             field.items->contains(v.toString()) &&
                                             (*text = v.toString(), true);
                                  },
                                  [&](float* f) {
                                      return v.isDouble() &&
                                             field.accepts(static_cast<float>(v.toDouble())) &&
                                             (*f = static_cast<float>(v.toDouble()), true);
                                  }},
                       field.in(s));
        if (!ok)
            return false;
    }
    return true;
}

std::vector<SettingField> layerFields() {
    std::vector<SettingField> all;
    for (const auto& part : {fields::switches(true), fields::sliders(true)})
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

QJsonObject recipeToJson(const LayerRecipe& recipe) {
    EditSettings s;
    s.foreground = recipe.effects;
    s.adjustments = recipe.adjustments;
    return {{QStringLiteral("effects"), fieldsToJson(layerFields(), s)},
            {QStringLiteral("adjustments"), fieldsToJson(fields::adjustments(), s)}};
}

std::optional<LayerRecipe> recipeFromJson(const QJsonValue& value) {
    EditSettings s;
    const QJsonObject o = value.toObject();
    if (!value.isObject() ||
        !fieldsFromJson(layerFields(), o.value(QStringLiteral("effects")), s) ||
        !fieldsFromJson(fields::adjustments(), o.value(QStringLiteral("adjustments")), s))
        return std::nullopt;
    return LayerRecipe{s.foreground, s.adjustments};
}

QJsonObject keepToJson(const KeepColourSettings& keep) {
    return {{QStringLiteral("on"), keep.on},
            {QStringLiteral("hue"), keep.hue},
            {QStringLiteral("tolerance"), keep.tolerance},
            {QStringLiteral("falloff"), keep.falloff}};
}

std::optional<KeepColourSettings> keepFromJson(const QJsonValue& value) {
    const QJsonObject o = value.toObject();
    const auto angle = [&](const char* name, SliderRange range) -> std::optional<float> {
        const double v = o.value(QLatin1String(name)).toDouble(NAN);
        if (!(v >= range.minimum && v <= range.maximum))
            return std::nullopt;
        return static_cast<float>(v);
    };
    const auto hue = angle("hue", ranges::keepHue);
    const auto tolerance = angle("tolerance", ranges::keepTolerance);
    const auto falloff = angle("falloff", ranges::keepFalloff);
    if (!value.isObject() || !o.value(QStringLiteral("on")).isBool() || !hue || !tolerance ||
        !falloff)
        return std::nullopt;
    return KeepColourSettings{o.value(QStringLiteral("on")).toBool(), *hue, *tolerance, *falloff};
}

QJsonObject settingsToJson(EditSettings s) {
    const std::vector<SettingField> brush{fields::brushSize, fields::customColour, fields::eraser};
    QJsonObject brushObject = fieldsToJson(brush, s);
    brushObject.insert(QStringLiteral("colour"), colourToJson(s.brush.colour));
    brushObject.insert(QStringLiteral("edgeAware"), s.brush.edgeAware);
    return {{QStringLiteral("background"),
             recipeToJson({s.background, {}}).value(QStringLiteral("effects"))},
            {QStringLiteral("foreground"),
             recipeToJson({s.foreground, {}}).value(QStringLiteral("effects"))},
            {QStringLiteral("adjustments"), fieldsToJson(fields::adjustments(), s)},
            {QStringLiteral("brush"), brushObject},
            {QStringLiteral("keep"), keepToJson(s.keep)}};
}

std::optional<EditSettings> settingsFromJson(const QJsonValue& value) {
    const QJsonObject o = value.toObject();
    const std::optional<LayerRecipe> background = recipeFromJson(
        QJsonObject{{QStringLiteral("effects"), o.value(QStringLiteral("background"))}});
    const std::optional<LayerRecipe> foreground = recipeFromJson(
        QJsonObject{{QStringLiteral("effects"), o.value(QStringLiteral("foreground"))}});
    const std::optional<KeepColourSettings> keep = keepFromJson(o.value(QStringLiteral("keep")));
    const QJsonObject brush = o.value(QStringLiteral("brush")).toObject();
    const std::optional<QColor> colour = colourFromJson(brush.value(QStringLiteral("colour")));
    EditSettings s;
    const std::vector<SettingField> brushFields{fields::brushSize, fields::customColour,
                                                fields::eraser};
    if (!value.isObject() || !background || !foreground || !keep || !colour ||
        !fieldsFromJson(fields::adjustments(), o.value(QStringLiteral("adjustments")), s) ||
        !fieldsFromJson(brushFields, brush, s) ||
        !brush.value(QStringLiteral("edgeAware")).isBool())
        return std::nullopt;
    s.background = background->effects;
    s.foreground = foreground->effects;
    s.brush.colour = *colour;
    s.brush.edgeAware = brush.value(QStringLiteral("edgeAware")).toBool();
    s.keep = *keep;
    return s;
}

bool sameStroke(const CustomPath& a, const CustomPath& b) {
    const bool samePath =
        (a.path ? *a.path : QPainterPath()) == (b.path ? *b.path : QPainterPath());
    return samePath && a.lineWidth == b.lineWidth && a.isErase == b.isErase &&
           a.isSolidColor == b.isSolidColor && a.edgeAware == b.edgeAware && a.keep == b.keep &&
           (!a.isSolidColor || a.color.color() == b.color.color()) && a.subject == b.subject;
}

// Writes each stroke and layer set once, however many states share it.
class Tables {
public:
    int stroke(const CustomPathRef& s) {
        const auto [at, added] = strokeIndex_.try_emplace(s.get(), int(strokes_.size()));
        if (added)
            strokes_.append(strokeToJson(*s));
        return at->second;
    }
    int layers(const StateLayersRef& l) {
        if (!l)
            return -1;
        const auto [at, added] = layersIndex_.try_emplace(l.get(), int(layers_.size()));
        if (added)
            layers_.append(
                QJsonObject{{QStringLiteral("foreground"), recipeToJson(l->foregroundRecipe)},
                            {QStringLiteral("background"), recipeToJson(l->backgroundRecipe)}});
        return at->second;
    }
    QJsonArray strokes_;
    QJsonArray layers_;

private:
    std::unordered_map<const CustomPath*, int> strokeIndex_;
    std::unordered_map<const StateLayers*, int> layersIndex_;
};

} // namespace

QByteArray toText(const SessionWork& work) {
    Tables tables;
    QJsonArray states;
    for (const StateRef& state : work.states) {
        QJsonArray paths;
        for (const CustomPathRef& stroke : state->paths)
            paths.append(tables.stroke(stroke));
        states.append(QJsonObject{
            {QStringLiteral("action"), state->lastAction},
            {QStringLiteral("controls"), state->controllersStates},
            {QStringLiteral("keep"), keepToJson(state->keep)},
            {QStringLiteral("edgeAware"), state->edgeAware},
            {QStringLiteral("brushColour"), colourToJson(state->brushColour)},
            {QStringLiteral("foregroundSketchIntensity"), state->foregroundSketchIntensity},
            {QStringLiteral("layers"), tables.layers(state->layers)},
            {QStringLiteral("strokes"), paths}});
    }
    // The session's own strokes are copies of the state shown: they point at its entries.
    const QList<CustomPathRef> shown = work.current >= 0 && work.current < work.states.size()
                                           ? work.states[work.current]->paths
                                           : QList<CustomPathRef>();
    QJsonArray strokes;
    for (qsizetype i = 0; i < work.strokes.size(); ++i)
        strokes.append(tables.stroke(i < shown.size() && sameStroke(*shown[i], *work.strokes[i])
                                         ? shown[i]
                                         : work.strokes[i]));
    const QJsonObject root{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("clean"), work.clean},
        {QStringLiteral("original"),
         QJsonObject{{QStringLiteral("path"), work.originalPath},
                     {QStringLiteral("hash"), QString::fromLatin1(work.originalHash)}}},
        {QStringLiteral("settings"), settingsToJson(work.settings)},
        {QStringLiteral("brushLabel"), work.brushLabel},
        {QStringLiteral("strokeTable"), tables.strokes_},
        {QStringLiteral("layerTable"), tables.layers_},
        {QStringLiteral("strokes"), strokes},
        {QStringLiteral("history"), states},
        {QStringLiteral("current"), work.current}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<SessionWork> fromText(const QByteArray& text, QString* error) {
    QString why;
    const auto fail = [&](const QString& what) -> std::optional<SessionWork> {
        *error = QStringLiteral("The saved work is damaged: ") + what + QLatin1Char('.');
        return std::nullopt;
    };
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parse);
    if (document.isNull() || !document.isObject())
        return fail(QStringLiteral("it is not a work text"));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat)
        return fail(QStringLiteral("it is not a work text"));
    if (root.value(QStringLiteral("version")).toInt(0) != kVersion) {
        *error = QStringLiteral("The saved work was made by another version of Vividra.");
        return std::nullopt;
    }

    SessionWork work;
    const QJsonObject original = root.value(QStringLiteral("original")).toObject();
    work.originalPath = original.value(QStringLiteral("path")).toString();
    work.originalHash = original.value(QStringLiteral("hash")).toString().toLatin1();
    work.clean = root.value(QStringLiteral("clean")).toBool(false);
    work.brushLabel = root.value(QStringLiteral("brushLabel")).toString();
    const std::optional<EditSettings> settings =
        settingsFromJson(root.value(QStringLiteral("settings")));
    if (!settings)
        return fail(QStringLiteral("a setting is out of range"));
    work.settings = *settings;

    const QJsonArray strokeTable = root.value(QStringLiteral("strokeTable")).toArray();
    if (strokeTable.size() > kMaximumStrokes)
        return fail(QStringLiteral("it holds too many strokes"));
    QList<CustomPathRef> strokes;
    for (const QJsonValue& entry : strokeTable) {
        std::optional<CustomPathRef> stroke = strokeFromJson(entry.toObject(), &why);
        if (!stroke)
            return fail(why);
        strokes.append(*stroke);
    }
    QList<StateLayersRef> layers;
    for (const QJsonValue& entry : root.value(QStringLiteral("layerTable")).toArray()) {
        const auto foreground = recipeFromJson(entry[QStringLiteral("foreground")]);
        const auto background = recipeFromJson(entry[QStringLiteral("background")]);
        if (!foreground || !background)
            return fail(QStringLiteral("a layer's setting is out of range"));
        layers.append(std::make_shared<StateLayers>(StateLayers{*foreground, *background, {}, {}}));
    }
    const auto strokeList = [&](const QJsonValue& value) -> std::optional<QList<CustomPathRef>> {
        if (!value.isArray())
            return std::nullopt;
        QList<CustomPathRef> list;
        for (const QJsonValue& index : value.toArray()) {
            const int i = index.toInt(-1);
            if (!index.isDouble() || i < 0 || i >= strokes.size())
                return std::nullopt;
            list.append(strokes[i]);
        }
        return list;
    };

    const QJsonArray history = root.value(QStringLiteral("history")).toArray();
    if (history.size() > History::kMaxStates)
        return fail(QStringLiteral("its history is too long"));
    for (const QJsonValue& entry : history) {
        const QJsonObject o = entry.toObject();
        const std::optional<QList<CustomPathRef>> paths =
            strokeList(o.value(QStringLiteral("strokes")));
        const std::optional<KeepColourSettings> keep =
            keepFromJson(o.value(QStringLiteral("keep")));
        const std::optional<QColor> colour = colourFromJson(o.value(QStringLiteral("brushColour")));
        const QJsonValue layerIndex = o.value(QStringLiteral("layers"));
        const int l = layerIndex.toInt(-2);
        const double sketch = o.value(QStringLiteral("foregroundSketchIntensity")).toDouble(NAN);
        if (!paths || !keep || !colour || !o.value(QStringLiteral("controls")).isString() ||
            !layerIndex.isDouble() || l < -1 || l >= layers.size() ||
            !(sketch >= ranges::sketchIntensity.minimum &&
              sketch <= ranges::sketchIntensity.maximum))
            return fail(QStringLiteral("a step of its history is damaged"));
        auto state = std::make_shared<State>(QBrush(Qt::white), *paths);
        state->controllersStates = o.value(QStringLiteral("controls")).toString();
        state->keep = *keep;
        state->edgeAware = o.value(QStringLiteral("edgeAware")).toBool();
        state->brushColour = *colour;
        state->foregroundSketchIntensity = static_cast<float>(sketch);
        state->lastAction = o.value(QStringLiteral("action")).toString();
        state->layers = l >= 0 ? layers[l] : nullptr;
        work.states.append(std::move(state));
    }
    const QJsonValue current = root.value(QStringLiteral("current"));
    work.current = current.toInt(-2);
    if (!current.isDouble() || work.current < (work.states.isEmpty() ? -1 : 0) ||
        work.current >= work.states.size())
        return fail(QStringLiteral("its place in the history is damaged"));
    const std::optional<QList<CustomPathRef>> sessionStrokes =
        strokeList(root.value(QStringLiteral("strokes")));
    if (!sessionStrokes)
        return fail(QStringLiteral("a stroke is missing"));
    // The session's strokes are its own copies, as after an undo.
    work.strokes = snapshotStrokes(*sessionStrokes);
    return work;
}

QByteArray bytesHash(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QByteArray contentHash(const QString& path) {
    constexpr qint64 kSample = 256 * 1024;
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    if (size <= 3 * kSample)
        return hash.addData(&file) ? hash.result().toHex() : QByteArray();
    hash.addData(QByteArray::number(size));
    for (const qint64 at : {qint64{0}, (size - kSample) / 2, size - kSample}) {
        const QByteArray sample = file.seek(at) ? file.read(kSample) : QByteArray();
        if (sample.size() != kSample)
            return {};
        hash.addData(sample);
    }
    return hash.result().toHex();
}

} // namespace vividra::work
