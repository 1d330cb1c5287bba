#pragma once

#include <QString>

namespace vividra::platform {

// The folder of working files that belongs to this running instance alone.
// Created on first use under the system temporary folder; its path ends with "/".
// Leftovers of instances that are no longer running are removed when it is created.
QString temporaryDirectory();

// Removes the folder and everything in it (at exit). The next call to
// temporaryDirectory() creates a fresh one.
void removeTemporaryDirectory();

} // namespace vividra::platform
