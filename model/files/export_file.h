#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

#include "model/platform/picture.h"

namespace vividra::exporting {

// The output-format window's entries, in order; "HEIF" and "HEIC" only where
// this build can encode HEVC.
QStringList formatEntries();
// The extensions the save dialog allows.
const QStringList& dialogExtensions();

// base + "_edited." + the entry, or the original's own extension for "Original".
QString suggestedName(const QString& originalPath, const QString& entry);
// "finalImage" + milliseconds + "." + the lower-cased entry (or the original's extension)
// in `folder`, which ends with a slash.
QString temporaryPath(const QString& folder, const QString& originalPath, const QString& entry,
                      qint64 milliseconds);
// The dialog's answer, with the entry's extension (the original's for "Original") added
// unless it already ends with one of the extensions the program writes, as the dialog's
// filter promises: "beach.webp" would otherwise be written in another format.
QString destinationPath(const QString& chosen, const QString& entry, const QString& originalPath);
// The encoder code of the destination's extension, else of the original's; -1 if neither.
int encodingCode(const QString& destination, const QString& originalPath);

struct Request {
    Picture picture;
    QString temporary;
    QString destination;
    int code = -1;
};

enum class Outcome { saved, encodeFailed, copyFailed, cancelled };

// Encodes the picture into the temporary file, then puts a copy in the destination's
// place in one step, so the old destination stays whole until the new one is complete.
// `cancel` is looked at between the steps; a cancelled export leaves nothing behind.
// The temporary file is removed in every case. On a copy failure `error` says why.
Outcome run(const Request& request, const std::atomic<bool>& cancel, QString* error);

// Copies `source` to a hidden file beside `destination`, flushes it to disk and
// renames it over `destination`. On failure the destination is untouched.
bool replaceWithCopy(const QString& source, const QString& destination, QString* error,
                     const std::atomic<bool>* cancel = nullptr);

} // namespace vividra::exporting
