#pragma once

#include <type_traits>

namespace vividra::fx {

namespace detail {
using RowsCall = void (*)(void* body, int rowBegin, int rowEnd);
bool runRows(int rows, int grain, RowsCall call, void* body) noexcept;
} // namespace detail

// Runs body(rowBegin, rowEnd) over [0, rows) in parallel chunks (serially in
// thread-sanitizer builds, whose runtime cannot see inside the thread pool).
// False, with rows possibly left undone, when the pool could not run them for
// lack of memory or when `body` threw; nothing is thrown to the caller.
template <class Body> [[nodiscard]] bool parallelRows(int rows, Body&& body, int grain = 16) {
    using Plain = std::remove_reference_t<Body>;
    return detail::runRows(
        rows, grain, [](void* b, int y0, int y1) { (*static_cast<Plain*>(b))(y0, y1); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

} // namespace vividra::fx
