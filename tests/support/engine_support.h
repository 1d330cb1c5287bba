#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include "model/platform/work_queue.h"
#include "model/session/session_engine.h"

namespace vividra::test {

// Runs main-thread events until `done` holds; false after half a minute.
template <class F> bool spinUntil(F done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    return done();
}

// Waits for the line and for the view's own waits (a zoom's rebuild, a resize's end).
inline bool settle(SessionEngine& e) {
    if (!spinUntil([&] { return !e.busy(); }))
        return false;
    e.settleView();
    const bool idle = spinUntil([&] { return !e.busy(); });
    platform::waitForBackgroundWork();
    return idle;
}

} // namespace vividra::test
