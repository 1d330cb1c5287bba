// The main window's controls and their layout, built in code.
#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/session/control_ranges.h"
#include "ui/canvas/custom_drag_view.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/controls/progress_indicator.h"
#include "ui/controls/segmented_control.h"
#include "ui/controls/slider.h"

namespace vividra {
namespace {

constexpr int kSidebarWidth = 300;

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("caption"));
    return label;
}

// Keeps the stacked picture views the same size as the picture area.
class StackLayout : public QLayout {
public:
    explicit StackLayout(QWidget* parent) : QLayout(parent) { setContentsMargins(0, 0, 0, 0); }
    ~StackLayout() override {
        while (QLayoutItem* item = takeAt(0))
            delete item;
    }
    void addItem(QLayoutItem* item) override { items_.append(item); }
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int i) const override { return items_.value(i); }
    QLayoutItem* takeAt(int i) override {
        return (i >= 0 && i < items_.size()) ? items_.takeAt(i) : nullptr;
    }
    QSize sizeHint() const override { return {400, 300}; }
    QSize minimumSize() const override { return {100, 100}; }
    void setGeometry(const QRect& r) override {
        QLayout::setGeometry(r);
        for (QLayoutItem* item : items_)
            item->setGeometry(r);
    }

private:
    QList<QLayoutItem*> items_;
};

} // namespace

void ViewController::buildWindow(QMainWindow* window) {
    window_ = window;
    auto* central = new QWidget(window);
    central->setObjectName(QStringLiteral("central"));
    window->setCentralWidget(central);
    auto* root = new QHBoxLayout(central);
    root->setContentsMargins(10, 10, 10, 10);
    root->setSpacing(10);

    // Left: the edit switch and its tabs.
    auto* sidebar = new QWidget(central);
    sidebar->setFixedWidth(kSidebarWidth);
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->setSpacing(10);
    segmentedControlEdit = new SegmentedControl(4, sidebar);
    sidebarLayout->addWidget(segmentedControlEdit);
    tabViewEdit = new QTabWidget(sidebar);
    tabViewEdit->tabBar()->hide();
    tabViewEdit->setDocumentMode(true);
    sidebarLayout->addWidget(tabViewEdit, 1);
    root->addWidget(sidebar);

    // Brush tab.
    auto* brush = new QWidget;
    auto* brushLayout = new QGridLayout(brush);
    brushLayout->setContentsMargins(8, 12, 8, 8);
    brushLayout->setVerticalSpacing(12);
    brushLayout->addWidget(caption(QStringLiteral("Brush size"), brush), 0, 0);
    labelBrushSize = new QLabel(QStringLiteral("20 px"), brush);
    labelBrushSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    brushLayout->addWidget(labelBrushSize, 0, 1);
    sliderBrushSize = new Slider(ranges::brushSize, brush);
    brushLayout->addWidget(sliderBrushSize, 1, 0, 1, 2);
    checkCustomColor = new CheckBox(brush);
    brushLayout->addWidget(checkCustomColor, 2, 0);
    buttonCustomColor = new QPushButton(brush);
    buttonCustomColor->setObjectName(QStringLiteral("buttonCustomColor"));
    buttonCustomColor->setFixedSize(44, 22);
    buttonCustomColor->setToolTip(QStringLiteral("Choose the brush colour"));
    brushLayout->addWidget(buttonCustomColor, 2, 1, Qt::AlignRight);
    checkEraserMode = new CheckBox(brush);
    brushLayout->addWidget(checkEraserMode, 3, 0, 1, 2);
    checkEdgeAware = new CheckBox(brush);
    checkEdgeAware->setToolTip(
        QStringLiteral("Paint only where the picture is like the colour under the brush"));
    brushLayout->addWidget(checkEdgeAware, 4, 0, 1, 2);

    // Keeping a colour: a click on the picture, then the range around its hue.
    auto* rule = new QFrame(brush);
    rule->setFrameShape(QFrame::HLine);
    rule->setObjectName(QStringLiteral("rule"));
    brushLayout->addWidget(rule, 5, 0, 1, 2);
    checkKeepColor = new CheckBox(brush);
    checkKeepColor->setToolTip(
        QStringLiteral("Keep one colour everywhere: click it in the picture"));
    brushLayout->addWidget(checkKeepColor, 6, 0);
    buttonPickColor = new QPushButton(QStringLiteral("Pick"), brush);
    buttonPickColor->setToolTip(QStringLiteral("Click the colour to keep in the picture"));
    brushLayout->addWidget(buttonPickColor, 6, 1, Qt::AlignRight);
    int keepRow = 7;
    const auto keepSlider = [&](const QString& title, SliderRange range, Slider*& slider,
                                QLabel*& label) {
        brushLayout->addWidget(caption(title, brush), keepRow, 0);
        label = new QLabel(brush);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        brushLayout->addWidget(label, keepRow++, 1);
        slider = new Slider(range, brush);
        brushLayout->addWidget(slider, keepRow++, 0, 1, 2);
    };
    keepSlider(QStringLiteral("Hue"), ranges::keepHue, sliderKeepHue, labelKeepHue);
    keepSlider(QStringLiteral("Tolerance"), ranges::keepTolerance, sliderKeepTolerance,
               labelKeepTolerance);
    keepSlider(QStringLiteral("Falloff"), ranges::keepFalloff, sliderKeepFalloff, labelKeepFalloff);
    // Selecting the subject: a box around it, then the brush and eraser refine it.
    buttonSelectSubject = new QPushButton(QStringLiteral("Select Subject"), brush);
    buttonSelectSubject->setToolTip(QStringLiteral(
        "Drag a box around the subject. Paint or erase over the result and press again to "
        "refine it."));
    brushLayout->addWidget(buttonSelectSubject, keepRow++, 0, 1, 2);
    brushLayout->setRowStretch(keepRow, 1);
    tabViewEdit->addTab(brush, QStringLiteral("Brush"));

    // Background and foreground tabs share one shape.
    struct LayerWidgets {
        CheckBox **bw, **color, **sepia, **blur, **oil, **sketch;
        ComboBox **bwCombo, **colorCombo;
        Slider **sepiaSlider, **blurSlider, **oilSlider, **sketchSlider, **edgeSlider;
    };
    const auto buildLayerTab = [&](const QString& title, const LayerWidgets& o) {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(8, 12, 8, 8);
        grid->setVerticalSpacing(8);
        int row = 0;
        *o.bw = new CheckBox(page);
        *o.bwCombo = new ComboBox(page);
        grid->addWidget(*o.bw, row, 0);
        grid->addWidget(*o.bwCombo, row++, 1);
        *o.color = new CheckBox(page);
        *o.colorCombo = new ComboBox(page);
        grid->addWidget(*o.color, row, 0);
        grid->addWidget(*o.colorCombo, row++, 1);
        const auto addSlider = [&](CheckBox** check, Slider** slider, SliderRange range) {
            if (check) {
                *check = new CheckBox(page);
                grid->addWidget(*check, row++, 0, 1, 2);
            }
            *slider = new Slider(range, page);
            grid->addWidget(*slider, row++, 0, 1, 2);
        };
        addSlider(o.sepia, o.sepiaSlider, ranges::sepiaIntensity);
        addSlider(o.blur, o.blurSlider, ranges::blurIntensity);
        addSlider(o.oil, o.oilSlider, ranges::oilPaintingIntensity);
        addSlider(o.sketch, o.sketchSlider, ranges::sketchIntensity);
        grid->addWidget(caption(QStringLiteral("Edge"), page), row++, 0, 1, 2);
        addSlider(nullptr, o.edgeSlider, ranges::sketchEdge);
        grid->setRowStretch(row, 1);
        tabViewEdit->addTab(page, title);
    };
    buildLayerTab(QStringLiteral("Background"),
                  {&checkBackgroundBlackWhite, &checkBackgroundColorEffects, &checkBackgroundSepia,
                   &checkBackgroundBlur, &checkBackgroundOilPainting, &checkBackgroundSketch,
                   &comboBackgroundBlackWhite, &comboBackgroundColorEffects,
                   &sliderBackgroundSepiaIntensity, &sliderBackgroundBlurIntensity,
                   &sliderBackgroundOilPaintingIntensity, &sliderBackgroundSketchIntensity,
                   &sliderBackgroundSketchEdge});
    buildLayerTab(QStringLiteral("Foreground"),
                  {&checkForegroundBlackWhite, &checkForegroundColorEffects, &checkForegroundSepia,
                   &checkForegroundBlur, &checkForegroundOilPainting, &checkForegroundSketch,
                   &comboForegroundBlackWhite, &comboForegroundColorEffects,
                   &sliderForegroundSepiaIntensity, &sliderForegroundBlurIntensity,
                   &sliderForegroundOilPaintingIntensity, &sliderForegroundSketchIntensity,
                   &sliderForegroundSketchEdge});

    // Adjust tab.
    auto* adjust = new QWidget;
    auto* adjustGrid = new QGridLayout(adjust);
    adjustGrid->setContentsMargins(8, 12, 8, 8);
    adjustGrid->setVerticalSpacing(4);
    int row = 0;
    const auto addAdjustment = [&](const QString& title, Slider** slider, SliderRange range) {
        adjustGrid->addWidget(caption(title, adjust), row++, 0);
        *slider = new Slider(range, adjust);
        adjustGrid->addWidget(*slider, row++, 0);
    };
    addAdjustment(QStringLiteral("Brightness"), &sliderBrightness, ranges::brightness);
    addAdjustment(QStringLiteral("Exposure"), &sliderExposure, ranges::exposure);
    addAdjustment(QStringLiteral("Contrast"), &sliderContrast, ranges::contrast);
    addAdjustment(QStringLiteral("Saturation"), &sliderSaturation, ranges::saturation);
    addAdjustment(QStringLiteral("Gamma"), &sliderGamma, ranges::gamma);
    addAdjustment(QStringLiteral("Hue"), &sliderHue, ranges::hue);
    addAdjustment(QStringLiteral("Red"), &sliderRed, ranges::channel);
    addAdjustment(QStringLiteral("Green"), &sliderGreen, ranges::channel);
    addAdjustment(QStringLiteral("Blue"), &sliderBlue, ranges::channel);
    buttonAdjustReset = new QPushButton(adjust);
    buttonAdjustReset->setObjectName(QStringLiteral("buttonAdjustReset"));
    adjustGrid->addWidget(buttonAdjustReset, row++, 0, Qt::AlignRight);
    adjustGrid->setRowStretch(row, 1);
    tabViewEdit->addTab(adjust, QStringLiteral("Adjust"));

    // Right: the preview switch and the picture area.
    auto* right = new QWidget(central);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(10);
    auto* bar = new QHBoxLayout;
    segmentedControlPreviewOriginal = new SegmentedControl(2, right);
    segmentedControlPreviewOriginal->setFixedWidth(180);
    bar->addWidget(segmentedControlPreviewOriginal);
    bar->addStretch(1);
    progressIndicator = new ProgressIndicator(right);
    progressIndicator->setFixedSize(24, 24);
    bar->addWidget(progressIndicator);
    rightLayout->addLayout(bar);

    boxImage = new QFrame(right);
    boxImage->setObjectName(QStringLiteral("boxImage"));
    auto* boxLayout = new QVBoxLayout(boxImage);
    boxLayout->setContentsMargins(1, 1, 1, 1);
    customViewImage = new QWidget(boxImage);
    customViewImage->setObjectName(QStringLiteral("customViewImage"));
    auto* stack = new StackLayout(customViewImage);
    imageView = new DrawView(customViewImage);
    imageView->placeholderText = QStringLiteral("Open a photo (Ctrl+O) or drop one here");
    imageViewBackground = new DrawView(customViewImage);
    dragImageView = new CustomDragView(customViewImage);
    stack->addWidget(imageView);
    stack->addWidget(imageViewBackground);
    stack->addWidget(dragImageView);
    boxLayout->addWidget(customViewImage);
    dragImageView->watch(customViewImage);
    dragImageView->pictureShown = [this] { return engine_.screen().showsPicture(); };
    rightLayout->addWidget(boxImage, 1);
    root->addWidget(right, 1);

    colourDialog = new QColorDialog(QColor(Qt::red), window);
    colourDialog->setOption(QColorDialog::NoButtons);
    colourDialog->setWindowTitle(QStringLiteral("Colours"));
}

QList<CheckBox*> ViewController::checkBoxes() const {
    return {checkCustomColor,           checkEraserMode,
            checkForegroundBlackWhite,  checkForegroundColorEffects,
            checkForegroundSepia,       checkForegroundBlur,
            checkForegroundOilPainting, checkForegroundSketch,
            checkBackgroundBlackWhite,  checkBackgroundColorEffects,
            checkBackgroundSepia,       checkBackgroundBlur,
            checkBackgroundOilPainting, checkBackgroundSketch};
}

} // namespace vividra
