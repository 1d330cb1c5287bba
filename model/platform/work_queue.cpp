#include "model/platform/work_queue.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// Hand-offs between threads go through std::mutex, which the thread sanitizer
// understands, rather than through Qt's event queue alone.
namespace vividra::platform {
namespace {

class BackgroundPool {
public:
    BackgroundPool() {
        const unsigned n = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i)
            threads_.emplace_back([this] { loop(); });
    }
    ~BackgroundPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_)
            t.join();
    }

    void push(std::function<void()> work) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
            ++inFlight_;
        }
        wake_.notify_one();
    }

    int inFlight() {
        std::lock_guard lock(mutex_);
        return inFlight_;
    }

    void waitUntilIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return inFlight_ == 0; });
    }

private:
    void loop() {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_)
                    return;
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            try {
                work();
            } catch (const std::exception& e) {
                // An item that runs out of memory loses its result, not the program.
                std::fprintf(stderr, "vividra: background work failed: %s\n", e.what());
            }
            // Whatever the item held goes before it counts as done.
            work = nullptr;
            std::lock_guard lock(mutex_);
            if (--inFlight_ == 0)
                idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
    int inFlight_ = 0;
    bool stopping_ = false;
};

BackgroundPool& pool() {
    static BackgroundPool p;
    return p;
}

// Tasks for the main thread wait in a list under a std::mutex; an eventfd wakes the main
// thread's event loop. Nothing allocated on a pool thread is handed over through Qt's
// event queue, whose locks a thread sanitizer cannot see.
class MainDispatcher : public QObject {
public:
    MainDispatcher() : wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        notifier_ = new QSocketNotifier(wake_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto got = read(wake_, &count, sizeof count);
            drain();
        });
    }

    void push(std::function<void()> task) {
        bool wasEmpty = false;
        {
            std::lock_guard lock(mutex_);
            wasEmpty = tasks_.empty();
            tasks_.push_back(std::move(task));
        }
        if (wasEmpty) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto put = write(wake_, &one, sizeof one);
        }
    }

private:
    void drain() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty())
                    return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    int wake_;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

MainDispatcher* dispatcher() {
    static std::once_flag once;
    static MainDispatcher* d = nullptr;
    std::call_once(once, [] {
        d = new MainDispatcher;
        if (QCoreApplication* app = QCoreApplication::instance())
            d->moveToThread(app->thread());
    });
    return d;
}

} // namespace

void runInBackground(std::function<void()> work) {
    // Set up from the thread that starts background work, the main thread.
    dispatcher();
    pool().push(std::move(work));
}

void runOnMain(std::function<void()> task) {
    dispatcher()->push(std::move(task));
}

int backgroundJobsInFlight() {
    return pool().inFlight();
}

void waitForBackgroundWork() {
    pool().waitUntilIdle();
}

} // namespace vividra::platform
