#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

#include "model/work/session_work.h"

namespace vividra::work {

// A .vividra work file: a zip of a manifest, the work text, the original photo's bytes and a
// small preview, so the work opens on another machine with nothing else present.
inline const QString kWorkFileExtension = QStringLiteral("vividra");
inline const QByteArray kWorkFileMimeType = QByteArrayLiteral("application/x-vividra");

struct WorkFileContents {
    SessionWork work;
    QByteArray original;
    // The original's file name, without folders.
    QString originalName;
    QImage preview;
};

// Writes `contents` to `path` in one step: a failed write leaves what was there.
bool writeWorkFile(const QString& path, const WorkFileContents& contents, QString* error);

// Reads a work file and puts its original in `folder`; the work's original is then that copy.
std::optional<SessionWork> openWorkFile(const QString& path, const QString& folder, QString* error);

// The preview alone, for file managers' thumbnails; null when there is none.
QImage workFilePreview(const QString& path);

} // namespace vividra::work
