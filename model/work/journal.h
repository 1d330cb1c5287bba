#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "model/work/session_work.h"

namespace vividra::work {

// Keeps each photo's work in a file of its own, named by the photo's content hash, written on
// a thread of its own so that painting never waits for the disk. Bursts of changes within a
// second are written once; each write replaces the file whole or not at all.
class Journal : public QObject {
    Q_OBJECT
public:
    // $XDG_DATA_HOME/vividra/work
    static QString defaultFolder();
    static constexpr int kCoalesceMs = 1000;

    explicit Journal(QString folder = defaultFolder());
    // Writes what still waits.
    ~Journal() override;

    const QString& folder() const { return folder_; }
    // Takes a snapshot to write; a later one of the same photo replaces it while it waits.
    void submit(SessionWork work);
    // Writes everything waiting now, and returns once it is on disk (or failed).
    void flush();

    // The journal file of a photo with `hash`.
    QString pathFor(const QByteArray& hash) const;
    // The work kept for a photo, if any; `error` tells why a damaged one was refused.
    std::optional<SessionWork> find(const QByteArray& hash, QString* error = nullptr) const;
    bool remove(const QByteArray& hash) const;
    // The newest journal of a session that did not end in order.
    std::optional<SessionWork> lastUnclean() const;
    // Drops journals older than `maxAge` days or beyond the newest `keep`.
    void prune(const QDateTime& now, int maxAgeDays = 60, int keep = 100) const;

signals:
    // A write failed; said once until a write succeeds again (on the main thread).
    void failed(const QString& reason);

private:
    struct Item {
        SessionWork work;
        bool urgent = false;
    };
    void run();
    bool write(SessionWork& work, QString* error);

    QString folder_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<Item> queue_;
    bool stopping_ = false;
    bool writing_ = false;
    bool failing_ = false;
    std::chrono::steady_clock::time_point lastWrite_{};
    // The hash of the last original seen, so a photo is read once per session.
    QString hashedPath_;
    QByteArray hash_;
    // Whom a report reaches on the main thread; empty once the journal is gone.
    std::shared_ptr<std::atomic<Journal*>> self_;
    std::thread thread_;
};

} // namespace vividra::work
