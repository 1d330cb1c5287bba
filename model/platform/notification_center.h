#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace vividra::platform {

// The four names that tie the window together.
inline const QString kOpenWith = QStringLiteral("openWith");
inline const QString kImageDragged = QStringLiteral("ImageDragged");
inline const QString kPathModified = QStringLiteral("PathModified");
inline const QString kOutputFormatSelected = QStringLiteral("OutputFormatSelected");

struct Notification {
    QString name;
    QVariantMap userInfo;
};

// In-process publish and subscribe, main thread only. An observer lives as long
// as its receiver object.
class NotificationCenter {
public:
    static NotificationCenter& defaultCenter();

    void addObserver(QObject* receiver, const QString& name,
                     std::function<void(const Notification&)> handler);
    void post(const QString& name, const QVariantMap& userInfo = {});

private:
    struct Observer {
        QPointer<QObject> receiver;
        QString name;
        std::function<void(const Notification&)> handler;
    };
    std::vector<Observer> observers_;
};

} // namespace vividra::platform
