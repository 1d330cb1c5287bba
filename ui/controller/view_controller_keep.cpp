// The controller's kept colour and edge-aware brush: a click picks a hue, and every pixel
// of the original near it shows the foreground; strokes refine the result afterwards.
#include <QLabel>
#include <QPushButton>
#include <QToolTip>

#include <cmath>

#include "kernels/colour_key.h"
#include "model/paint/compositing.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/slider.h"

namespace vividra {

namespace {

QString degrees(float value) {
    return QString::number(static_cast<int>(std::lround(value))) + QStringLiteral("°");
}

// The original's colour around a point, as a 5×5 average, so grain does not decide.
std::optional<QColor> colourAround(const QImage& image, const QPointF& picturePoint) {
    if (image.isNull())
        return std::nullopt;
    const int cx = static_cast<int>(std::floor(picturePoint.x()));
    const int cy = image.height() - 1 - static_cast<int>(std::floor(picturePoint.y()));
    if (cx < 0 || cy < 0 || cx >= image.width() || cy >= image.height())
        return std::nullopt;
    int sum[3] = {}, n = 0;
    for (int y = std::max(0, cy - 2); y <= std::min(image.height() - 1, cy + 2); ++y)
        for (int x = std::max(0, cx - 2); x <= std::min(image.width() - 1, cx + 2); ++x) {
            const QRgb p = qUnpremultiply(image.pixel(x, y));
            sum[0] += qRed(p);
            sum[1] += qGreen(p);
            sum[2] += qBlue(p);
            ++n;
        }
    return QColor((sum[0] + n / 2) / n, (sum[1] + n / 2) / n, (sum[2] + n / 2) / n);
}

} // namespace

void ViewController::connectKeepControls() {
    connect(checkEdgeAware, &QAbstractButton::clicked, this, [this] {
        settings.brush.edgeAware = checkEdgeAware->isChecked();
        edgeAwareToggled();
    });
    connect(checkKeepColor, &QAbstractButton::clicked, this, &ViewController::keepColourToggled);
    connect(buttonPickColor, &QPushButton::clicked, this, &ViewController::startColourPick);
    imageViewBackground->onPick = [this](const QPointF& at) { pickColourAt(at); };
    imageViewBackground->edgeGuide = [this] { return edgeGuideWindow(); };
    // While a knob is dragged the preview follows it; letting go renders it in full.
    const auto onSlider = [this](Slider* slider, float* field) {
        connect(slider, &Slider::floatValueChanged, this, [this, slider, field](float v) {
            *field = v;
            // Setting the range by hand keeps it, as a click would.
            settings.keep.on = !originalImagePath.isEmpty();
            imageViewBackground->picking = false;
            imageViewBackground->resetCursorRects();
            showKeepSettings();
            if (slider->isSliderDown())
                previewKeptColour();
            else
                keptColourChanged();
        });
        connect(slider, &QSlider::sliderReleased, this, &ViewController::keptColourChanged);
    };
    onSlider(sliderKeepHue, &settings.keep.hue);
    onSlider(sliderKeepTolerance, &settings.keep.tolerance);
    onSlider(sliderKeepFalloff, &settings.keep.falloff);
}

QImage ViewController::edgeGuideWindow() {
    const Picture original = currentOriginal();
    const ViewGeometry view = canvasGeometry();
    if (original.isEmpty())
        return QImage();
    if (guideWindow_.geometry != view || guideWindow_.source != original.image.cacheKey() ||
        guideWindow_.image.isNull())
        guideWindow_ = {displayWindow(original, view).image, view, original.image.cacheKey()};
    return guideWindow_.image;
}

void ViewController::showKeepSettings() {
    checkEdgeAware->setChecked(settings.brush.edgeAware);
    checkEdgeAware->showImageForState();
    // Checked while a colour is kept, and while the click that picks one is awaited.
    checkKeepColor->setChecked(settings.keep.on || imageViewBackground->picking);
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

void ViewController::edgeAwareToggled() {
    checkEdgeAware->showImageForState();
    changesMade = true;
    // Only strokes painted from now on keep to edges; the picture itself does not change.
    imageViewBackground->edgeAware = settings.brush.edgeAware;
    if (originalImagePath.isEmpty())
        return;
    registerStateChange(QStringLiteral("brushModeChanged"));
}

void ViewController::keepColourToggled() {
    DrawView* surface = imageViewBackground;
    const bool on = checkKeepColor->isChecked();
    // Turning it on asks for the colour: the next click on the picture picks it, and only
    // that changes the picture. Turning it off lets the kept colour go.
    surface->picking = on && !originalImagePath.isEmpty();
    surface->resetCursorRects();
    const bool wasKept = settings.keep.on;
    if (!on)
        settings.keep.on = false;
    showKeepSettings();
    if (wasKept && !on)
        applyKeptColour(true);
}

void ViewController::startColourPick() {
    if (originalImagePath.isEmpty())
        return;
    imageViewBackground->picking = true;
    imageViewBackground->resetCursorRects();
    showKeepSettings();
}

bool ViewController::pickColourAt(const QPointF& picturePoint) {
    const std::optional<QColor> colour = colourAround(currentOriginal().image, picturePoint);
    const std::optional<float> hue =
        colour ? fx::keyableHue(static_cast<std::uint8_t>(colour->red()),
                                static_cast<std::uint8_t>(colour->green()),
                                static_cast<std::uint8_t>(colour->blue()))
               : std::nullopt;
    if (!hue) {
        // Picking goes on: the user tries another spot.
        QToolTip::showText(QCursor::pos(),
                           QStringLiteral("This spot is grey or dark: there is no colour here "
                                          "to keep. Click a coloured part of the picture."),
                           imageViewBackground);
        return false;
    }
    imageViewBackground->picking = false;
    imageViewBackground->resetCursorRects();
    settings.keep.on = true;
    settings.keep.hue = *hue;
    showKeepSettings();
    applyKeptColour(true);
    return true;
}

void ViewController::keptColourChanged() {
    applyKeptColour(true);
}

void ViewController::previewKeptColour() {
    changesMade = true;
    DrawView* surface = imageViewBackground;
    surface->strokePaths = withKeptColour(
        surface->strokePaths, settings.keep.on ? std::optional(settings.keep.key()) : std::nullopt);
    if (!originalImagePath.isEmpty())
        showInstantPreview();
}

void ViewController::applyKeptColour(bool record) {
    previewKeptColour();
    if (originalImagePath.isEmpty())
        return;
    refreshComposite(false, [this, record](const RefreshResult&) {
        if (!record)
            return;
        registerStateChange(QStringLiteral("keepColorChanged"));
    });
}

} // namespace vividra
