// The controller's recording of history states.
#include <QColorDialog>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/slider.h"
#include "effects/image_tools.h"
#include "history/control_values.h"
#include "paint/draw_view.h"
#include "platform/temporary_directory.h"
#include "platform/work_queue.h"
#include "session/view_controller.h"

namespace vividra {
namespace {

QString stateOf(const QAbstractButton* button) {
    return button->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

// Names the file, removes any old one of that name and writes the picture on
// the background queue; the state names the file before the write is done.
QString writeInBackground(const QString& prefix, qint64 ms, const Picture& picture) {
    const QString path =
        platform::temporaryDirectory() + prefix + QString::number(ms) + QStringLiteral(".png");
    QFile::remove(path);
    platform::runInBackground([picture, path] { ImageTools::writeImage(picture, path, 1, 1.0); });
    return path;
}

} // namespace

QString ViewController::controllersStatesText() const {
    ControlValues v;
    auto& l = v.lines;
    l[0] = stateOf(checkCustomColor);
    l[1] = stateOf(buttonCustomColor);
    l[2] = stateOf(checkForegroundBlackWhite);
    l[3] = QString::number(comboForegroundBlackWhite->currentIndex());
    l[4] = stateOf(checkForegroundColorEffects);
    l[5] = QString::number(comboForegroundColorEffects->currentIndex());
    l[6] = stateOf(checkForegroundSepia);
    l[7] = stateOf(checkForegroundBlur);
    l[8] = stateOf(checkForegroundOilPainting);
    l[9] = stateOf(checkForegroundSketch);
    l[10] = stateOf(checkBackgroundBlackWhite);
    l[11] = QString::number(comboBackgroundBlackWhite->currentIndex());
    l[12] = stateOf(checkBackgroundColorEffects);
    l[13] = QString::number(comboBackgroundColorEffects->currentIndex());
    l[14] = stateOf(checkBackgroundSepia);
    l[15] = stateOf(checkBackgroundBlur);
    l[16] = stateOf(checkBackgroundOilPainting);
    l[17] = stateOf(checkBackgroundSketch);
    l[18] = stateOf(checkEraserMode);
    l[19] = formatSliderValue(sliderBrushSize->floatValue());
    l[20] = labelBrushSize->text();
    const Slider* sliders[] = {sliderForegroundSepiaIntensity,
                               sliderForegroundBlurIntensity,
                               sliderForegroundOilPaintingIntensity,
                               sliderForegroundSketchEdge,
                               sliderBackgroundSepiaIntensity,
                               sliderBackgroundBlurIntensity,
                               sliderBackgroundOilPaintingIntensity,
                               sliderBackgroundSketchIntensity,
                               sliderBackgroundSketchEdge,
                               sliderBrightness,
                               sliderExposure,
                               sliderContrast,
                               sliderSaturation,
                               sliderGamma,
                               sliderHue,
                               sliderRed,
                               sliderGreen,
                               sliderBlue};
    size_t line = 21;
    for (const Slider* s : sliders)
        l[line++] = formatSliderValue(s->floatValue());
    return v.toText();
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
    if (checkEraserMode->isChecked()) {
        strokeA->isErase = strokeB->isErase = true;
    } else if (checkCustomColor->isChecked()) {
        strokeA->color = strokeB->color = QBrush(colorPanel->currentColor());
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
    if (checkEraserMode->isChecked())
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
