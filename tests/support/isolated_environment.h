#pragma once

#include <QTemporaryDir>

namespace vividra::test {

// Gives one test its own defaults store, temporary folder and data folder (where work is
// kept), and puts them back when it ends.
class IsolatedEnvironment {
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();

    QString root() const { return root_.path(); }
    // The folder the program's working folder is created in.
    QString systemTemp() const { return root_.path() + QStringLiteral("/tmp"); }

private:
    QTemporaryDir root_;
    QByteArray oldTmp_;
    QByteArray oldData_;
};

} // namespace vividra::test
