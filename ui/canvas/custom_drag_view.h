#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

class QMimeData;

namespace vividra {

// The image area's drop target. It watches the picture area it covers, so
// drops anywhere on the picture land here while the mouse still paints.
class CustomDragView : public QWidget {
    Q_OBJECT
public:
    explicit CustomDragView(QWidget* parent = nullptr);

    QStringList acceptedTypes{QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),
                              QStringLiteral("jp2"),  QStringLiteral("jpx"),  QStringLiteral("png"),
                              QStringLiteral("tiff"), QStringLiteral("tif"),  QStringLiteral("gif"),
                              QStringLiteral("bmp")};
    QString imagePath;

    // Takes drops that arrive on `area` and its children.
    void watch(QWidget* area);
    // Whether a picture is shown under the drop area (the new-image question depends on it).
    std::function<bool()> pictureShown;

    // Copy or nothing for what is being dragged.
    bool draggingEntered(const QMimeData* data) const;
    // The drop itself; false refuses it.
    bool performDragOperation(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool acceptsFile(const QString& path) const;
    QString receiveImageData(const QMimeData* data) const;
};

} // namespace vividra
