#pragma once

namespace vividra::platform {

// Registers the pictures and pages built into the program. Safe to call repeatedly.
void loadResources();

} // namespace vividra::platform
