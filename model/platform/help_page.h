#pragma once

#include <QString>

namespace vividra::platform {

// The first help page that exists: in the data folder beside the program, in `dataDir`,
// then in the source tree named by a build folder's "vividra-source-dir" note. Empty if none.
QString findHelpPage(const QString& programDir, const QString& dataDir);

} // namespace vividra::platform
