#include "ui/shell/single_instance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace vividra {
namespace {

constexpr int kTimeoutMs = 1500;

} // namespace

SingleInstance::SingleInstance(QString serverName) : name_(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName() {
    return QStringLiteral("vividra-%1").arg(::getuid());
}

bool SingleInstance::handOver(const QStringList& paths) const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    // One path per line, an empty line to finish; the answer "ok" confirms delivery.
    QByteArray message;
    for (const QString& p : paths)
        message += p.toUtf8() + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    return socket.waitForReadyRead(kTimeoutMs) && socket.readAll().startsWith("ok");
}

bool SingleInstance::listen(std::function<void(const QStringList&)> onPaths) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // A socket left by a crashed instance: nobody answered handOver, so take it over.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this, onPaths] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [socket, buffer, onPaths] {
                *buffer += socket->readAll();
                if (!buffer->endsWith("\n\n") && *buffer != "\n")
                    return;
                QStringList paths;
                for (const QByteArray& line : buffer->split('\n')) {
                    if (!line.isEmpty())
                        paths << QString::fromUtf8(line);
                }
                buffer->clear();
                socket->write("ok");
                socket->flush();
                onPaths(paths);
            });
        }
    });
    return true;
}

} // namespace vividra
