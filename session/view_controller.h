#pragma once

#include <QBrush>
#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "effects/effect_settings.h"
#include "effects/layer_rendering.h"
#include "platform/notification_center.h"
#include "platform/picture.h"
#include "session/editing_session.h"

class QColorDialog;
class QFrame;
class QLabel;
class QProgressDialog;
class QUrl;

class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;

namespace vividra {

namespace exporting {
enum class Outcome;
}
namespace profile {
struct Values;
}

class CheckBox;
class ComboBox;
class CustomDragView;
class DrawView;
class ProgressIndicator;
class SegmentedControl;
class Slider;

// The main window's controller. It owns the editing session for the life of
// the window, receives every action, turns the user's changes into the
// session's settings and shows the session in the widgets. Its methods are
// defined across the folders of the features they belong to (history in
// history/, the shell in app/, and so on). Picture work goes through the
// session's job line (session/session_jobs.h).
class ViewController : public QObject, public EditingSession {
    Q_OBJECT
public:
    ViewController();
    ~ViewController() override;

    // Builds the window's controls into `window` (the window description).
    void loadView(QMainWindow* window);
    void viewDidLoad();
    void viewWillAppear();
    void resetInterface();
    void clearSessionForNewPicture();

    // Notifications and control actions.
    void OutputFormatSelected(const platform::Notification& note);
    void OnSegmentedControlEditChanged();

    // Shell.
    void OnAppQuit();
    bool windowShouldClose();
    void windowWillClose();
    void OnFileNew();

    // Picture intake.
    void openData(const platform::Notification& note);
    void ImageDragged(const platform::Notification& note);
    void PathModified();

    void OnSelectImage();
    static const QStringList& openPanelExtensions();
    void OnReset();
    void takeInPicture(const QString& path, const QString& action);

    // Shows the session's settings in the controls, without running their actions.
    void showSettings();

    // Layer effects and rendering.
    EffectSettings effectSettings(bool foreground) const;
    AdjustmentSettings adjustmentSettings() const;
    void OnAdjustReset();
    void OnForegroundBlackAndWhiteSelected();
    void OnForegroundColorEffectsSelected();
    void OnForegroundSepiaSelected();
    void OnForegroundBlurSelected();
    void OnForegroundOilPaintingSelected();
    void OnForegroundSketchSelected();
    void OnForegroundComboBlackAndWhiteChanged();
    void OnForegroundComboColorEffectsChanged();
    void OnForegroundSepiaIntensityChanged();
    void OnForegroundBlurIntensityCHanged();
    void OnForegroundOilPaintingIntensityChanged();
    void OnForegroundSketchIntensityChanged();
    void OnForegroundSketchEdgeChanged();
    void OnBackgroundBlackAndWhiteSelected();
    void OnBackgroundColorEffectsSelected();
    void OnBackgroundSepiaSelected();
    void OnBackgroundBlurSelected();
    void OnBackgroundOilPaintingSelected();
    void OnBackgroundSketchSelected();
    void OnBackgroundComboBlackAndWhiteChanged();
    void OnBackgroundComboColorEffectsChanged();
    void OnBackgroundSepiaIntensityChanged();
    void OnBackgroundBlurIntensityCHanged();
    void OnBackgroundOilPaintingIntensityChanged();
    void OnBackgroundSketchIntensityChanged();
    void OnBackgroundSketchEdgeChanged();
    void OnBrightnessChanged();
    void OnExposureChanged();
    void OnCOntrastChanged();
    void OnSaturationChanged();
    void OnGammaChanged();
    void OnHueChanged();
    void OnRedChanged();
    void OnGreenChanged();
    void OnBlueChanged();
    void requestLayerUpdate(ProcessType kind);
    void drainProcessesQueue();
    void renderBackgroundLayer();
    void renderForegroundLayer();
    void renderBothLayers();
    // Rebuilds the display canvas and the live colour's windows for the view as it is now.
    void refreshViewCanvas();

    // Painting.
    // Appends the stroke being painted to the surface's list, as every composition does.
    // The list keeps its own copy of the path; the surface starts a new one.
    void recordCurrentStroke(const Picture& reveal, const Picture& erase);
    // Gives the painting surface the brush modes of the settings.
    void syncSurfaceModes();
    void setBrushColor(const QBrush& colour);
    // The live colour after a change: erase window, custom colour or reveal window.
    void chooseLiveColor(const Picture& revealWindow, const Picture& eraseWindow);
    // Composes every stroke and writes it to a working file; the path, or "" on failure.
    QString saveCompositeToTemp();
    // Every stroke painted onto the background layer, for export.
    Picture flattenForExport();

    // Brush controls.
    void OnBrushSizeChanged();
    void OnEraserModeSelected();
    void applyEraserMode();
    void OnCustomColorSelected();
    void OnCustomColor();
    void ColorUpdateWithColorPanel();

    // History.
    void commitState(const QString& action);
    void registerStateChange(const QString& action);
    QString controllersStatesText() const;

    // Export and profiles.
    void OnSaveImage();
    void OnSaveProfile();
    void OnSaveProfileAs();
    void OnLoadProfile();
    void writeProfile();
    // Opens the application's page in the software centre; tests replace it.
    static std::function<void(const QUrl&)>& ratingPageOpener();

    QMainWindow* window() const { return window_; }

signals:
    // Quit was confirmed: the application should end.
    void terminateRequested();

public:
    // Outlets.
    SegmentedControl* segmentedControlEdit = nullptr;
    SegmentedControl* segmentedControlPreviewOriginal = nullptr;
    QTabWidget* tabViewEdit = nullptr;
    CheckBox* checkCustomColor = nullptr;
    QPushButton* buttonCustomColor = nullptr;
    CheckBox* checkEraserMode = nullptr;

    CheckBox* checkForegroundBlackWhite = nullptr;
    ComboBox* comboForegroundBlackWhite = nullptr;
    CheckBox* checkForegroundColorEffects = nullptr;
    ComboBox* comboForegroundColorEffects = nullptr;
    CheckBox* checkForegroundSepia = nullptr;
    Slider* sliderForegroundSepiaIntensity = nullptr;
    CheckBox* checkForegroundBlur = nullptr;
    Slider* sliderForegroundBlurIntensity = nullptr;
    CheckBox* checkForegroundOilPainting = nullptr;
    Slider* sliderForegroundOilPaintingIntensity = nullptr;
    CheckBox* checkForegroundSketch = nullptr;
    Slider* sliderForegroundSketchIntensity = nullptr;
    Slider* sliderForegroundSketchEdge = nullptr;

    CheckBox* checkBackgroundBlackWhite = nullptr;
    ComboBox* comboBackgroundBlackWhite = nullptr;
    CheckBox* checkBackgroundColorEffects = nullptr;
    ComboBox* comboBackgroundColorEffects = nullptr;
    CheckBox* checkBackgroundSepia = nullptr;
    Slider* sliderBackgroundSepiaIntensity = nullptr;
    CheckBox* checkBackgroundBlur = nullptr;
    Slider* sliderBackgroundBlurIntensity = nullptr;
    CheckBox* checkBackgroundOilPainting = nullptr;
    Slider* sliderBackgroundOilPaintingIntensity = nullptr;
    CheckBox* checkBackgroundSketch = nullptr;
    Slider* sliderBackgroundSketchIntensity = nullptr;
    Slider* sliderBackgroundSketchEdge = nullptr;

    Slider* sliderBrightness = nullptr;
    Slider* sliderExposure = nullptr;
    Slider* sliderContrast = nullptr;
    Slider* sliderSaturation = nullptr;
    Slider* sliderGamma = nullptr;
    Slider* sliderHue = nullptr;
    Slider* sliderRed = nullptr;
    Slider* sliderGreen = nullptr;
    Slider* sliderBlue = nullptr;
    QPushButton* buttonAdjustReset = nullptr;

    Slider* sliderBrushSize = nullptr;
    QLabel* labelBrushSize = nullptr;
    QFrame* boxImage = nullptr;
    QWidget* customViewImage = nullptr;
    DrawView* imageView = nullptr;
    DrawView* imageViewBackground = nullptr;
    CustomDragView* dragImageView = nullptr;
    ProgressIndicator* progressIndicator = nullptr;

    QColorDialog* colorPanel = nullptr;

    // One layer's effect controls, so both layers share one code path.
    struct LayerControls {
        CheckBox* blackWhite;
        ComboBox* blackWhiteEffect;
        CheckBox* colorEffects;
        ComboBox* colorEffect;
        CheckBox* sepia;
        Slider* sepiaIntensity;
        CheckBox* blur;
        Slider* blurIntensity;
        CheckBox* oilPainting;
        Slider* oilPaintingIntensity;
        CheckBox* sketch;
        Slider* sketchIntensity;
        Slider* sketchEdge;
    };
    LayerControls layerControls(bool foreground) const;

    // Every outlet, in the order of the controls table.
    QList<QWidget*> outlets() const;
    // The 14 check boxes in the order the window styles them.
    QList<CheckBox*> checkBoxes() const;

private:
    struct RefreshResult {
        Picture composite;
        QImage shown;
        Picture revealWindow;
        Picture eraseWindow;
    };
    // Brings the shown picture up to date with every stroke in the background,
    // clears the live stroke, then runs `then` on the main thread.
    void refreshComposite(bool eraseWindow, std::function<void(const RefreshResult&)> then);
    void connectBrushControls();
    void connectEffectControls();
    void showProgress();
    void hideProgress();
    void showComposite(const QImage& shown);
    void startProcess(ProcessType kind);
    void startRendering(LayerRenderInput::Kind kind);
    SessionJobs::Work beginRendering(LayerRenderInput::Kind kind);
    void finishRendering(LayerRenderInput::Kind kind, LayerRenderResult result);
    void startIntake(const QString& path, const QString& action, bool reset);
    void resetControlsToDefaults();
    // File New, the picture reset and a new intake each start a new session.
    void beginNewSession();
    // The session data both resets empty (not the controls).
    void emptySessionData();
    void finishIntake(const QString& action, LayerRenderResult result, bool reset);
    void updatePictureAreaOffset();
    void sessionBusyChanged(bool busy) override;
    // A job that could not finish: tell the user, keep the session as it was.
    void showJobFailure(const QString& reason);

    // Where the display canvas was last built, so an unchanged view is not rebuilt.
    struct CanvasGeometry {
        QRectF pictureRect;
        QRectF maskRect;
        double maskWidth = 0;
        double maskHeight = 0;
        bool operator==(const CanvasGeometry&) const = default;
    };
    CanvasGeometry canvasGeometry() const;
    std::optional<CanvasGeometry> canvasBuiltFor_;

    // Export and profiles.
    void showExportProgress(const std::shared_ptr<std::atomic<bool>>& cancel);
    void closeExportProgress();
    void finishExport(exporting::Outcome outcome, const QString& error);
    void askForRating();
    void applyProfile(const profile::Values& values);
    // Renders both layers again from the picture's file and starts its history anew.
    void restartFromOriginal();
    QPointer<QProgressDialog> exportProgress_;

    // Quit was confirmed once; closing the window then asks nothing more.
    bool quitConfirmed_ = false;

    QPointer<QMainWindow> window_;
};

} // namespace vividra
