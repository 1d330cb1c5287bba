#include "kernels/parallel.h"

#ifndef VIVIDRA_SERIAL_KERNELS
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#endif

namespace vividra::fx::detail {

bool runRows(int rows, int grain, RowsCall call, void* body) noexcept {
    if (rows <= 0)
        return true;
    // The pool allocates its tasks and hands a body's exception back here;
    // either way the caller learns it as a value.
    try {
#ifdef VIVIDRA_SERIAL_KERNELS
        (void)grain;
        call(body, 0, rows);
#else
        tbb::parallel_for(
            tbb::blocked_range<int>(0, rows, grain > 0 ? grain : 1),
            [&](const tbb::blocked_range<int>& r) { call(body, r.begin(), r.end()); });
#endif
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace vividra::fx::detail
