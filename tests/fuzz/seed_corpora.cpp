// Writes the fuzz targets' first inputs into a folder per target, made with the
// program's own encoders and by hand, so that no binary file is kept in the
// tree. Each stays under 2 KB: libFuzzer mutates from them, and small inputs
// keep a million runs within hours.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

#include "model/colour/photo_colour.h"
#include "model/files/gif_writer.h"
#include "model/files/profile_file.h"
#include "model/history/control_values.h"
#include "model/work/work_file.h"
#include "tests/support/sample_pictures.h"

using namespace vividra;

namespace {

constexpr qsizetype kMaximumSeed = 2048;
int written = 0;
bool failed = false;

void put(const QString& folder, const QString& name, const QByteArray& bytes) {
    if (!bytes.isEmpty() && bytes.size() <= kMaximumSeed &&
        test::writeAll(folder + QLatin1Char('/') + name, bytes)) {
        ++written;
        return;
    }
    std::fprintf(stderr, "seed %s/%s: %lld bytes, not written\n", qPrintable(folder),
                 qPrintable(name), static_cast<long long>(bytes.size()));
    failed = true;
}

// The same frame several times over: header and palette, the frame's blocks, the trailer.
QByteArray animated(const QByteArray& gif, int frames) {
    const qsizetype frame = 13 + 256 * 3;
    const QByteArray body = gif.mid(frame, gif.size() - frame - 1);
    QByteArray out = gif.left(frame);
    for (int i = 0; i < frames; ++i)
        out.append(body);
    return out.append(';');
}

void pictureSeeds(const QString& folder) {
    const QImage photo = test::photoLike(12, 8);
    for (const auto& [name, code] :
         {std::pair{"photo.jpg", 1}, std::pair{"photo.png", 5}, std::pair{"photo.tif", 6},
          std::pair{"photo.gif", 8}, std::pair{"photo.bmp", 9}, std::pair{"photo.jp2", 3}})
        put(folder, name, test::encoded(Picture(photo), code));
    if (ImageTools::heicEncodingAvailable())
        put(folder, "photo.heic", test::encoded(Picture(test::photoLike(8, 8)), 11));
    put(folder, "lossy.jp2", test::encoded(Picture(photo), 3, 0.4));
    put(folder, "raw.j2k", test::codestreamOf(test::encoded(Picture(photo), 3)));
    put(folder, "alpha.png", test::encoded(Picture(test::withAlphaBands(8, 8)), 5));
    put(folder, "alpha.tif", test::encoded(Picture(test::withAlphaBands(8, 4)), 6));
    put(folder, "progressive.jpg", test::qtJpeg(photo, 80, true));
    put(folder, "grey.jpg",
        test::qtJpeg(photo.convertToFormat(QImage::Format_Grayscale8), 80, false));
    const QByteArray jpeg = test::qtJpeg(test::photoLike(16, 16), 80, false);
    put(folder, "turned.jpg", test::withOrientation(jpeg, 6));
    put(folder, "mirrored.jpg", test::withOrientation(jpeg, 5));
    put(folder, "cut.jpg", jpeg.left(jpeg.size() * 3 / 4));
    put(folder, "frames.gif", animated(gif::encode(test::photoLike(2, 2)), 3).left(kMaximumSeed));

    // A colour profile, EXIF turned a quarter and an XMP packet in every format that holds
    // them; and a profile cut short.
    PhotoMetadata metadata;
    metadata.iccProfile = colour::profileFromPrimaries(
        {0.680f, 0.320f, 0.265f, 0.690f, 0.150f, 0.060f, 0.3127f, 0.3290f}, 13);
    metadata.exif = QByteArray::fromHex("49492a000800000001001201030001000000060000000000000000");
    metadata.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    Picture tagged(test::photoLike(6, 4));
    tagged.metadata = std::make_shared<const PhotoMetadata>(metadata);
    for (const auto& [name, code] : {std::pair{"tagged.jpg", 1}, std::pair{"tagged.png", 5},
                                     std::pair{"tagged.tif", 6}, std::pair{"tagged.jp2", 3}})
        put(folder, name, test::encoded(tagged, code));
    metadata.iccProfile.chop(metadata.iccProfile.size() / 3);
    tagged.metadata = std::make_shared<const PhotoMetadata>(metadata);
    put(folder, "cut profile.png", test::encoded(tagged, 5));
}

void profileSeeds(const QString& folder) {
    EditSettings settings;
    put(folder, "default.clr", profile::text(settings, settings.brushLabel()).toUtf8());
    settings.foreground.sepiaOn = settings.background.sketchOn = true;
    settings.background.blackWhiteOn = true;
    settings.background.blackWhiteEffect = kBlackWhiteItems.last();
    settings.adjustments.brightness = -0.25f;
    settings.adjustments.hue = 1e-5f;
    settings.brush.size = 73.5f;
    settings.brush.colour = QColor(255, 128, 3);
    const QString text = profile::text(settings, settings.brushLabel());
    put(folder, "changed.clr", text.toUtf8());
    put(folder, "crlf.clr",
        QString(text).replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toUtf8());
}

void controlValueSeeds(const QString& folder) {
    EditSettings settings;
    put(folder, "default", ControlValues::record(settings).toText().toUtf8());
    settings.foreground.colorEffectsOn = true;
    settings.foreground.colorEffect = kColorEffectItems.last();
    settings.background.blurOn = true;
    settings.background.blurIntensity = 12.5f;
    settings.adjustments.gamma = 2.25f;
    settings.brush.eraser = true;
    settings.brush.size = 140.0f;
    put(folder, "changed", ControlValues::record(settings).toText().toUtf8());
}

void sessionWorkSeeds(const QString& folder) {
    work::SessionWork w;
    put(folder, "empty", work::toText(w));
    PathRef path = makePath();
    path->moveTo(1, 2);
    path->lineTo(30, 4);
    path->cubicTo(5, 5, 6, 6, 9, 9);
    auto colour = std::make_shared<CustomPath>(4.5, QBrush(Qt::red), path);
    colour->isSolidColor = colour->edgeAware = true;
    auto state = std::make_shared<State>(
        QBrush(), QList<CustomPathRef>{makeKeepStroke({30, 12, 10}),
                                       std::make_shared<CustomPath>(20, QBrush(), path), colour});
    w.states = {state};
    w.current = 0;
    w.strokes = state->paths;
    put(folder, "strokes", work::toText(w));
}

void workFileSeeds(const QString& folder) {
    work::WorkFileContents contents;
    contents.original = test::encoded(Picture(test::photoLike(4, 3)), 5);
    contents.originalName = QStringLiteral("photo.png");
    contents.work.originalPath = QStringLiteral("/photo.png");
    contents.work.originalHash = work::bytesHash(contents.original);
    contents.preview = test::photoLike(4, 3);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.vividra"));
    QString error;
    put(folder, "photo.vividra",
        work::writeWorkFile(path, contents, &error) ? test::readAll(path) : QByteArray());
}

void fxSeeds(const QString& folder) {
    const char* commands[] = {
        "in.jpg\nout.png",
        "in.jpg\nout.jpg\nphoto\nNoir\nblur\n5",
        "a.png\nb.jp2\nsketch\n1\n2\nrgb\n1\n0.5\n2\nkuwahara\n3",
        ("a\nb.tiff\nsepia\n0.7\nbrightness\n-0.2\ncontrast\n1.5\nsaturation\n0\n"
         "exposure\n1\ngamma\n2.2\nhue\n90"),
        "--profile\nlook.clr\na.jpg\nb/a.jpg\nc.webp\n--out\ndone",
        "--out=o\n--keep-hue\n12.5\nx.heic\n--tolerance\n30\n--profile=p.clr\n--\n--y.png",
    };
    int i = 0;
    for (const char* command : commands)
        put(folder, QStringLiteral("command%1").arg(++i), QByteArray(command));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_corpora FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    pictureSeeds(root + QStringLiteral("/picture_reader"));
    profileSeeds(root + QStringLiteral("/profile_file"));
    controlValueSeeds(root + QStringLiteral("/control_values"));
    fxSeeds(root + QStringLiteral("/fx_arguments"));
    sessionWorkSeeds(root + QStringLiteral("/session_work"));
    workFileSeeds(root + QStringLiteral("/work_file"));
    std::printf("%d seed inputs in %s\n", written, argv[1]);
    return failed ? 1 : 0;
}
