#pragma once

#include <functional>

namespace vividra::fx {

// Runs body(rowBegin, rowEnd) over [0, rows) in parallel chunks (serially in
// thread-sanitizer builds, whose runtime cannot see inside the thread pool).
void parallelRows(int rows, const std::function<void(int, int)>& body, int grain = 16);

} // namespace vividra::fx
