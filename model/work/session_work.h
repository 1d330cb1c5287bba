#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include "model/history/state.h"
#include "model/paint/custom_path.h"
#include "model/session/edit_settings.h"

namespace vividra::work {

// A session's work as recipes: the picture is a function of the original and these, so the
// layers' pixels are never kept. The states are the history's own, not copies: nothing
// changes a recorded one.
struct SessionWork {
    QString originalPath;
    // Of the original's bytes, so a renamed photo still finds its work.
    QByteArray originalHash;
    EditSettings settings;
    QString brushLabel;
    QList<CustomPathRef> strokes;
    QList<StateRef> states;
    qsizetype current = -1;
    // Whether the session that wrote it ended in order; a journal left unclean is a crash's.
    bool clean = false;
};

// A versioned JSON text of `work`; each stroke and each set of layers shared by several
// states is written once.
QByteArray toText(const SessionWork& work);
// The work in `text`, or nothing with `error` telling what is damaged.
std::optional<SessionWork> fromText(const QByteArray& text, QString* error);

// A hex key of a file's bytes, the same under any name; empty when it cannot be read. A large
// file is known by its size and three samples of its bytes: opening a photo asks for its key
// on the main thread, where hashing all of a 16 MB photo cost 53 ms.
QByteArray contentHash(const QString& path);
QByteArray bytesHash(const QByteArray& bytes);

} // namespace vividra::work
