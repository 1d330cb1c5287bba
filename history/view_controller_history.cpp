// The controller's recording of history states.
#include <QDateTime>
#include <QFile>

#include "effects/image_tools.h"
#include "history/control_values.h"
#include "paint/draw_view.h"
#include "platform/temporary_directory.h"
#include "platform/work_queue.h"
#include "session/view_controller.h"

namespace vividra {
namespace {

// Names the file, removes any old one of that name and writes the picture on
// the background queue; the state names the file before the write is done.
QString writeInBackground(const QString& prefix, qint64 ms, const Picture& picture) {
    const QString path =
        platform::temporaryDirectory() + prefix + QString::number(ms) + QStringLiteral(".png");
    QFile::remove(path);
    platform::runInBackground([picture, path]() mutable {
        ImageTools::writeImage(picture, path, 1, 1.0);
        // Released on the main thread, which shares these pixels.
        platform::runOnMain([picture = std::move(picture)] {});
    });
    return path;
}

} // namespace

QString ViewController::controllersStatesText() const {
    return ControlValues::record(settings).toText();
}

void ViewController::commitState(const QString& action) {
    const QList<CustomPathRef> a0 =
        statesList.isEmpty() ? QList<CustomPathRef>() : statesList.last()->paths;
    const QList<CustomPathRef> b0 =
        actualStatesList.isEmpty() ? QList<CustomPathRef>() : actualStatesList.last()->paths;

    const DrawView* surface = imageViewBackground;
    // Before a picture is shown the rectangles are empty; the brush width is then taken as is.
    const double width = surface->curentRect.width() > 0
                             ? surface->originalRect.width() / surface->curentRect.width() *
                                   surface->currentLineWidth
                             : surface->currentLineWidth;
    auto strokeA = std::make_shared<CustomPath>(
        width, currentColor, saveStateTriggeredByDrawing ? copyPath(surface->path) : makePath());
    auto strokeB = std::make_shared<CustomPath>(
        width, currentColor,
        saveStateTriggeredByDrawing ? copyPath(surface->secondPath) : makePath());
    if (settings.brush.eraser) {
        strokeA->isErase = strokeB->isErase = true;
    } else if (settings.brush.customColor) {
        strokeA->color = strokeB->color = QBrush(settings.brush.colour);
        strokeA->isSolidColor = strokeB->isSolidColor = true;
    }

    auto stateA = std::make_shared<State>(currentColor, a0 + QList<CustomPathRef>{strokeA});
    auto stateB = std::make_shared<State>(currentColor, b0 + QList<CustomPathRef>{strokeB});
    const QString values = controllersStatesText();
    stateA->controllersStates = values;

    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    if (needToSaveForeground) {
        needToSaveForeground = false;
        foregroundImagePath =
            writeInBackground(QStringLiteral("foregroundImage"), ms, foregroundImage);
    }
    if (needToSaveBackground) {
        needToSaveBackground = false;
        backgroundImagePath =
            writeInBackground(QStringLiteral("backgroundImage"), ms, backgroundImage);
    }
    if (settings.brush.eraser)
        preEraseImagePath = writeInBackground(QStringLiteral("eraseImage"), ms, preEraseImage);

    for (const StateRef& s : {stateA, stateB}) {
        s->foregroundImagePath = foregroundImagePath;
        s->backgroundImagePath = backgroundImagePath;
        s->preEraseImagePath = preEraseImagePath;
        s->controllersStates = values;
        s->lastAction = action;
    }
    statesList.append(stateA);
    actualStatesList.append(stateB);
}

void ViewController::registerStateChange(const QString& action) {
    if (!needToSaveState) {
        needToSaveState = true;
        return;
    }
    if (currenState < numberOfStates) {
        while (currenState < statesList.size() - 1) {
            statesList.removeLast();
            actualStatesList.removeLast();
        }
        commitState(action);
        currenState += 1;
    } else {
        commitState(action);
        statesList.removeFirst();
        actualStatesList.removeFirst();
    }
    needToSaveState = true;
}

} // namespace vividra
