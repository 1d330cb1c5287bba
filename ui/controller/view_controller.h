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

#include "model/effects/effect_settings.h"
#include "model/effects/layer_rendering.h"
#include "model/effects/preview_rendering.h"

#include "model/platform/notification_center.h"
#include "model/platform/picture.h"
#include "model/session/editing_session.h"

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
// session's job line (model/session/session_jobs.h).
class ViewController : public QObject, public EditingSession {
    Q_OBJECT
public:
    ViewController();
    ~ViewController() override;

    // Builds the window's controls into `window` (the window description).
    void buildWindow(QMainWindow* window);
    void setUpControls();
    void styleWindow();
    void resetInterface();
    void clearSessionForNewPicture();

    // Notifications and control actions.
    void outputFormatChosen(const platform::Notification& note);
    void showChosenEditTab();

    // Shell.
    void quit();
    bool confirmClose();
    void endSession();
    void newSession();

    // Picture intake.
    void openRequested(const platform::Notification& note);
    void pictureDropped(const platform::Notification& note);
    void strokeFinished();

    void openPicture();
    static const QStringList& openDialogExtensions();
    void resetPicture();
    void takeInPicture(const QString& path, const QString& action);

    // Shows the session's settings in the controls, without running their actions.
    void showSettings();

    // Layer effects and rendering.
    void resetAdjustments();
    void requestLayerUpdate(LayerUpdate kind);
    void startWaitingUpdates();
    // Rebuilds what the box shows (the picture, the brush's reveal and erase colours) for
    // the view as it is now, in the job line.
    void refreshViewCanvas();

    // Shows the effect of the settings at once, from a reduced copy of the original, until
    // the full-resolution rendering replaces it; false when it cannot be shown.
    bool showInstantPreview();
    // Makes the reduced copy in the line, so the first preview need not.
    void prepareInstantPreview();

    // View: zoom, panning, preview and window fitting.
    void zoomIn();
    void zoomOut();
    void resetZoom();
    // One zoom step that keeps the box point under the cursor (widget coordinates) in place.
    void zoomAbout(double factor, const QPointF& boxPoint);
    void showChosenPreviewOrOriginal();
    // A quick look at the original while a key is held.
    void showOriginalWhileHeld(bool held);
    void boxResized();
    void resizeEnded();
    // A pan gesture holds its button down; no stroke starts until it ends.
    void beginPan();
    // Pans an enlarged picture by a drag's movement (widget coordinates); the end of the
    // drag rebuilds the view.
    void panBy(const QPointF& delta);
    void endPan();
    // The picture view's frame in the box, y-up: the box itself when fitted.
    QRectF pictureFrame() const;

    // Painting.
    // Appends the stroke being painted to the surface's list, as every composition does.
    // The list keeps its own copy of the path; the surface starts a new one.
    void recordCurrentStroke(const Picture& reveal, const Picture& erase);
    // The stroke being painted as the list would keep it, or none.
    CustomPathRef currentStroke(const Picture& reveal, const Picture& erase) const;
    // Gives the painting surface the brush modes of the settings.
    void syncSurfaceModes();
    void setBrushColor(const QBrush& colour);
    // The live colour after a change: erase window, custom colour or reveal window.
    void chooseLiveColor(const Picture& revealWindow, const Picture& eraseWindow);
    // Every stroke painted onto the background layer, for export.
    Picture flattenForExport();

    // Keeping a colour and the edge-aware brush.
    void keepColourToggled();
    // The next click on the picture picks the colour to keep.
    void startColourPick();
    // Keeps the colour of the original around `picturePoint` (y-up picture pixels);
    // false when there is no colour there to keep.
    bool pickColourAt(const QPointF& picturePoint);
    void keptColourChanged();
    void edgeAwareToggled();
    // Puts the kept colour of the settings into the strokes and shows it at once from the
    // reduced copy (while a slider moves).
    void previewKeptColour();
    // The same, then in full; `record` makes it a state of the history.
    void applyKeptColour(bool record);

    // Brush controls.
    void applyBrushSize();
    void eraserModeToggled();
    void applyEraserMode();
    void customColourToggled();
    void showColourDialog();
    void applyDialogColour();

    // History.
    // Records the session as it is now, over `layers` or else those of the state shown.
    void registerStateChange(const QString& action, StateLayersRef layers = nullptr);
    // Starts the history anew with the session as it is now.
    void startHistory(const QString& action);
    QString controllersStatesText() const;
    void undo();
    void redo();
    // Restores the controls, strokes and pictures of `state`, keeping the view's zoom.
    // `shown`, the state shown until now, lets a redo paint only the strokes it adds.
    void applyState(const StateRef& state, const StateRef& shown = nullptr);
    // Undo and redo would do something now.
    bool canUndo() const;
    bool canRedo() const;
    // How many changes of the layers' settings there were, and which of them the picture on
    // screen shows (for the tests: the latter never goes back).
    std::uint64_t settingsChanges() const { return settingsChanges_; }
    std::uint64_t shownChange() const { return shownMadeAt_; }

    // Export and profiles.
    void exportPicture();
    void saveProfile();
    void saveProfileAs();
    void loadProfile();
    void writeProfile();
    // Opens the application's page in the software centre; tests replace it.
    static std::function<void(const QUrl&)>& ratingPageOpener();

    QMainWindow* window() const { return window_; }

signals:
    // Quit was confirmed: the application should end.
    void terminateRequested();
    // Undo or redo may have become possible or impossible.
    void historyChanged();

public:
    // The window's controls, built by buildWindow.
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
    CheckBox* checkEdgeAware = nullptr;
    CheckBox* checkKeepColor = nullptr;
    QPushButton* buttonPickColor = nullptr;
    Slider* sliderKeepHue = nullptr;
    QLabel* labelKeepHue = nullptr;
    Slider* sliderKeepTolerance = nullptr;
    QLabel* labelKeepTolerance = nullptr;
    Slider* sliderKeepFalloff = nullptr;
    QLabel* labelKeepFalloff = nullptr;
    QFrame* boxImage = nullptr;
    QWidget* customViewImage = nullptr;
    DrawView* imageView = nullptr;
    DrawView* imageViewBackground = nullptr;
    CustomDragView* dragImageView = nullptr;
    ProgressIndicator* progressIndicator = nullptr;

    QColorDialog* colourDialog = nullptr;

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
    void connectKeepControls();
    // Shows the kept colour's settings in its controls.
    void showKeepSettings();
    void connectEffectControls();
    void showProgress();
    void hideProgress();
    // Shows a new composite and its window for `geometry`, made from the layers' settings as
    // they were at change `made`: not while the original is shown, and not over a preview
    // of newer settings (the rendering of those replaces it).
    void showComposite(const Picture& composite, const QImage& window, const ViewGeometry& geometry,
                       std::uint64_t made);
    void startLayerUpdate(LayerUpdate kind);
    void startRendering(LayerRenderInput::Kind kind);
    SessionJobs::Work beginRendering(LayerRenderInput::Kind kind);
    void finishRendering(LayerRenderInput::Kind kind, LayerRenderResult result);
    void startIntake(const QString& path, const QString& action, bool reset);
    void resetControlsToDefaults();
    // File New, the picture reset and a new intake each start a new session.
    void beginNewSession();
    // The session data both resets empty (not the controls).
    void emptySessionData();
    void finishIntake(const QString& action, LayerRenderResult result, bool reset,
                      std::uint64_t made);
    void sessionBusyChanged(bool busy) override;
    // A job that could not finish: tell the user, keep the session as it was.
    void showJobFailure(const QString& reason);

    // Where the picture is on screen now, and where the brush's windows
    // (`currentMaskImage`, `zoomEraseImage`) were last cut, so an unchanged view is not rebuilt.
    using CanvasGeometry = ViewGeometry;
    CanvasGeometry canvasGeometry() const;
    std::optional<CanvasGeometry> canvasBuiltFor_;

    // View.
    QSizeF boxSize() const;
    bool viewBusy() const;
    void zoomBy(double factor, std::optional<QPointF> anchor);
    // Moves the picture view to `frame` (clamped) and shows it there at once.
    void setPictureFrame(const QRectF& frame);
    void showPreviewOrOriginal();
    void finishViewRebuild(const ViewGeometry& g, bool original, const Picture& source,
                           const QImage& shown, const Picture& reveal, const Picture& erase);
    // The last exact windows of the composite and of the original, with the picture and
    // the view they were built for.
    struct ShownWindow {
        QImage image;
        ViewGeometry geometry;
        qint64 source = 0;
    };
    ShownWindow previewWindow_;
    ShownWindow originalWindow_;
    // The box's view of the original for the edge-aware brush's live stroke, made when a
    // stroke first needs it for the view as it is.
    ShownWindow guideWindow_;
    QImage edgeGuideWindow();
    // The last instant preview, with the settings change it shows in place of a source.
    ShownWindow lastPreview_;
    QTimer* resizeTimer_ = nullptr;

    // Instant previews: the reduced original, and the rendering running in the line, which
    // a newer request that covers it stops.
    QSize previewSize() const;
    QSize previewDetailSize() const;
    bool previewNeedsDetail() const;
    Picture previewSource_;
    Picture previewDetail_;
    PreviewLayer previewForeground_;
    PreviewLayer previewBackground_;
    std::optional<LayerRenderInput::Kind> runningRender_;
    std::uint64_t renderStartedAt_ = 0;
    // Changes of the layers' settings are counted, so what is on screen never goes back
    // to older settings: the change the session's layers (and so `lastImage`) were made
    // for, and the change of the picture on screen.
    std::uint64_t settingsChanges_ = 0;
    std::uint64_t layersMadeAt_ = 0;
    std::uint64_t shownMadeAt_ = 0;
    // Shows the preview again where the layers are older than the one on screen.
    bool keepNewerPreview();

    // How the session's layers were made, so a state can render them again.
    LayerRecipe foregroundRecipe_;
    LayerRecipe backgroundRecipe_;
    // Keeps the layer pixels the states hold within the history's memory budget.
    void trimHistory();
    // A state of the session as it is now, its strokes going on from the state shown.
    StateRef makeState(const QString& action, StateLayersRef layers) const;
    // The session's layers, recipes and pixels, as a state keeps them.
    StateLayersRef sessionLayers() const;
    // Records a change of the layers' settings when it is made; its layers' pixels follow
    // when their rendering ends.
    void recordLayerChange(LayerUpdate kind);
    // A job that reads or writes the session's pictures is running or waiting.
    bool pictureWorkRunning() const;

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
