#include "ui/controller/view_controller.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

#include "kernels/pixel_memory.h"
#include "model/platform/defaults_store.h"
#include "model/platform/work_queue.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/canvas/view_navigator.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/control_ranges.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"
#include "ui/controls/title_font.h"
#include "ui/shell/dialogs.h"
#include "ui/shell/resources.h"

namespace vividra {
namespace {

const QSize kWindowSize(920, 560);

void styleButton(QPushButton* button, const QString& title, const QColor& face) {
    button->setText(title);
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton { color: white; background: %1; border: none;"
                                         " border-radius: 6px; padding: 4px 14px; }"
                                         "QPushButton:pressed { background: %2; }")
                              .arg(face.name(), face.lighter(130).name()));
}

} // namespace

ViewController::ViewController() {
    platform::loadResources();
    jobs.onFailure = [this](const QString& reason) { showJobFailure(reason); };
    history.onAvailabilityChanged = [this] { emit historyChanged(); };
}

ViewController::~ViewController() = default;

void ViewController::setUpControls() {
    // The window is ours to answer for (the main window forwards to us).
    const QFont checkBoxFont = titleFont(13);
    const QList<std::pair<CheckBox*, QString>> titles = {
        {checkCustomColor, QStringLiteral(" Custom Color")},
        {checkEraserMode, QStringLiteral(" Eraser Mode")},
        {checkForegroundBlackWhite, QStringLiteral(" Black & White")},
        {checkForegroundColorEffects, QStringLiteral(" Color Effects")},
        {checkForegroundSepia, QStringLiteral(" Sepia")},
        {checkForegroundBlur, QStringLiteral(" Blur")},
        {checkForegroundOilPainting, QStringLiteral(" Oil Painting")},
        {checkForegroundSketch, QStringLiteral(" Sketch")},
        {checkBackgroundBlackWhite, QStringLiteral(" Black & White")},
        {checkBackgroundColorEffects, QStringLiteral(" Color Effects")},
        {checkBackgroundSepia, QStringLiteral(" Sepia")},
        {checkBackgroundBlur, QStringLiteral(" Blur")},
        {checkBackgroundOilPainting, QStringLiteral(" Oil Painting")},
        {checkBackgroundSketch, QStringLiteral(" Sketch")},
        {checkEdgeAware, QStringLiteral(" Edge-Aware Brush")},
        {checkKeepColor, QStringLiteral(" Keep a Color")}};
    for (const auto& [box, title] : titles) {
        box->setImage(QStringLiteral("Checked"));
        box->setAlternateImage(QStringLiteral("Unchecked"));
        box->setFont(checkBoxFont);
        box->setText(title);
    }

    for (ComboBox* combo : {comboForegroundBlackWhite, comboBackgroundBlackWhite}) {
        combo->clear();
        combo->addItems(kBlackWhiteItems);
        combo->setCurrentIndex(0);
    }
    for (ComboBox* combo : {comboForegroundColorEffects, comboBackgroundColorEffects}) {
        combo->clear();
        combo->addItems(kColorEffectItems);
        combo->setCurrentIndex(0);
    }

    settings.brush.colour = colourDialog->currentColor();
    styleButton(buttonAdjustReset, QStringLiteral("Reset"), QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    styleButton(buttonPickColor, QStringLiteral("Pick"), QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    styleButton(buttonCustomColor, QString(), Qt::red);

    connect(segmentedControlEdit, &SegmentedControl::segmentClicked, this,
            &ViewController::showChosenEditTab);
    connect(segmentedControlPreviewOriginal, &SegmentedControl::segmentClicked, this,
            &ViewController::showChosenPreviewOrOriginal);
    viewRebuildTimer = new QTimer(this);
    viewRebuildTimer->setSingleShot(true);
    connect(viewRebuildTimer, &QTimer::timeout, this, &ViewController::refreshViewCanvas);
    resizeTimer_ = new QTimer(this);
    resizeTimer_->setSingleShot(true);
    connect(resizeTimer_, &QTimer::timeout, this, &ViewController::resizeEnded);
    for (DrawView* view : {imageView, imageViewBackground})
        view->viewState = &viewState;
    new ViewNavigator(*this);
    connectEffectControls();
    connectBrushControls();
    connectKeepControls();

    segmentedControlEdit->setSelectedSegment(0);
    tabViewEdit->setCurrentIndex(0);

    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, platform::kImageDragged,
                       [this](const platform::Notification& n) { pictureDropped(n); });
    center.addObserver(this, platform::kPathModified,
                       [this](const platform::Notification&) { strokeFinished(); });
    center.addObserver(this, platform::kOutputFormatSelected,
                       [this](const platform::Notification& n) { outputFormatChosen(n); });
    center.addObserver(this, platform::kOpenWith,
                       [this](const platform::Notification& n) { openRequested(n); });

    resetInterface();

    if (window_) {
        window_->setGeometry(QRect(QPoint(0, 0), kWindowSize));
        if (const QScreen* screen =
                window_->screen() ? window_->screen() : QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(0, 0), kWindowSize);
            frame.moveCenter(screen->availableGeometry().center());
            window_->move(frame.topLeft());
        }
    }
}

void ViewController::styleWindow() {
    if (!window_)
        return;
    QPalette pal = window_->palette();
    pal.setColor(QPalette::Window, QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f));
    window_->setPalette(pal);
    window_->setAutoFillBackground(true);
}

void ViewController::showProgress() {
    progressIndicator->show();
    progressIndicator->startAnimation();
}

void ViewController::hideProgress() {
    progressIndicator->stopAnimation();
    progressIndicator->hide();
}

void ViewController::sessionBusyChanged(bool busy) {
    if (busy) {
        showProgress();
    } else {
        hideProgress();
        // An export dropped with its session never reaches its own ending.
        closeExportProgress();
        // The picture memory kept for the next job goes back while the editor waits.
        platform::runInBackground([] { fx::releaseCachedPixels(); });
    }
    emit historyChanged();
}

void ViewController::showJobFailure(const QString& reason) {
    platform::showNotice(reason);
}

ViewController::LayerControls ViewController::layerControls(bool foreground) const {
    if (foreground)
        return {checkForegroundBlackWhite,   comboForegroundBlackWhite,
                checkForegroundColorEffects, comboForegroundColorEffects,
                checkForegroundSepia,        sliderForegroundSepiaIntensity,
                checkForegroundBlur,         sliderForegroundBlurIntensity,
                checkForegroundOilPainting,  sliderForegroundOilPaintingIntensity,
                checkForegroundSketch,       sliderForegroundSketchIntensity,
                sliderForegroundSketchEdge};
    return {checkBackgroundBlackWhite,   comboBackgroundBlackWhite,
            checkBackgroundColorEffects, comboBackgroundColorEffects,
            checkBackgroundSepia,        sliderBackgroundSepiaIntensity,
            checkBackgroundBlur,         sliderBackgroundBlurIntensity,
            checkBackgroundOilPainting,  sliderBackgroundOilPaintingIntensity,
            checkBackgroundSketch,       sliderBackgroundSketchIntensity,
            sliderBackgroundSketchEdge};
}

void ViewController::showSettings() {
    const auto showBox = [](CheckBox* box, bool on) {
        box->setChecked(on);
        box->showImageForState();
    };
    for (const bool foreground : {false, true}) {
        const LayerControls c = layerControls(foreground);
        const EffectSettings& s = foreground ? settings.foreground : settings.background;
        showBox(c.blackWhite, s.blackWhiteOn);
        c.blackWhiteEffect->setCurrentIndex(
            std::max<qsizetype>(0, kBlackWhiteItems.indexOf(s.blackWhiteEffect)));
        showBox(c.colorEffects, s.colorEffectsOn);
        c.colorEffect->setCurrentIndex(
            std::max<qsizetype>(0, kColorEffectItems.indexOf(s.colorEffect)));
        showBox(c.sepia, s.sepiaOn);
        c.sepiaIntensity->setFloatValue(s.sepiaIntensity);
        showBox(c.blur, s.blurOn);
        c.blurIntensity->setFloatValue(s.blurIntensity);
        showBox(c.oilPainting, s.oilPaintingOn);
        c.oilPaintingIntensity->setFloatValue(s.oilPaintingIntensity);
        showBox(c.sketch, s.sketchOn);
        c.sketchIntensity->setFloatValue(s.sketchIntensity);
        c.sketchEdge->setFloatValue(s.sketchEdge);
    }
    const AdjustmentSettings& a = settings.adjustments;
    sliderBrightness->setFloatValue(a.brightness);
    sliderExposure->setFloatValue(a.exposure);
    sliderContrast->setFloatValue(a.contrast);
    sliderSaturation->setFloatValue(a.saturation);
    sliderGamma->setFloatValue(a.gamma);
    sliderHue->setFloatValue(a.hue);
    sliderRed->setFloatValue(a.red);
    sliderGreen->setFloatValue(a.green);
    sliderBlue->setFloatValue(a.blue);

    sliderBrushSize->setFloatValue(settings.brush.size);
    labelBrushSize->setText(settings.brushLabel());
    showBox(checkCustomColor, settings.brush.customColor);
    showBox(checkEraserMode, settings.brush.eraser);
    styleButton(buttonCustomColor, QString(), settings.brush.colour);
    showKeepSettings();
}

void ViewController::resetInterface() {
    emptySessionData();
    changesMade = false;
    selectedFormat = QStringLiteral("Default");
    for (DrawView* view : {imageViewBackground, imageView}) {
        view->setImage(Picture());
        view->path = makePath();
    }
    currentColor = QBrush(Qt::white);
    if (!jobs.busy())
        hideProgress();

    resetControlsToDefaults();

    startHistory(QStringLiteral("resetInterface"));

    imageViewBackground->makeBrushCircleImage();

    colourChangeWaiting = colourChangeRunning = false;

    for (const QString& key :
         {platform::defaults::kAddImagePath, platform::defaults::kSaveImagePath,
          platform::defaults::kSaveAsProfilePath, platform::defaults::kLoadProfilePath}) {
        if (!platform::defaults::contains(key))
            platform::defaults::setString(key, QString());
    }
}

void ViewController::resetControlsToDefaults() {
    settings.resetToDefaults();
    showSettings();

    imageViewBackground->isColor = false;
    imageViewBackground->isErase = false;
    imageViewBackground->color = QBrush(settings.brush.colour);
    imageViewBackground->lineWidth = imageViewBackground->currentLineWidth = settings.brush.size;
}

void ViewController::beginNewSession() {
    // Work asked for in the old session is dropped, and with it what waited for it.
    jobs.beginSession();
    waitingUpdates.clear();
    canvasBuiltFor_.reset();
    colourChangeWaiting = colourChangeRunning = false;
    if (viewRebuildTimer)
        viewRebuildTimer->stop();
    if (resizeTimer_)
        resizeTimer_->stop();
    // A new session starts in Preview, fitted, where the brush paints.
    viewState.reset();
    segmentedControlPreviewOriginal->setSelectedSegment(0);
    imageViewBackground->show();
    imageViewBackground->resetCursorRects();
    previewWindow_ = originalWindow_ = ShownWindow();
    previewSource_ = previewDetail_ = Picture();
    previewForeground_ = previewBackground_ = PreviewLayer();
    runningRender_.reset();
}

void ViewController::emptySessionData() {
    beginNewSession();
    forgetOriginal();
    history.clear();

    foregroundImage = preEraseImage = zoomEraseImage = currentMaskImage = backgroundImage =
        lastImage = Picture();
    foregroundRecipe_ = backgroundRecipe_ = LayerRecipe();

    saveStateTriggeredByDrawing = false;
    lastWindowResize = false;
    maskImageWidth = maskImageHeight = 0;

    originalImagePath.clear();
    currentMaskRect = QRectF();
    infoProvider.isImageAdded = false;
    currentZoomInImage = Picture();
}

void ViewController::clearSessionForNewPicture() {
    emptySessionData();
    for (DrawView* view : {imageViewBackground, imageView}) {
        view->setImage(Picture());
        view->path = makePath();
        view->secondPath = makePath();
        view->strokePaths.clear();
    }
}

void ViewController::outputFormatChosen(const platform::Notification& note) {
    const QVariant format = note.userInfo.value(QStringLiteral("format"));
    if (format.typeId() == QMetaType::QString)
        selectedFormat = format.toString();
}

void ViewController::showChosenEditTab() {
    tabViewEdit->setCurrentIndex(segmentedControlEdit->selectedSegment());
}

} // namespace vividra
