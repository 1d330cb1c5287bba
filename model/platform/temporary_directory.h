#pragma once

#include <QString>

namespace vividra::platform {

// The folder of working files that belongs to this running instance alone.
// Created on first use under the system temporary folder; its path ends with "/".
// Leftovers of instances that are no longer running are removed when it is created.
QString temporaryDirectory();

// Empty while the private folder exists. When the system temporary folder cannot be
// written to, temporaryDirectory() hands out that folder itself and this says so in a
// sentence for the user, with what still works.
QString temporaryDirectoryProblem();

// Removes the folder and everything in it (at exit). The next call to
// temporaryDirectory() creates a fresh one.
void removeTemporaryDirectory();

} // namespace vividra::platform
