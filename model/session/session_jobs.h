#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace vividra {

// The one line of picture work of an editing session.
//
// Every job that reads or writes the session's pictures or strokes (intake, layer
// renderings, stroke composites, brush and canvas refreshes, and later zoom, undo,
// profile loads and exports) runs here, one at a time, in the order it was asked for:
//
//   start  main thread, when the job's turn comes: copies what it needs out of the
//          session and returns the work, or nothing when there is nothing to do;
//   work   a pool thread: computes from those copies alone, never from the session;
//   apply  main thread: stores the result in the session.
//
// The main thread owns the session, so no locks guard it. Each job carries the
// generation of the session it was asked in; File New, the picture reset and a new
// intake begin a new generation (`beginSession`). A job of an older generation is
// skipped before it starts and its result is dropped after it ends, so a late
// completion never brings an old picture back.
//
// Room for what comes next: a screen-size preview can run beside this line (it reads
// only its own copies), and a full-resolution job made stale by a newer request sees
// its `Cancel` flag set and may stop early; its result is then dropped.
class SessionJobs {
public:
    using Cancel = std::shared_ptr<const std::atomic<bool>>;
    using Apply = std::function<void()>;
    using Work = std::function<Apply(const Cancel&)>;
    using Start = std::function<Work()>;
    // Hands a step to the main thread while the work still runs.
    using Post = std::function<void(Apply)>;

    enum class Kind { intake, rendering, composite, refresh, subject, other };

    SessionJobs() = default;
    SessionJobs(const SessionJobs&) = delete;
    SessionJobs& operator=(const SessionJobs&) = delete;
    ~SessionJobs();

    // Queues a job of the current session; it starts when every earlier job is done.
    // `ended` runs on the main thread once the job is over however it ended (applied,
    // nothing to do, or failed), unless its session is gone by then.
    void enqueue(Kind kind, Start start, Apply ended = {});

    // Queues a job that answers the user about a file (an export) rather than changing the
    // session. Once started it holds copies of all it needs, so a new session neither stops
    // it nor drops its result. `dropped` runs instead if a new session begins before it starts.
    void enqueueOutliving(Kind kind, Start start, Apply dropped);

    // Starts a new session: waiting jobs are dropped and a running one is told to stop;
    // its result will not be applied (unless it outlives the session).
    void beginSession();

    // For a job's start step: lets its work show something before it ends (the first look
    // of a picture still being decoded). A posted step runs on the main thread ahead of the
    // job's own result, and only while the job is current and not told to stop.
    Post interim();

    // Tells the running job that a newer request has made its result useless; it may stop
    // early, and its apply step still runs (to see that it stopped).
    void cancelRunning();

    // A job of `kind` of the current session is running (not just waiting).
    bool running(Kind kind) const;

    // A job is running or waiting.
    bool busy() const { return running_ || !waiting_.empty(); }
    // Jobs of `kind` of the current session running or waiting.
    int count(Kind kind) const;
    // Jobs whose apply step has run or been dropped, for tests that step through.
    std::uint64_t finishedJobs() const { return finished_; }

    // Called on the main thread whenever `busy()` may have changed.
    std::function<void(bool busy)> onBusyChanged;
    // Called on the main thread when a job's work failed by throwing (out of memory, or
    // anything else); the failure is logged as well.
    std::function<void(const QString& reason)> onFailure;

    // For quitting: drops every job, refuses new ones and waits until no pool
    // thread runs session work or a pending picture write any more.
    void shutDown();

private:
    struct Job {
        Kind kind;
        std::uint64_t generation;
        Start start;
        Apply ended;
        bool outlivesSession = false;
        Apply dropped;
    };
    void pump();
    void finish();
    void notify();

    std::deque<Job> waiting_;
    bool running_ = false;
    Kind runningKind_ = Kind::other;
    std::uint64_t runningGeneration_ = 0;
    bool runningOutlives_ = false;
    std::shared_ptr<std::atomic<bool>> runningCancel_;
    std::uint64_t generation_ = 1;
    std::uint64_t finished_ = 0;
    bool closed_ = false;
    bool lastBusy_ = false;
    // Cleared when the line goes away, so a completion still queued on the main thread is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vividra
