// Linked into the thread-sanitizer tests only. Qt splits large image scaling, conversion
// and span blending across its own thread pool and waits for the parts on futexes that
// this sanitizer cannot see, so it would report Qt's hand-overs as races. Qt skips the
// split when the calling thread already belongs to the pool; saying that every thread
// does keeps that work on the thread that asked for it, where every access is checked.
#include <QThreadPool>

bool QThreadPool::contains(const QThread*) const {
    return true;
}
