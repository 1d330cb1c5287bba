// The session's job line: one job at a time, in order, and nothing of an old session applied.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

#include "model/session/session_jobs.h"
#include "tests/support/engine_support.h"

using namespace vividra;
using Events = std::vector<std::string>;
using test::spinUntil;

namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "session_jobs_test", *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// A job that records when it starts and applies (the order of the two shows that one job
// runs at a time); its work waits while `held` and notes whether it was told to stop.
struct Probe {
    Events events;
    std::atomic<bool> held{false};
    std::atomic<bool> told{false};

    SessionJobs::Start job(const std::string& name) {
        return [this, name]() -> SessionJobs::Work {
            events.push_back("start " + name);
            return [this, name](const SessionJobs::Cancel& cancel) {
                while (held.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                told = told || cancel->load();
                return SessionJobs::Apply([this, name] { events.push_back("apply " + name); });
            };
        };
    }
};

struct JobLine : testing::Test {
    QCoreApplication& app = application();
    SessionJobs line;
    Probe probe;
};

} // namespace

TEST_F(JobLine, runsOneJobAtATimeInOrderAndReportsBusy) {
    std::vector<bool> busyChanges;
    line.onBusyChanged = [&](bool busy) { busyChanges.push_back(busy); };

    line.enqueue(SessionJobs::Kind::intake, probe.job("intake"));
    line.enqueue(SessionJobs::Kind::rendering, probe.job("render"));
    line.enqueue(SessionJobs::Kind::composite, probe.job("stroke"));
    // The first starts at once; the others wait for it to be applied.
    EXPECT_EQ(probe.events, Events{"start intake"});
    EXPECT_TRUE(line.busy());
    EXPECT_EQ(line.count(SessionJobs::Kind::rendering), 1);

    ASSERT_TRUE(spinUntil([&] { return !line.busy(); }));
    EXPECT_EQ(probe.events, (Events{"start intake", "apply intake", "start render", "apply render",
                                    "start stroke", "apply stroke"}));
    EXPECT_EQ(busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(line.finishedJobs(), 3u);

    // A job started from an apply step joins the end of the line.
    line.enqueue(SessionJobs::Kind::rendering, [&]() -> SessionJobs::Work {
        return [&](const SessionJobs::Cancel&) {
            return SessionJobs::Apply(
                [&] { line.enqueue(SessionJobs::Kind::refresh, probe.job("refresh")); });
        };
    });
    ASSERT_TRUE(spinUntil([&] { return !line.busy(); }));
    EXPECT_EQ(probe.events.back(), "apply refresh");
}

TEST_F(JobLine, aNewSessionDropsWaitingJobsAndLateResults) {
    probe.held = true;
    line.enqueue(SessionJobs::Kind::rendering, probe.job("old"));
    line.enqueue(SessionJobs::Kind::composite, probe.job("waiting"));
    line.beginSession();
    // The old rendering still runs, but no longer counts for the new session.
    EXPECT_TRUE(line.busy());
    EXPECT_EQ(line.count(SessionJobs::Kind::rendering), 0);
    line.enqueue(SessionJobs::Kind::intake, probe.job("new"));
    probe.held = false;

    ASSERT_TRUE(spinUntil([&] { return !line.busy(); }));
    EXPECT_TRUE(probe.told);
    EXPECT_EQ(probe.events, (Events{"start old", "start new", "apply new"}));

    // A start step that finds nothing to do lets the next job go.
    line.enqueue(SessionJobs::Kind::refresh, [] { return SessionJobs::Work(); });
    line.enqueue(SessionJobs::Kind::refresh, probe.job("after"));
    ASSERT_TRUE(spinUntil([&] { return !line.busy(); }));
    EXPECT_EQ(probe.events.back(), "apply after");
}

TEST_F(JobLine, workThatThrowsIsReportedEndsAndTheLineGoesOn) {
    QStringList reported;
    int ended = 0;
    line.onFailure = [&](const QString& reason) { reported << reason; };
    line.enqueue(SessionJobs::Kind::rendering, []() -> SessionJobs::Work {
        return [](const SessionJobs::Cancel&) -> SessionJobs::Apply { throw std::bad_alloc(); };
    });
    // Not every failure is a standard exception; each still ends its job.
    line.enqueue(
        SessionJobs::Kind::rendering,
        []() -> SessionJobs::Work {
            return [](const SessionJobs::Cancel&) -> SessionJobs::Apply { throw 42; };
        },
        [&] { ++ended; });
    line.enqueue(SessionJobs::Kind::composite, probe.job("next"), [&] { ++ended; });
    ASSERT_TRUE(spinUntil([&] { return !line.busy() && ended == 2; }));
    ASSERT_EQ(reported.size(), 2);
    EXPECT_TRUE(reported[0].contains(QStringLiteral("memory")));
    EXPECT_FALSE(reported[1].isEmpty());
    EXPECT_EQ(probe.events.back(), "apply next");
}
