#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace vividra {

// One editor per user session: a second launch hands its pictures to the
// running one and exits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString serverName);
    ~SingleInstance() override;

    // Sends the paths to a running instance; false when none answers.
    bool handOver(const QStringList& paths) const;
    // Becomes the running instance; `onPaths` receives what each later launch sends,
    // nothing at all when it was started without files.
    bool listen(std::function<void(const QStringList&)> onPaths);

    static QString defaultServerName();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};

} // namespace vividra
