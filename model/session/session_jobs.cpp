#include "model/session/session_jobs.h"

#include <exception>
#include <new>
#include <utility>

#include "model/platform/log.h"
#include "model/platform/work_queue.h"

namespace vividra {

SessionJobs::~SessionJobs() {
    *alive_ = false;
    if (runningCancel_)
        runningCancel_->store(true);
}

void SessionJobs::enqueue(Kind kind, Start start, Apply ended) {
    if (closed_)
        return;
    waiting_.push_back({kind, generation_, std::move(start), std::move(ended), false, {}});
    pump();
    notify();
}

void SessionJobs::enqueueOutliving(Kind kind, Start start, Apply dropped) {
    if (closed_)
        return;
    waiting_.push_back({kind, generation_, std::move(start), {}, true, std::move(dropped)});
    pump();
    notify();
}

void SessionJobs::beginSession() {
    ++generation_;
    finished_ += waiting_.size();
    std::deque<Job> dropped = std::exchange(waiting_, {});
    if (runningCancel_ && !runningOutlives_)
        runningCancel_->store(true);
    notify();
    // Last, as these may queue work of the new session.
    for (Job& job : dropped)
        if (job.dropped && !closed_)
            job.dropped();
}

int SessionJobs::count(Kind kind) const {
    int n = running_ && runningKind_ == kind && runningGeneration_ == generation_ ? 1 : 0;
    for (const Job& job : waiting_)
        n += job.kind == kind ? 1 : 0;
    return n;
}

void SessionJobs::pump() {
    while (!running_ && !waiting_.empty()) {
        Job job = std::move(waiting_.front());
        waiting_.pop_front();
        if (job.generation != generation_) {
            ++finished_;
            continue;
        }
        running_ = true;
        runningKind_ = job.kind;
        runningGeneration_ = job.generation;
        runningOutlives_ = job.outlivesSession;
        Work work = job.start();
        if (!work) {
            // Nothing to do after all (the session changed since it was asked for).
            running_ = false;
            ++finished_;
            if (job.ended)
                job.ended();
            continue;
        }
        runningCancel_ = std::make_shared<std::atomic<bool>>(false);
        const Cancel cancel = runningCancel_;
        const std::uint64_t generation = job.generation;
        const bool outlives = job.outlivesSession;
        platform::runInBackground([this, alive = alive_, work = std::move(work),
                                   ended = std::move(job.ended), cancel, generation,
                                   outlives]() mutable {
            Apply apply;
            QString failure;
            bool threw = true;
            try {
                apply = work(cancel);
                threw = false;
            } catch (const std::bad_alloc&) {
                failure = QStringLiteral("There is not enough memory to finish this change.");
            } catch (const std::exception& e) {
                failure = QString::fromUtf8(e.what());
            } catch (...) {
            }
            // Whatever was thrown, the change did not happen and the user hears of it.
            if (threw && failure.isEmpty())
                failure = QStringLiteral("This change could not be finished.");
            // The copies the work made are released here, on the pool thread.
            work = nullptr;
            platform::runOnMain([this, alive, apply = std::move(apply), ended = std::move(ended),
                                 failure, generation, outlives]() mutable {
                if (!*alive)
                    return;
                const bool current = (generation == generation_ || outlives) && !closed_;
                if (!failure.isEmpty())
                    platform::logLine(QStringLiteral("Job failed: ") + failure);
                if (current && apply)
                    apply();
                else if (current && !failure.isEmpty() && onFailure)
                    onFailure(failure);
                apply = nullptr;
                finish();
                if (current && ended)
                    ended();
            });
        });
    }
}

bool SessionJobs::running(Kind kind) const {
    return running_ && runningKind_ == kind && runningGeneration_ == generation_;
}

SessionJobs::Post SessionJobs::interim() {
    const std::uint64_t generation = generation_;
    return [this, alive = alive_, generation](Apply apply) {
        platform::runOnMain([this, alive, generation, apply = std::move(apply)] {
            // The job's own result is queued after this, so it is still the running job.
            if (*alive && generation == generation_ && !closed_ && runningCancel_ &&
                !runningCancel_->load())
                apply();
        });
    };
}

void SessionJobs::cancelRunning() {
    if (runningCancel_)
        runningCancel_->store(true);
}

void SessionJobs::finish() {
    running_ = false;
    runningOutlives_ = false;
    runningCancel_.reset();
    ++finished_;
    pump();
    notify();
}

void SessionJobs::notify() {
    const bool now = busy();
    if (now == lastBusy_)
        return;
    lastBusy_ = now;
    if (onBusyChanged)
        onBusyChanged(now);
}

void SessionJobs::shutDown() {
    closed_ = true;
    beginSession();
    platform::waitForBackgroundWork();
}

} // namespace vividra
