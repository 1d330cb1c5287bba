// The work text: random sessions come back equal, sharing what they shared; damaged text is
// refused with a message and never crashes; the journal keeps one file a photo.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <set>

#include "model/history/control_values.h"
#include "model/work/journal.h"
#include "model/work/session_work.h"
#include "model/work/work_file.h"

using namespace vividra;
using namespace vividra::work;

namespace {

float pick(QRandomGenerator& r, const SliderRange& range) {
    return range.minimum + static_cast<float>(r.bounded(range.steps + 1)) *
                               (range.maximum - range.minimum) / static_cast<float>(range.steps);
}

EditSettings randomSettings(QRandomGenerator& r) {
    EditSettings s;
    for (const bool foreground : {true, false}) {
        for (const SettingField& f : fields::switches(foreground)) {
            const auto slot = f.in(s);
            if (auto* b = std::get_if<bool*>(&slot))
                **b = r.bounded(2) == 1;
            else
                *std::get<QString*>(slot) =
                    f.items->at(static_cast<int>(r.bounded(f.items->size())));
        }
        for (const SettingField& f : fields::sliders(foreground))
            *std::get<float*>(f.in(s)) = pick(r, f.range);
    }
    for (const SettingField& f : fields::adjustments())
        *std::get<float*>(f.in(s)) = pick(r, f.range);
    s.brush.size = pick(r, ranges::brushSize);
    s.brush.eraser = r.bounded(2) == 1;
    s.brush.customColor = r.bounded(2) == 1;
    s.brush.edgeAware = r.bounded(2) == 1;
    s.brush.colour = QColor::fromRgb(r.generate());
    s.keep = {r.bounded(2) == 1, pick(r, ranges::keepHue), pick(r, ranges::keepTolerance),
              pick(r, ranges::keepFalloff)};
    return s;
}

CustomPathRef randomStroke(QRandomGenerator& r) {
    if (r.bounded(6) == 0)
        return makeKeepStroke({pick(r, ranges::keepHue), pick(r, ranges::keepTolerance),
                               pick(r, ranges::keepFalloff)});
    PathRef path = makePath();
    path->moveTo(r.bounded(500.0), r.bounded(500.0));
    for (int i = 0, n = static_cast<int>(r.bounded(30)); i < n; ++i) {
        if (r.bounded(5) == 0)
            path->cubicTo(r.bounded(500.0), r.bounded(500.0), r.bounded(500.0), -r.bounded(9.0),
                          1e-7 * r.bounded(1.0), r.bounded(500.0));
        else
            extendPath(*path, {r.bounded(500.0), r.bounded(500.0)});
    }
    auto stroke = std::make_shared<CustomPath>(r.bounded(300.0), QBrush(Qt::white), path);
    stroke->isErase = r.bounded(3) == 0;
    stroke->isSolidColor = !stroke->isErase && r.bounded(2) == 0;
    if (stroke->isSolidColor)
        stroke->color = QBrush(QColor::fromRgba64(QRgba64::fromRgba64(r.generate64())));
    stroke->edgeAware = r.bounded(2) == 1;
    return stroke;
}

// States share strokes and layers as the history's do: each goes on from an earlier one.
SessionWork randomWork(QRandomGenerator& r) {
    SessionWork w;
    w.originalPath = QStringLiteral("/photos/ä %1.jpg").arg(r.generate());
    w.originalHash = QByteArray::number(r.generate64(), 16);
    w.settings = randomSettings(r);
    w.brushLabel = w.settings.brushLabel();
    w.clean = r.bounded(2) == 1;
    auto layers = std::make_shared<StateLayers>();
    for (int i = 0, n = 1 + static_cast<int>(r.bounded(12)); i < n; ++i) {
        const EditSettings s = randomSettings(r);
        if (r.bounded(3) == 0)
            layers = std::make_shared<StateLayers>(
                StateLayers{{s.foreground, s.adjustments}, {s.background, s.adjustments}, {}, {}});
        QList<CustomPathRef> paths = w.states.isEmpty()
                                         ? QList<CustomPathRef>()
                                         : w.states[r.bounded(w.states.size())]->paths;
        for (int k = 0, m = static_cast<int>(r.bounded(4)); k < m; ++k)
            paths.append(randomStroke(r));
        auto state = std::make_shared<State>(QBrush(Qt::white), paths);
        state->controllersStates = ControlValues::record(s).toText();
        state->keep = s.keep;
        state->edgeAware = s.brush.edgeAware;
        state->brushColour = s.brush.colour;
        state->foregroundSketchIntensity = s.foreground.sketchIntensity;
        state->lastAction = QStringLiteral("pathModified");
        state->layers = r.bounded(8) == 0 ? nullptr : layers;
        w.states.append(state);
    }
    w.current = r.bounded(w.states.size());
    w.strokes = snapshotStrokes(w.states[w.current]->paths);
    return w;
}

void expectSameStroke(const CustomPath& a, const CustomPath& b) {
    EXPECT_EQ(*a.path, *b.path);
    EXPECT_EQ(a.lineWidth, b.lineWidth);
    EXPECT_EQ(a.isErase, b.isErase);
    EXPECT_EQ(a.isSolidColor, b.isSolidColor);
    EXPECT_EQ(a.edgeAware, b.edgeAware);
    EXPECT_EQ(a.keep, b.keep);
    if (a.isSolidColor) {
        EXPECT_EQ(a.color.color(), b.color.color());
    }
}

template <class T> std::size_t distinct(const SessionWork& w, T of) {
    std::set<const void*> seen;
    for (const StateRef& s : w.states)
        of(*s, seen);
    return seen.size();
}

} // namespace

TEST(SessionWork, RandomSessionsComeBackEqualAndShared) {
    for (quint32 seed = 1; seed <= 60; ++seed) {
        QRandomGenerator r(seed);
        const SessionWork w = randomWork(r);
        QString error;
        const std::optional<SessionWork> back = fromText(toText(w), &error);
        ASSERT_TRUE(back) << "seed " << seed << ": " << error.toStdString();
        EXPECT_EQ(back->originalPath, w.originalPath);
        EXPECT_EQ(back->originalHash, w.originalHash);
        EXPECT_EQ(back->settings, w.settings);
        EXPECT_EQ(back->brushLabel, w.brushLabel);
        EXPECT_EQ(back->clean, w.clean);
        ASSERT_EQ(back->current, w.current);
        ASSERT_EQ(back->states.size(), w.states.size());
        for (qsizetype i = 0; i < w.states.size(); ++i) {
            const State& a = *w.states[i];
            const State& b = *back->states[i];
            EXPECT_EQ(b.controllersStates, a.controllersStates);
            EXPECT_EQ(b.keep, a.keep);
            EXPECT_EQ(b.edgeAware, a.edgeAware);
            EXPECT_EQ(b.brushColour, a.brushColour);
            EXPECT_EQ(b.foregroundSketchIntensity, a.foregroundSketchIntensity);
            EXPECT_EQ(b.lastAction, a.lastAction);
            ASSERT_EQ(b.layers == nullptr, a.layers == nullptr);
            if (a.layers) {
                EXPECT_EQ(b.layers->foregroundRecipe, a.layers->foregroundRecipe);
                EXPECT_EQ(b.layers->backgroundRecipe, a.layers->backgroundRecipe);
            }
            ASSERT_EQ(b.paths.size(), a.paths.size());
            for (qsizetype k = 0; k < a.paths.size(); ++k)
                expectSameStroke(*a.paths[k], *b.paths[k]);
        }
        ASSERT_EQ(back->strokes.size(), w.strokes.size());
        for (qsizetype k = 0; k < w.strokes.size(); ++k)
            expectSameStroke(*w.strokes[k], *back->strokes[k]);
        // What the history shared is shared again: a restored session costs no more memory.
        const auto strokesOf = [](const State& s, std::set<const void*>& seen) {
            for (const CustomPathRef& p : s.paths)
                seen.insert(p.get());
        };
        const auto layersOf = [](const State& s, std::set<const void*>& seen) {
            seen.insert(s.layers.get());
        };
        EXPECT_EQ(distinct(*back, strokesOf), distinct(w, strokesOf));
        EXPECT_EQ(distinct(*back, layersOf), distinct(w, layersOf));
    }
}

TEST(SessionWork, DamagedTextIsRefusedWithAReason) {
    QRandomGenerator r(7);
    const QByteArray good = toText(randomWork(r));
    QString error;
    ASSERT_TRUE(fromText(good, &error));
    int refused = 0;
    for (int i = 0; i < 400; ++i) {
        QByteArray bad = good;
        switch (i % 3) {
        case 0:
            bad.truncate(r.bounded(bad.size()));
            break;
        case 1:
            bad[r.bounded(bad.size())] = static_cast<char>(r.bounded(256));
            break;
        default:
            // A digit made larger: counts, indices and values out of range.
            const qsizetype at = bad.indexOf(':', r.bounded(bad.size()));
            if (at >= 0 && at + 1 < bad.size() && std::isdigit(bad[at + 1]))
                bad.insert(at + 1, "9999");
        }
        error.clear();
        if (!fromText(bad, &error)) {
            ++refused;
            EXPECT_TRUE(error.startsWith(QStringLiteral("The saved work"))) << error.toStdString();
        }
    }
    EXPECT_GT(refused, 200);
    const auto refuses = [](QByteArray text, const char* from, const char* to) {
        text.replace(from, to);
        QString why;
        return !fromText(text, &why) && !why.isEmpty();
    };
    EXPECT_TRUE(refuses(good, "\"version\":1", "\"version\":2"));
    EXPECT_TRUE(refuses(good, "\"current\":", "\"current\":-5,\"x\":"));
    EXPECT_TRUE(refuses(good, "\"blurIntensity\":", "\"blurIntensity\":1e9,\"x\":"));
    EXPECT_TRUE(refuses(good, "\"mode\":\"", "\"mode\":\"x"));
}

TEST(Journal, KeepsOnePhotosLatestWorkAndPrunesTheOldest) {
    QTemporaryDir root;
    const QString photo = root.filePath(QStringLiteral("photo.jpg"));
    QFile file(photo);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not really a picture, but bytes to hash");
    file.close();
    const QByteArray hash = contentHash(photo);
    ASSERT_FALSE(hash.isEmpty());
    QFile::rename(photo, photo + QStringLiteral("2"));
    EXPECT_EQ(contentHash(photo + QStringLiteral("2")), hash);

    Journal journal(root.filePath(QStringLiteral("work")));
    QRandomGenerator r(3);
    SessionWork last;
    // A burst of changes: only the last is what the file holds.
    for (int i = 0; i < 20; ++i) {
        last = randomWork(r);
        last.originalPath = photo + QStringLiteral("2");
        last.originalHash.clear();
        last.clean = false;
        journal.submit(last);
    }
    journal.flush();
    const std::optional<SessionWork> kept = journal.find(hash);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->settings, last.settings);
    EXPECT_EQ(kept->states.size(), last.states.size());
    ASSERT_TRUE(journal.lastUnclean());
    EXPECT_EQ(journal.lastUnclean()->originalHash, hash);
    last.clean = true;
    journal.submit(last);
    journal.flush();
    EXPECT_FALSE(journal.lastUnclean());
    EXPECT_TRUE(journal.find(hash)->clean);

    // A damaged journal is refused with its reason.
    QFile damaged(journal.pathFor("bad"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"format\":\"vividra-work\",\"version\":1,\"current\":[]}");
    damaged.close();
    QString error;
    EXPECT_FALSE(journal.find("bad", &error));
    EXPECT_FALSE(error.isEmpty());

    for (int i = 0; i < 5; ++i) {
        QFile extra(journal.pathFor(QByteArray::number(i)));
        ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
        extra.setFileTime(QDateTime::currentDateTime().addDays(-i * 30),
                          QFileDevice::FileModificationTime);
    }
    const auto left = [&] { return QDir(journal.folder()).entryList(QDir::Files); };
    journal.prune(QDateTime::currentDateTime(), 60, 100);
    EXPECT_EQ(left().size(), 5);
    EXPECT_FALSE(left().contains(QStringLiteral("3.json")));
    journal.prune(QDateTime::currentDateTime(), 60, 4);
    EXPECT_EQ(left().size(), 4);
    EXPECT_FALSE(left().contains(QStringLiteral("2.json")));
    EXPECT_TRUE(journal.remove(hash));
    EXPECT_FALSE(journal.find(hash));
}

TEST(WorkFile, CarriesTheWorkAndItsPhotoAndRefusesDamage) {
    QTemporaryDir root;
    QRandomGenerator r(11);
    WorkFileContents contents;
    contents.work = randomWork(r);
    contents.original = QByteArray(5000, 'x') + QByteArray::number(r.generate64());
    contents.work.originalHash = bytesHash(contents.original);
    contents.originalName = QStringLiteral("../../photo é.jpg");
    contents.preview = QImage(40, 30, QImage::Format_RGB32);
    contents.preview.fill(Qt::red);
    const QString path = root.filePath(QStringLiteral("w.vividra"));
    QString error;
    ASSERT_TRUE(writeWorkFile(path, contents, &error)) << error.toStdString();
    EXPECT_EQ(workFilePreview(path).size(), QSize(40, 30));
    // The file manager's thumbnailer, as its entry runs it.
    const QString thumbnail = root.filePath(QStringLiteral("thumb.png"));
    EXPECT_EQ(
        QProcess::execute(QStringLiteral(VIVIDRA_FX_PATH),
                          {QStringLiteral("--thumbnail"), path, thumbnail, QStringLiteral("20")}),
        0);
    EXPECT_EQ(QImage(thumbnail).size(), QSize(20, 15));
    EXPECT_NE(QProcess::execute(
                  QStringLiteral(VIVIDRA_FX_PATH),
                  {QStringLiteral("--thumbnail"), thumbnail, thumbnail, QStringLiteral("20")}),
              0);

    const QString unpacked = root.filePath(QStringLiteral("unpacked"));
    const std::optional<SessionWork> opened = openWorkFile(path, unpacked, &error);
    ASSERT_TRUE(opened) << error.toStdString();
    // The photo lands inside the folder whatever its name says.
    EXPECT_EQ(QFileInfo(opened->originalPath).absolutePath(), QDir(unpacked).absolutePath());
    QFile photo(opened->originalPath);
    ASSERT_TRUE(photo.open(QIODevice::ReadOnly));
    EXPECT_EQ(photo.readAll(), contents.original);
    SessionWork expected = contents.work;
    expected.originalPath = opened->originalPath;
    EXPECT_EQ(toText(*opened), toText(expected));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    // Where the MIME database's magic looks: the type, stored first.
    EXPECT_EQ(whole.mid(30, 29), QByteArray("mimetypeapplication/x-vividra"));
    const auto refused = [&](const QByteArray& bytes) {
        const QString bad = root.filePath(QStringLiteral("bad.vividra"));
        QFile out(bad);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        QString why;
        return !openWorkFile(bad, unpacked, &why) && !why.isEmpty();
    };
    EXPECT_TRUE(refused(whole.left(whole.size() / 2)));
    EXPECT_TRUE(refused(QByteArray("PK\x03\x04 not a zip")));
    // The photo's bytes changed inside the file: its hash no longer matches the work's.
    QByteArray swapped = whole;
    swapped.replace(QByteArray(5000, 'x'), QByteArray(5000, 'y'));
    EXPECT_TRUE(refused(swapped));
    EXPECT_TRUE(workFilePreview(root.filePath(QStringLiteral("none.vividra"))).isNull());
}
