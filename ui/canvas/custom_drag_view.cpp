#include "ui/canvas/custom_drag_view.h"

#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include "model/effects/image_tools.h"
#include "model/platform/notification_center.h"
#include "model/platform/temporary_directory.h"
#include "ui/shell/dialogs.h"

namespace vividra {

CustomDragView::CustomDragView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CustomDragView::watch(QWidget* area) {
    area->setAcceptDrops(true);
    area->installEventFilter(this);
}

bool CustomDragView::acceptsFile(const QString& path) const {
    return acceptedTypes.contains(QFileInfo(path).suffix().toLower());
}

bool CustomDragView::draggingEntered(const QMimeData* data) const {
    if (!data)
        return false;
    const QList<QUrl> urls = data->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile())
        return acceptsFile(urls.front().toLocalFile());
    // Picture data without a file, as a web browser offers: received on drop.
    return data->hasImage();
}

QString CustomDragView::receiveImageData(const QMimeData* data) const {
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return {};
    const QString folder = platform::temporaryDirectory() + QStringLiteral("PhotosImages");
    if (!QDir().mkpath(folder))
        return {};
    const QString path = folder + QStringLiteral("/dropped") +
                         QString::number(QDateTime::currentMSecsSinceEpoch()) +
                         QStringLiteral(".png");
    return image.save(path, "PNG") ? path : QString();
}

bool CustomDragView::performDragOperation(const QMimeData* data) {
    if (!data)
        return false;
    const bool shown = pictureShown && pictureShown();
    if (shown &&
        !platform::askYesNo(QStringLiteral(
            "All unsaved changes will be lost. Are you sure you want to add a new image?")))
        return false;
    imagePath.clear();
    const QList<QUrl> urls = data->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        const QString path = urls.front().toLocalFile();
        if (QFileInfo::exists(path) && acceptsFile(path) &&
            !ImageTools::pixelSizeOfFile(path).isEmpty())
            imagePath = path;
    } else if (data->hasImage()) {
        const QString path = receiveImageData(data);
        if (path.isEmpty())
            return false;
        imagePath = path;
    }
    if (!imagePath.isEmpty())
        platform::NotificationCenter::defaultCenter().post(platform::kImageDragged,
                                                           {{QStringLiteral("path"), imagePath}});
    return true;
}

bool CustomDragView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (draggingEntered(e->mimeData())) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    case QEvent::DragMove:
        static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        if (performDragOperation(e->mimeData())) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace vividra
