#include "effects/kernels/parallel.h"

#ifndef VIVIDRA_SERIAL_KERNELS
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#endif

namespace vividra::fx {

void parallelRows(int rows, const std::function<void(int, int)>& body, int grain) {
    if (rows <= 0)
        return;
#ifdef VIVIDRA_SERIAL_KERNELS
    (void)grain;
    body(0, rows);
#else
    tbb::parallel_for(tbb::blocked_range<int>(0, rows, grain > 0 ? grain : 1),
                      [&](const tbb::blocked_range<int>& r) { body(r.begin(), r.end()); });
#endif
}

} // namespace vividra::fx
