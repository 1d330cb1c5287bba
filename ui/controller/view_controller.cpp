#include "ui/controller/view_controller.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

#include "kernels/pixel_memory.h"
#include "model/platform/defaults_store.h"
#include "model/platform/work_queue.h"
#include "model/session/control_ranges.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/canvas/view_navigator.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"
#include "ui/controls/title_font.h"
#include "ui/shell/dialogs.h"
#include "ui/shell/display_profile.h"
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
    engine_.setDisplayProfile(displayProfile());
}

ViewController::~ViewController() = default;

void ViewController::setUpControls() {
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

    styleButton(buttonAdjustReset, QStringLiteral("Reset"), QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    styleButton(buttonPickColor, QStringLiteral("Pick"), QColor::fromRgbF(0.3f, 0.3f, 0.3f));

    connect(segmentedControlEdit, &SegmentedControl::segmentClicked, this,
            [this] { tabViewEdit->setCurrentIndex(segmentedControlEdit->selectedSegment()); });
    connect(segmentedControlPreviewOriginal, &SegmentedControl::segmentClicked, this, [this] {
        engine_.showOriginal(segmentedControlPreviewOriginal->selectedSegment() == 1);
    });
    imageView->setEngine(&engine_, false);
    imageViewBackground->setEngine(&engine_, true);
    engine_.setBoxSize(customViewImage->size());
    new ViewNavigator(*this);
    connectEngine();
    bindSettings();
    connectBrushControls();
    connectKeepControls();
    // The colour dialog's colour is the brush's custom colour from the start.
    engine_.setBrushColour(colourDialog->currentColor());

    segmentedControlEdit->setSelectedSegment(0);
    tabViewEdit->setCurrentIndex(0);

    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, platform::kImageDragged,
                       [this](const platform::Notification& n) { pictureDropped(n); });
    center.addObserver(this, platform::kOutputFormatSelected,
                       [this](const platform::Notification& n) { outputFormatChosen(n); });
    center.addObserver(this, platform::kOpenWith,
                       [this](const platform::Notification& n) { openRequested(n); });

    showSettings();
    showScreen();
    showBrush();
    progressIndicator->hide();
    for (const QString& key :
         {platform::defaults::kAddImagePath, platform::defaults::kSaveImagePath,
          platform::defaults::kSaveAsProfilePath, platform::defaults::kLoadProfilePath}) {
        if (!platform::defaults::contains(key))
            platform::defaults::setString(key, QString());
    }

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

void ViewController::connectEngine() {
    // A colour manager that calibrates or swaps the display publishes a new profile; it is
    // read again each time the window comes to the front.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    engine_.setDisplayProfile(displayProfile());
            });
    connect(&engine_, &SessionEngine::screenChanged, this, &ViewController::showScreen);
    connect(&engine_, &SessionEngine::brushChanged, this, &ViewController::showBrush);
    connect(&engine_, &SessionEngine::strokesLanded, imageViewBackground,
            &DrawView::dropDrawnStroke);
    connect(&engine_, &SessionEngine::settingsChanged, this, &ViewController::showSettings);
    connect(&engine_, &SessionEngine::historyChanged, this, &ViewController::historyChanged);
    connect(&engine_, &SessionEngine::notice, this,
            [](const QString& text) { platform::showNotice(text); });
    connect(&engine_, &SessionEngine::exportEnded, this, &ViewController::finishExport);
    connect(&engine_, &SessionEngine::workSaved, this, [](bool saved, const QString& error) {
        if (!saved)
            platform::showNotice(error);
    });
    connect(&engine_, &SessionEngine::busyChanged, this, [this](bool busy) {
        if (busy) {
            progressIndicator->show();
            progressIndicator->startAnimation();
        } else {
            progressIndicator->stopAnimation();
            progressIndicator->hide();
            // An export whose work failed never reaches its own ending.
            closeExportProgress();
        }
    });
}

void ViewController::showScreen() {
    // The switch shows the view the engine is in, and the brush's surface is there only in
    // Preview.
    const bool original = engine_.viewState().showsOriginal();
    segmentedControlPreviewOriginal->setSelectedSegment(original ? 1 : 0);
    imageViewBackground->setVisible(!original);
    imageView->update();
}

void ViewController::showBrush() {
    imageViewBackground->showBrushCursor();
    imageViewBackground->update();
    showKeepSettings();
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

QList<ViewController::Binding> ViewController::bindings() const {
    QList<Binding> list;
    for (const bool foreground : {true, false}) {
        const LayerControls c = layerControls(foreground);
        // In the order of the settings' field table.
        const QWidget* switches[] = {
            c.blackWhite, c.blackWhiteEffect, c.colorEffects, c.colorEffect, c.sepia,
            c.blur,       c.oilPainting,      c.sketch};
        const QWidget* sliders[] = {c.sepiaIntensity, c.blurIntensity, c.oilPaintingIntensity,
                                    c.sketchIntensity, c.sketchEdge};
        const auto switchFields = fields::switches(foreground);
        const auto sliderFields = fields::sliders(foreground);
        for (std::size_t i = 0; i < switchFields.size(); ++i)
            list.append({const_cast<QWidget*>(switches[i]), &switchFields[i]});
        for (std::size_t i = 0; i < sliderFields.size(); ++i)
            list.append({const_cast<QWidget*>(sliders[i]), &sliderFields[i]});
    }
    const Slider* adjustments[] = {sliderBrightness, sliderExposure, sliderContrast,
                                   sliderSaturation, sliderGamma,    sliderHue,
                                   sliderRed,        sliderGreen,    sliderBlue};
    const auto adjustmentFields = fields::adjustments();
    for (std::size_t i = 0; i < adjustmentFields.size(); ++i)
        list.append({const_cast<Slider*>(adjustments[i]), &adjustmentFields[i]});
    return list;
}

void ViewController::bindSettings() {
    for (const Binding& b : bindings()) {
        const SettingField* field = b.field;
        if (auto* box = qobject_cast<CheckBox*>(b.control)) {
            connect(box, &QAbstractButton::clicked, this, [this, box, field] {
                box->showImageForState();
                engine_.changeSetting(*field, box->isChecked());
            });
        } else if (auto* combo = qobject_cast<ComboBox*>(b.control)) {
            connect(combo, &QComboBox::activated, this, [this, field](int index) {
                engine_.changeSetting(*field, field->items->value(index, field->items->front()));
            });
        } else if (auto* slider = qobject_cast<Slider*>(b.control)) {
            // While the knob is dragged the preview follows it; letting go renders in full.
            connect(slider, &Slider::floatValueChanged, this, [this, slider, field](float v) {
                engine_.changeSetting(*field, v, slider->isSliderDown());
            });
            connect(slider, &QSlider::sliderReleased, this,
                    [this, slider, field] { engine_.changeSetting(*field, slider->floatValue()); });
        }
    }
    connect(buttonAdjustReset, &QPushButton::clicked, &engine_, &SessionEngine::resetAdjustments);
}

void ViewController::showSettings() {
    EditSettings settings = engine_.settings();
    for (const Binding& b : bindings()) {
        const SettingField::Slot slot = b.field->in(settings);
        if (auto* box = qobject_cast<CheckBox*>(b.control)) {
            box->setChecked(*std::get<bool*>(slot));
            box->showImageForState();
        } else if (auto* combo = qobject_cast<ComboBox*>(b.control)) {
            // A name no item has (a hand-made profile) selects none.
            combo->setCurrentIndex(
                static_cast<int>(b.field->items->indexOf(*std::get<QString*>(slot))));
        } else if (auto* slider = qobject_cast<Slider*>(b.control)) {
            slider->setFloatValue(*std::get<float*>(slot));
        }
    }
    sliderBrushSize->setFloatValue(settings.brush.size);
    labelBrushSize->setText(engine_.brushLabel());
    for (const auto& [box, on] : {std::pair{checkCustomColor, settings.brush.customColor},
                                  std::pair{checkEraserMode, settings.brush.eraser}}) {
        box->setChecked(on);
        box->showImageForState();
    }
    {
        const QSignalBlocker quiet(colourDialog);
        colourDialog->setCurrentColor(settings.brush.colour);
    }
    styleButton(buttonCustomColor, QString(), settings.brush.colour);
    showKeepSettings();
}

void ViewController::connectBrushControls() {
    // While the knob is dragged only the label follows; the brush changes when it is let go.
    connect(sliderBrushSize, &Slider::floatValueChanged, this, [this](float value) {
        if (sliderBrushSize->isSliderDown())
            labelBrushSize->setText(QString::number(static_cast<int>(value)) +
                                    QStringLiteral(" px"));
        else
            engine_.setBrushSize(value);
    });
    connect(sliderBrushSize, &QSlider::sliderReleased, this,
            [this] { engine_.setBrushSize(sliderBrushSize->floatValue()); });
    connect(checkEraserMode, &QAbstractButton::clicked, this, [this] {
        checkEraserMode->showImageForState();
        engine_.setEraser(checkEraserMode->isChecked());
    });
    connect(checkCustomColor, &QAbstractButton::clicked, this, [this] {
        checkCustomColor->showImageForState();
        engine_.setCustomColour(checkCustomColor->isChecked());
    });
    connect(buttonCustomColor, &QPushButton::clicked, this, [this] {
        colourDialog->show();
        colourDialog->raise();
        colourDialog->activateWindow();
    });
    connect(colourDialog, &QColorDialog::currentColorChanged, this, [this](const QColor& colour) {
        styleButton(buttonCustomColor, QString(), colour);
        engine_.setBrushColour(colour);
    });
}

namespace {

QString degrees(float value) {
    return QString::number(static_cast<int>(std::lround(value))) + QStringLiteral("°");
}

} // namespace

void ViewController::connectKeepControls() {
    connect(checkEdgeAware, &QAbstractButton::clicked, this,
            [this] { engine_.setEdgeAware(checkEdgeAware->isChecked()); });
    connect(checkKeepColor, &QAbstractButton::clicked, this,
            [this] { engine_.setKeepColour(checkKeepColor->isChecked()); });
    connect(buttonPickColor, &QPushButton::clicked, &engine_, &SessionEngine::startColourPick);
    connect(buttonSelectSubject, &QPushButton::clicked, &engine_,
            &SessionEngine::pressSelectSubject);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), boxImage), &QShortcut::activated, &engine_,
            &SessionEngine::cancelSubject);
    using Range = SessionEngine::KeepRange;
    for (const auto& [slider, which] :
         {std::pair{sliderKeepHue, Range::hue}, std::pair{sliderKeepTolerance, Range::tolerance},
          std::pair{sliderKeepFalloff, Range::falloff}}) {
        Slider* s = slider;
        const Range w = which;
        connect(s, &Slider::floatValueChanged, this,
                [this, s, w](float v) { engine_.setKeepRange(w, v, s->isSliderDown()); });
        connect(s, &QSlider::sliderReleased, this,
                [this, s, w] { engine_.setKeepRange(w, s->floatValue()); });
    }
}

void ViewController::showKeepSettings() {
    const EditSettings& settings = engine_.settings();
    const QSignalBlocker quietHue(sliderKeepHue), quietTolerance(sliderKeepTolerance),
        quietFalloff(sliderKeepFalloff);
    checkEdgeAware->setChecked(settings.brush.edgeAware);
    checkEdgeAware->showImageForState();
    // Checked while a colour is kept, and while the click that picks one is awaited.
    checkKeepColor->setChecked(settings.keep.on || engine_.picking());
    checkKeepColor->showImageForState();
    sliderKeepHue->setFloatValue(settings.keep.hue);
    sliderKeepTolerance->setFloatValue(settings.keep.tolerance);
    sliderKeepFalloff->setFloatValue(settings.keep.falloff);
    // The hue's own colour beside its number, so the user sees what is kept.
    const QColor swatch = QColor::fromHsvF(std::fmod(settings.keep.hue, 360.0f) / 360.0f, 0.85f,
                                           settings.keep.on ? 0.95f : 0.5f);
    labelKeepHue->setText(QStringLiteral("<span style=\"color:%1\">\u25cf</span> %2")
                              .arg(swatch.name(), degrees(settings.keep.hue)));
    labelKeepTolerance->setText(degrees(settings.keep.tolerance));
    labelKeepFalloff->setText(degrees(settings.keep.falloff));
}

void ViewController::outputFormatChosen(const platform::Notification& note) {
    const QVariant format = note.userInfo.value(QStringLiteral("format"));
    if (format.typeId() == QMetaType::QString)
        selectedFormat_ = format.toString();
}

} // namespace vividra
