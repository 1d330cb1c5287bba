// The work text, the journal and work files: random sessions come back as they were, sharing
// what they shared; damage is refused with a reason; the journal keeps one file a photo.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <set>

#include "model/history/control_values.h"
#include "model/subject/subject_selection.h"
#include "model/work/journal.h"
#include "model/work/work_file.h"
#include "tests/support/run_program.h"
#include "tests/support/sample_pictures.h"

using namespace vividra;
using namespace vividra::work;

namespace {

float pick(QRandomGenerator& r, const SliderRange& range) {
    return range.minimum +
           float(r.bounded(range.steps + 1)) * (range.maximum - range.minimum) / float(range.steps);
}

EditSettings randomSettings(QRandomGenerator& r) {
    EditSettings s;
    std::vector<SettingField> all{fields::brushSize, fields::customColour, fields::eraser};
    for (const bool foreground : {true, false})
        for (const auto& part : {fields::switches(foreground), fields::sliders(foreground)})
            all.insert(all.end(), part.begin(), part.end());
    all.insert(all.end(), fields::adjustments().begin(), fields::adjustments().end());
    for (const SettingField& f : all)
        std::visit(
            [&](auto* v) {
                if constexpr (std::is_same_v<decltype(v), bool*>)
                    *v = r.bounded(2) == 1;
                else if constexpr (std::is_same_v<decltype(v), float*>)
                    *v = pick(r, f.range);
                else
                    *v = f.items->at(int(r.bounded(f.items->size())));
            },
            f.in(s));
    s.brush.edgeAware = r.bounded(2) == 1;
    // A colour picked in HSV comes back in HSV.
    s.brush.colour = QColor::fromHsv(int(r.bounded(360)), 255, int(r.bounded(256)));
    s.keep = {r.bounded(2) == 1, pick(r, ranges::keepHue), pick(r, ranges::keepTolerance),
              pick(r, ranges::keepFalloff)};
    return s;
}

CustomPathRef randomStroke(QRandomGenerator& r) {
    if (r.bounded(6) == 0)
        return makeKeepStroke({pick(r, ranges::keepHue), 12, 10});
    if (r.bounded(6) == 0) {
        auto selection = std::make_shared<SubjectSelection>();
        selection->pictureSize = QSize(500, 400);
        selection->box = {int(r.bounded(100)), int(r.bounded(100)), 1 + int(r.bounded(300)), 90};
        selection->mask = {selection->box, 1 + int(r.bounded(40)), 1 + int(r.bounded(30)), {}};
        for (int i = selection->mask.width * selection->mask.height; i > 0; --i)
            selection->mask.alpha.push_back(std::uint8_t(r.bounded(4) == 0 ? r.bounded(256) : 255));
        return makeSubjectStroke(std::move(selection));
    }
    PathRef path = makePath();
    path->moveTo(r.bounded(500.0), r.bounded(500.0));
    for (int i = int(r.bounded(20)); i > 0; --i)
        if (r.bounded(5) == 0)
            path->cubicTo(r.bounded(9.0), -r.bounded(9.0), 1e-7 * r.bounded(1.0), 3, 4, 5);
        else
            extendPath(*path, {r.bounded(500.0), r.bounded(500.0)});
    auto stroke = std::make_shared<CustomPath>(r.bounded(300.0), QBrush(Qt::white), path);
    stroke->isErase = r.bounded(3) == 0;
    stroke->isSolidColor = !stroke->isErase && r.bounded(2) == 0;
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
    for (int i = int(r.bounded(12)); i >= 0; --i) {
        const EditSettings s = randomSettings(r);
        if (r.bounded(3) == 0)
            layers = std::make_shared<StateLayers>(
                StateLayers{{s.foreground, s.adjustments}, {s.background, s.adjustments}, {}, {}});
        auto state = std::make_shared<State>(
            QBrush(), w.states.isEmpty() ? QList<CustomPathRef>()
                                         : w.states[r.bounded(w.states.size())]->paths);
        for (int k = int(r.bounded(4)); k > 0; --k)
            state->paths.append(randomStroke(r));
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

// What writing the text twice cannot show: how many strokes the states share, and the
// subjects' masks, since a stroke that lost its mask writes the same again.
using Masks = std::vector<std::pair<fx::PixelRect, std::vector<std::uint8_t>>>;
std::pair<std::size_t, Masks> shared(const SessionWork& w) {
    std::set<const void*> seen;
    Masks masks;
    for (const StateRef& state : w.states)
        for (const CustomPathRef& p : state->paths)
            if (seen.insert(p.get()).second && p->subject)
                masks.emplace_back(p->subject->mask.extent, p->subject->mask.alpha);
    return {seen.size(), masks};
}

} // namespace

// The text writes every field it reads, so a second writing equal to the first means nothing
// was lost; what the history shared is shared again, so a restore costs no more memory.
TEST(SessionWork, RandomSessionsComeBackAsTheyWereAndRefuseDamage) {
    QString error;
    for (quint32 seed = 1; seed <= 60; ++seed) {
        QRandomGenerator r(seed);
        const SessionWork w = randomWork(r);
        const std::optional<SessionWork> back = fromText(toText(w), &error);
        ASSERT_TRUE(back) << "seed " << seed << ": " << error.toStdString();
        EXPECT_EQ(toText(*back), toText(w)) << "seed " << seed;
        EXPECT_EQ(shared(*back), shared(w)) << "seed " << seed;
    }
    QRandomGenerator r(7);
    const QByteArray good = toText(randomWork(r));
    for (const auto& [from, to] : std::initializer_list<std::pair<const char*, const char*>>{
             {"\"version\":1", "\"version\":2"},
             {"\"current\":", "\"current\":-5,\"x\":"},
             {"\"blurIntensity\":", "\"blurIntensity\":1e9,\"x\":"},
             {"\"mode\":\"", "\"mode\":\"x"},
             {"\"strokes\":[", "\"strokes\":[99999,"},
             {"{", ""}}) {
        error.clear();
        EXPECT_FALSE(fromText(QByteArray(good).replace(from, to), &error)) << to;
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(Journal, KeepsAPhotosLatestWorkUnderItsContentAndPrunesTheOldest) {
    QTemporaryDir root;
    const QString photo = root.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(test::writeAll(photo, "bytes to hash"));
    Journal journal(root.filePath(QStringLiteral("work")));
    QRandomGenerator r(3);
    SessionWork last;
    // A burst of changes, the photo renamed meanwhile: the file holds the last, found by content.
    for (int i = 0; i < 20; ++i) {
        last = randomWork(r);
        last.originalPath = photo;
        last.originalHash.clear();
        last.clean = false;
        journal.submit(last);
    }
    journal.flush();
    ASSERT_TRUE(QFile::rename(photo, photo + QStringLiteral("2")));
    const QByteArray hash = contentHash(photo + QStringLiteral("2"));
    EXPECT_EQ(journal.find(hash).value().settings, last.settings);

    for (int i = 0; i < 5; ++i) {
        QFile extra(journal.pathFor(QByteArray::number(i)));
        ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
        extra.setFileTime(QDateTime::currentDateTime().addDays(-i * 30),
                          QFileDevice::FileModificationTime);
    }
    const auto left = [&] { return QDir(journal.folder()).entryList(QDir::Files); };
    journal.prune(QDateTime::currentDateTime(), 60, 100);
    EXPECT_EQ(left().size(), 4);
    EXPECT_FALSE(left().contains(QStringLiteral("3.json")));
    journal.prune(QDateTime::currentDateTime(), 60, 3);
    EXPECT_FALSE(left().contains(QStringLiteral("2.json")));
    EXPECT_TRUE(journal.remove(hash) && !journal.find(hash));
}

TEST(WorkFile, CarriesTheWorkItsPhotoAndPreviewAndRefusesDamage) {
    QTemporaryDir root;
    QRandomGenerator r(11);
    WorkFileContents contents{randomWork(r), QByteArray(5000, 'x'),
                              QStringLiteral("../../photo é.jpg"),
                              QImage(40, 30, QImage::Format_RGB32)};
    contents.work.originalHash = bytesHash(contents.original);
    contents.preview.fill(Qt::red);
    const QString path = root.filePath(QStringLiteral("w.vividra"));
    QString error;
    ASSERT_TRUE(writeWorkFile(path, contents, &error)) << error.toStdString();
    const QString unpacked = root.filePath(QStringLiteral("unpacked"));
    const std::optional<SessionWork> opened = openWorkFile(path, unpacked, &error);
    ASSERT_TRUE(opened) << error.toStdString();
    // The photo lands inside the folder whatever its name says, with its bytes.
    EXPECT_EQ(QFileInfo(opened->originalPath).absolutePath(), QDir(unpacked).absolutePath());
    EXPECT_EQ(contentHash(opened->originalPath), contents.work.originalHash);
    contents.work.originalPath = opened->originalPath;
    EXPECT_EQ(toText(*opened), toText(contents.work));

    // The file manager's thumbnailer, as its entry runs it.
    const QString thumbnail = root.filePath(QStringLiteral("thumb.png"));
    EXPECT_EQ(test::runFx({QStringLiteral("--thumbnail"), path, thumbnail, "20"}).status, 0);
    EXPECT_EQ(QImage(thumbnail).size(), QSize(20, 15));
    EXPECT_NE(test::runFx({QStringLiteral("--thumbnail"), thumbnail, thumbnail, "20"}).status, 0);

    const QByteArray whole = test::readAll(path);
    // Where the MIME database's magic looks: the type, stored first.
    EXPECT_EQ(whole.mid(30, 29), QByteArray("mimetypeapplication/x-vividra"));
    // Cut off, or the photo changed inside: its hash no longer matches the work's.
    for (const QByteArray& bad :
         {whole.left(whole.size() / 2),
          QByteArray(whole).replace(QByteArray(5000, 'x'), QByteArray(5000, 'y'))}) {
        ASSERT_TRUE(test::writeAll(path, bad));
        error.clear();
        EXPECT_FALSE(openWorkFile(path, unpacked, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}
