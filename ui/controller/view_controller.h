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

#include "model/platform/notification_center.h"
#include "model/session/session_engine.h"

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

class CheckBox;
class ComboBox;
class CustomDragView;
class DrawView;
class ProgressIndicator;
class SegmentedControl;
class Slider;

// The main window's controller: it builds the window's controls, binds them to the session
// engine's settings, turns actions into engine operations, asks the user the questions a
// file or a lost change needs, and shows what the engine reports. It holds no session state.
class ViewController : public QObject {
    Q_OBJECT
public:
    ViewController();
    ~ViewController() override;

    SessionEngine& engine() { return engine_; }
    const SessionEngine& engine() const { return engine_; }

    // Builds the window's controls into `window` (the window description).
    void buildWindow(QMainWindow* window);
    void setUpControls();
    void styleWindow();

    // Shell.
    void quit();
    bool confirmClose();
    void endSession();
    void newSession();

    // Pictures.
    void openPicture();
    static const QStringList& openDialogExtensions();
    void resetPicture();
    void openRequested(const platform::Notification& note);
    void pictureDropped(const platform::Notification& note);

    // Kept work.
    // Opens a photo, offering to continue the work kept for it.
    void openPhoto(const QString& path);
    // At start: prunes old work and offers to restore a session that did not end in order.
    void offerRecovery();
    void saveWorkAs();
    void openWorkFile(const QString& path);

    // Shows the session's settings in the controls, without running their actions.
    void showSettings();

    // Menu actions the engine answers.
    void undo() { engine_.undo(); }
    void redo() { engine_.redo(); }
    bool canUndo() const { return engine_.canUndo(); }
    bool canRedo() const { return engine_.canRedo(); }
    void zoomIn() { engine_.zoomIn(); }
    void zoomOut() { engine_.zoomOut(); }
    void resetZoom() { engine_.fit(); }

    // Export and profiles.
    void exportPicture();
    void saveProfile();
    void saveProfileAs();
    void loadProfile();
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
    QPushButton* buttonSelectSubject = nullptr;
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
    // Each effect and adjustment control writes its settings field through the engine.
    struct Binding {
        QWidget* control;
        const SettingField* field;
    };
    QList<Binding> bindings() const;
    void bindSettings();
    void connectBrushControls();
    void connectKeepControls();
    void connectEngine();
    void showKeepSettings();
    void showScreen();
    void showBrush();
    void writeProfile(const QString& path);
    void showExportProgress(const SessionEngine::CancelFlag& cancel);
    void closeExportProgress();
    void finishExport(exporting::Outcome outcome, const QString& error);
    void askForRating();
    void outputFormatChosen(const platform::Notification& note);

    SessionEngine engine_;
    QPointer<QProgressDialog> exportProgress_;
    // The output-format window's answer.
    QString selectedFormat_ = QStringLiteral("Default");
    // The rating prompt shows once a run.
    bool rateMessageShown_ = false;
    // Quit was confirmed once; closing the window then asks nothing more.
    bool quitConfirmed_ = false;
    QPointer<QMainWindow> window_;
};

} // namespace vividra
