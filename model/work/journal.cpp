#include "model/work/journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

#include "model/platform/work_queue.h"

namespace vividra::work {
namespace {

const QString kSuffix = QStringLiteral(".json");
// A journal far beyond what 500 strokes need is no journal of ours.
constexpr qint64 kMaximumSize = 256ll << 20;

std::optional<SessionWork> readWork(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > kMaximumSize) {
        if (error)
            *error = QStringLiteral("The saved work is damaged: it is too large.");
        return std::nullopt;
    }
    QString why;
    std::optional<SessionWork> work = fromText(file.readAll(), &why);
    if (!work && error)
        *error = why;
    return work;
}

} // namespace

QString Journal::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vividra/work");
}

Journal::Journal(QString folder)
    : folder_(std::move(folder)), self_(std::make_shared<std::atomic<Journal*>>(this)),
      thread_([this] { run(); }) {}

Journal::~Journal() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    self_->store(nullptr);
}

QString Journal::pathFor(const QByteArray& hash) const {
    return folder_ + QLatin1Char('/') + QString::fromLatin1(hash) + kSuffix;
}

void Journal::submit(SessionWork work) {
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty() && queue_.back().work.originalPath == work.originalPath)
            queue_.back().work = std::move(work);
        else
            queue_.push_back({std::move(work)});
    }
    wake_.notify_all();
}

void Journal::flush() {
    std::unique_lock lock(mutex_);
    for (Item& item : queue_)
        item.urgent = true;
    wake_.notify_all();
    drained_.wait(lock, [this] { return queue_.empty() && !writing_; });
}

void Journal::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            drained_.notify_all();
            if (stopping_)
                return;
            wake_.wait(lock);
            continue;
        }
        // The last photo's snapshot waits out the window; an older photo's is final.
        const auto due = lastWrite_ + std::chrono::milliseconds(kCoalesceMs);
        if (queue_.size() == 1 && !queue_.front().urgent && !stopping_ &&
            std::chrono::steady_clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        Item item = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();
        QString error;
        const bool ok = write(item.work, &error);
        // The snapshot shares its texts and states with the session: it goes back to be
        // dropped where they were made, after everything this thread did with it.
        platform::runOnMain([item = std::move(item)]() mutable { item = Item(); });
        lock.lock();
        writing_ = false;
        lastWrite_ = std::chrono::steady_clock::now();
        const bool report = !ok && !failing_;
        failing_ = !ok;
        if (report)
            platform::runOnMain([self = self_, error] {
                if (Journal* journal = self->load())
                    emit journal->failed(error);
            });
    }
}

bool Journal::write(SessionWork& work, QString* error) {
    if (work.originalPath != hashedPath_) {
        // A copy of this thread's own, not a share of the session's text.
        hashedPath_ = QString(work.originalPath.constData(), work.originalPath.size());
        hash_ = contentHash(work.originalPath);
    }
    if (work.originalHash.isEmpty())
        work.originalHash = hash_;
    if (work.originalHash.isEmpty()) {
        *error = QStringLiteral("The photo could not be read: ") + work.originalPath;
        return false;
    }
    const QString path = pathFor(work.originalHash);
    QSaveFile file(path);
    const QByteArray text = toText(work);
    if (!QDir().mkpath(folder_) || !file.open(QIODevice::WriteOnly) ||
        file.write(text) != text.size() || !file.commit()) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

std::optional<SessionWork> Journal::find(const QByteArray& hash, QString* error) const {
    if (hash.isEmpty())
        return std::nullopt;
    return readWork(pathFor(hash), error);
}

bool Journal::remove(const QByteArray& hash) const {
    return !hash.isEmpty() && QFile::remove(pathFor(hash));
}

std::optional<SessionWork> Journal::lastUnclean() const {
    const QFileInfoList files =
        QDir(folder_).entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Time);
    for (const QFileInfo& file : files) {
        std::optional<SessionWork> work = readWork(file.filePath(), nullptr);
        if (work && !work->clean)
            return work;
    }
    return std::nullopt;
}

void Journal::prune(const QDateTime& now, int maxAgeDays, int keep) const {
    const QFileInfoList files =
        QDir(folder_).entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Time);
    for (qsizetype i = 0; i < files.size(); ++i)
        if (i >= keep || files[i].lastModified().daysTo(now) > maxAgeDays)
            QFile::remove(files[i].filePath());
}

} // namespace vividra::work
