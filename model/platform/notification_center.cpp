#include "model/platform/notification_center.h"

#include <algorithm>

namespace vividra::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(QObject* receiver, const QString& name,
                                     std::function<void(const Notification&)> handler) {
    observers_.push_back({receiver, name, std::move(handler)});
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo) {
    std::erase_if(observers_, [](const Observer& o) { return o.receiver.isNull(); });
    const Notification note{name, userInfo};
    // A handler may add observers, so deliver to a snapshot.
    const std::vector<Observer> snapshot = observers_;
    for (const Observer& o : snapshot) {
        if (o.name == name && !o.receiver.isNull())
            o.handler(note);
    }
}

} // namespace vividra::platform
