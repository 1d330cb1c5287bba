#pragma once

#include <QString>
#include <QStringList>

namespace vividra::test {

struct FxRun {
    int status = -1;
    QString log;
};

// Runs the real vividra-fx with `arguments`: its exit status, and what it wrote to stderr.
FxRun runFx(const QStringList& arguments);

} // namespace vividra::test
