#include "model/work/work_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <zip.h>

#include <memory>

namespace vividra::work {
namespace {

const QString kFormat = QStringLiteral("vividra-work-file");
constexpr int kVersion = 1;
const char* const kMimeTypeEntry = "mimetype";
const char* const kManifestEntry = "manifest.json";
const char* const kWorkEntry = "work.json";
const char* const kPreviewEntry = "preview.png";
// What a part may declare before it is refused: a work file is no way to fill the memory.
constexpr zip_uint64_t kMaximumText = 64ull << 20;
constexpr zip_uint64_t kMaximumOriginal = 2ull << 30;
constexpr zip_uint64_t kMaximumPreview = 16ull << 20;

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
using Zip = std::unique_ptr<zip_t, ZipCloser>;

QString zipError(zip_t* zip) {
    return QString::fromLocal8Bit(zip_error_strerror(zip_get_error(zip)));
}

bool add(zip_t* zip, const char* name, const QByteArray& bytes, bool compress) {
    zip_source_t* source = zip_source_buffer(zip, bytes.constData(), bytes.size(), 0);
    if (!source)
        return false;
    const zip_int64_t index = zip_file_add(zip, name, source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    return zip_set_file_compression(zip, static_cast<zip_uint64_t>(index),
                                    compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) == 0;
}

std::optional<QByteArray> readEntry(zip_t* zip, const QString& name, zip_uint64_t maximum) {
    const QByteArray utf8 = name.toUtf8();
    const zip_int64_t index = zip_name_locate(zip, utf8.constData(), ZIP_FL_ENC_UTF_8);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (index < 0 || zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE) || stat.size > maximum)
        return std::nullopt;
    zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0);
    if (!file)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_fread(file, bytes.data(), stat.size);
    char extra;
    const bool whole =
        read == static_cast<zip_int64_t>(stat.size) && zip_fread(file, &extra, 1) == 0;
    zip_fclose(file);
    if (!whole)
        return std::nullopt;
    return bytes;
}

Zip openZip(const QString& path, QString* error) {
    int code = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!zip) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        *error = QStringLiteral("The work file could not be read: ") +
                 QString::fromLocal8Bit(zip_error_strerror(&e)) + QLatin1Char('.');
        zip_error_fini(&e);
    }
    return Zip(zip);
}

std::optional<QJsonObject> manifest(zip_t* zip) {
    const std::optional<QByteArray> text =
        readEntry(zip, QLatin1String(kManifestEntry), kMaximumText);
    const QJsonDocument document = text ? QJsonDocument::fromJson(*text) : QJsonDocument();
    if (!document.isObject() || document.object().value(QStringLiteral("format")) != kFormat)
        return std::nullopt;
    return document.object();
}

} // namespace

bool writeWorkFile(const QString& path, const WorkFileContents& contents, QString* error) {
    int code = 0;
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    Zip zip(zip_open(QFile::encodeName(part).constData(), ZIP_CREATE | ZIP_EXCL, &code));
    if (!zip) {
        *error = QStringLiteral("The work file could not be written.");
        return false;
    }
    const QString originalName = QStringLiteral("original/") + contents.originalName;
    const QByteArray manifestText =
        QJsonDocument(QJsonObject{{QStringLiteral("format"), kFormat},
                                  {QStringLiteral("version"), kVersion},
                                  {QStringLiteral("work"), QLatin1String(kWorkEntry)},
                                  {QStringLiteral("original"), originalName},
                                  {QStringLiteral("preview"), QLatin1String(kPreviewEntry)}})
            .toJson();
    const QByteArray workText = toText(contents.work);
    QByteArray preview;
    QBuffer buffer(&preview);
    buffer.open(QIODevice::WriteOnly);
    contents.preview.save(&buffer, "PNG");
    const QByteArray originalUtf8 = originalName.toUtf8();
    // The type first and stored, as in OpenDocument files, so it can be told by its bytes.
    const bool added = add(zip.get(), kMimeTypeEntry, kWorkFileMimeType, false) &&
                       add(zip.get(), kManifestEntry, manifestText, true) &&
                       add(zip.get(), kWorkEntry, workText, true) &&
                       add(zip.get(), originalUtf8.constData(), contents.original, false) &&
                       (preview.isEmpty() || add(zip.get(), kPreviewEntry, preview, false));
    if (!added || zip_close(zip.get()) != 0) {
        *error = QStringLiteral("The work file could not be written: ") + zipError(zip.get()) +
                 QLatin1Char('.');
        QFile::remove(part);
        return false;
    }
    zip.release();
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        *error = QStringLiteral("The work file could not be written.");
        QFile::remove(part);
        return false;
    }
    return true;
}

std::optional<SessionWork> openWorkFile(const QString& path, const QString& folder,
                                        QString* error) {
    const Zip zip = openZip(path, error);
    if (!zip)
        return std::nullopt;
    const QString damaged = QStringLiteral("The work file is damaged.");
    const std::optional<QJsonObject> m = manifest(zip.get());
    if (!m) {
        *error = damaged;
        return std::nullopt;
    }
    if (m->value(QStringLiteral("version")).toInt(0) != kVersion) {
        *error = QStringLiteral("The work file was made by another version of Vividra.");
        return std::nullopt;
    }
    const QString originalEntry = m->value(QStringLiteral("original")).toString();
    const std::optional<QByteArray> text =
        readEntry(zip.get(), m->value(QStringLiteral("work")).toString(), kMaximumText);
    const std::optional<QByteArray> original =
        readEntry(zip.get(), originalEntry, kMaximumOriginal);
    if (!text || !original) {
        *error = damaged;
        return std::nullopt;
    }
    std::optional<SessionWork> work = fromText(*text, error);
    if (!work)
        return std::nullopt;
    // Only the name is taken: an entry's folders never lead outside `folder`.
    QString name = QFileInfo(originalEntry).fileName();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name = QStringLiteral("original");
    const QString target = folder + QLatin1Char('/') + work->originalHash + QLatin1Char('-') + name;
    QFile out(target);
    if (!QDir().mkpath(folder) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(*original) != original->size() || !out.flush()) {
        *error =
            QStringLiteral("The work file's photo could not be unpacked: ") + out.errorString();
        return std::nullopt;
    }
    out.close();
    if (contentHash(target) != work->originalHash) {
        QFile::remove(target);
        *error = damaged;
        return std::nullopt;
    }
    work->originalPath = target;
    return work;
}

QImage workFilePreview(const QString& path) {
    QString error;
    const Zip zip = openZip(path, &error);
    const std::optional<QJsonObject> m = zip ? manifest(zip.get()) : std::nullopt;
    const std::optional<QByteArray> bytes =
        m ? readEntry(zip.get(), m->value(QStringLiteral("preview")).toString(), kMaximumPreview)
          : std::nullopt;
    return bytes ? QImage::fromData(*bytes, "PNG") : QImage();
}

} // namespace vividra::work
