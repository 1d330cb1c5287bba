#pragma once

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "model/colour/screen_colour.h"
#include "model/effects/effect_settings.h"
#include "model/effects/layer_rendering.h"
#include "model/effects/preview_rendering.h"
#include "model/history/history.h"
#include "model/history/state_restore.h"
#include "model/paint/compositing.h"
#include "model/paint/custom_path.h"
#include "model/platform/picture.h"
#include "model/session/edit_settings.h"
#include "model/session/session_jobs.h"
#include "model/subject/subject_selection.h"
#include "model/view/view_state.h"
#include "model/work/session_work.h"

class QTimer;

namespace vividra {

namespace exporting {
enum class Outcome;
}
namespace work {
class Journal;
}

// What the box shows: a picture drawn scaled until the exact window for the view as it is
// arrives, and which picture of the session that is.
struct Screen {
    enum class Source { nothing, original, composite, preview };
    Source source = Source::nothing;
    Picture picture;
    QImage window;
    ViewGeometry windowFor;
    ViewGeometry geometry;
    // How many of the session's strokes the edited picture shown holds; a plain stroke
    // painted since is drawn live over it, which costs no window of the whole picture.
    qsizetype strokes = 0;

    bool showsPicture() const { return !window.isNull() || !picture.isEmpty(); }
    bool showsWindow() const { return !window.isNull() && windowFor == geometry; }
};

// The editing session: the original picture and its two layers, the settings, the strokes
// and the kept colour, the history, the view and the one line of picture work. It offers
// the user's operations as methods and reports what changed as signals; the window only
// drives it and shows what it says. Every answer to "what may the user do now" comes from
// here. It lives on the main thread; its picture work runs in the job line.
class SessionEngine : public QObject {
    Q_OBJECT
public:
    using Value = std::variant<bool, QString, float>;
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;

    SessionEngine();
    ~SessionEngine() override;

    // What the session is.
    bool hasPicture() const { return !path_.isEmpty(); }
    const QString& picturePath() const { return path_; }
    const Picture& original() const { return original_; }
    QSizeF pictureSize() const { return pictureSize_; }
    const EditSettings& settings() const { return settings_; }
    const QList<CustomPathRef>& strokes() const { return strokes_; }
    const Picture& foregroundLayer() const { return foreground_; }
    // The background layer before any stroke.
    const Picture& cleanBackground() const { return cleanBackground_; }
    // Every stroke painted over the clean background.
    const Picture& composite() const { return composite_; }
    History& history() { return history_; }
    const History& history() const { return history_; }
    const SessionJobs& jobs() const { return jobs_; }
    const ViewState& viewState() const { return viewState_; }
    bool hasUnsavedChanges() const { return changesMade_; }
    const QString& profilePath() const { return profilePath_; }
    // The brush label as the user last saw it (a loaded profile's own text, until the size
    // changes).
    const QString& brushLabel() const { return brushLabel_; }

    // What the user may do now.
    bool busy() const { return jobs_.busy(); }
    bool renderingPending() const;
    bool canPaint() const;
    bool canUndo() const;
    bool canRedo() const;
    bool picking() const { return picking_; }

    // What the box shows, and where.
    const Screen& screen() const { return screen_; }
    QSizeF boxSize() const { return box_; }
    const ViewGeometry& geometry() const { return geometry_; }
    // The picture view's frame in the box, y-up: the box itself when fitted.
    QRectF pictureFrame() const;
    // A box point (y-up) in picture pixels (y-up).
    QPointF picturePoint(const QPointF& boxPoint) const;
    // How many changes of the layers' settings there were, and which of them the picture on
    // screen shows (it never goes back).
    std::uint64_t settingsChanges() const { return settingsChanges_; }
    std::uint64_t shownChange() const { return shownMadeAt_; }

    // The brush as it paints now.
    struct BrushModes {
        bool erase = false;
        bool solidColour = false;
        bool edgeAware = false;
    };
    BrushModes brushModes() const { return modes_; }
    // The live stroke's colour: the reveal or erase window, or the custom colour.
    const QBrush& liveColour() const { return liveColour_; }
    // The same in the display's colours, for drawing the stroke under way.
    const QBrush& liveColourOnScreen() const { return liveColourOnScreen_; }
    // The brush's width on screen, and the cursor's (which shows a new size at once).
    double brushWidth() const { return brushSize_ * scale_; }
    double cursorWidth() const { return settings_.brush.size * scale_; }
    bool strokeUnderWay() const { return strokeUnderWay_; }
    // What the box shows of the original, for drawing an edge-aware stroke as it will paint.
    QImage edgeGuide();

    // Intake and the session's life.
    void setBoxSize(const QSizeF& box);
    // Takes in a new picture as a new session.
    void open(const QString& path);
    // The same picture again with default settings, as a new session.
    void reset();
    // File New: no picture, default settings.
    void clear();
    // Quitting: drops the jobs, waits for work in flight and empties the working folder.
    void end();
    // The display's colour profile (empty: sRGB); what the screen shows is converted to it
    // from the picture's.
    void setDisplayProfile(const QByteArray& icc);

    // Settings.
    // Sets a layer's or the adjustments' field; while a knob is dragged (`dragging`) only the
    // preview follows.
    void changeSetting(const SettingField& field, const Value& value, bool dragging = false);
    void resetAdjustments();
    void setBrushSize(float size);
    void setEraser(bool on);
    void setCustomColour(bool on);
    void setBrushColour(const QColor& colour);
    void setEdgeAware(bool on);
    // The Keep a Color switch: on awaits a pick, off lets the kept colour go.
    void setKeepColour(bool on);
    void startColourPick();
    // Keeps the colour of the original around `picturePoint`; false when there is no colour
    // there to keep.
    bool pickColourAt(const QPointF& picturePoint);
    enum class KeepRange { hue, tolerance, falloff };
    void setKeepRange(KeepRange which, float value, bool dragging = false);

    // Select Subject. The button: the first press awaits a box, unless strokes painted over a
    // selection ask to run it again with them as hints; a press while awaiting one runs
    // again on the last box.
    void pressSelectSubject();
    bool awaitingSubjectBox() const { return awaitingBox_; }
    bool selectingSubject() const { return jobs_.count(SessionJobs::Kind::subject) > 0; }
    // Segments the subject inside the box two corners span, in box points (y-up), with the
    // strokes so far as hints; the reduced result is shown first, the full one follows.
    void selectSubject(const QPointF& fromBox, const QPointF& toBox);
    // The same in picture pixels, rows downwards.
    void selectSubjectIn(const fx::PixelRect& box);
    // Runs again on the last box with the strokes as they are now; false without a box.
    bool reselectSubject();
    // Stops awaiting a box and drops a segmentation under way, with nothing of it kept.
    void cancelSubject();

    // Painting, in box points (y-up).
    bool beginStroke(const QPointF& boxPoint);
    bool extendStroke(const QPointF& boxPoint);
    void endStroke(const QPointF& boxPoint);

    // History.
    void undo();
    void redo();

    // View.
    void zoomIn();
    void zoomOut();
    // One zoom step that keeps the box point (widget rows, downwards) in place.
    void zoomAbout(double factor, const QPointF& boxPoint);
    void fit();
    void showOriginal(bool original);
    // A quick look at the original while a key is held.
    void holdOriginal(bool held);
    void beginPan();
    // Pans an enlarged picture by a drag's movement (widget rows, downwards).
    void panBy(const QPointF& delta);
    void endPan();
    // Rebuilds a view that waits for its rebuild now, not after its quiet time.
    void settleView();

    // Files.
    // Flattens the strokes and writes the picture in the line; `exportEnded` tells how it went.
    CancelFlag exportTo(const QString& destination, const QString& format);
    enum class ProfileSaved { saved, failed, savedWithoutKeptColour };
    ProfileSaved saveProfile(const QString& path);
    enum class ProfileLoaded { loaded, failed, loadedWithoutKeptColour };
    ProfileLoaded loadProfile(const QString& path);

    // Work kept.
    // The session's work as recipes, sharing the recorded states.
    work::SessionWork work() const;
    // A new session of the picture at `path` with `work` taken over it: its settings,
    // strokes, kept colour and history, the current state rendered once the picture is in.
    void restore(const QString& path, work::SessionWork work);
    // Writes the work, the original's bytes and a preview to a work file in the line;
    // `workSaved` tells how it went.
    void saveWork(const QString& destination);
    // Writes the session's work as ended in order, kept for Continue.
    void endCleanly();
    // Where the work is journaled after each change; null when it is not.
    work::Journal* journal() const { return journal_.get(); }
    void setJournal(std::unique_ptr<work::Journal> journal);

signals:
    // What the box shows, or where, changed.
    void screenChanged();
    // The brush's colour, width, modes or picking changed.
    void brushChanged();
    // The strokes drawn so far are in the picture: the live drawing of them may go.
    void strokesLanded();
    // The settings changed other than by the control that shows them (undo, a profile, a
    // reset, a picked colour).
    void settingsChanged();
    void busyChanged(bool busy);
    // Undo or redo may have become possible or impossible.
    void historyChanged();
    // Something the user should be told.
    void notice(const QString& text);
    void exportEnded(exporting::Outcome outcome, const QString& error);
    void workSaved(bool saved, const QString& error);

private:
    void followPictureColours();
    Picture inScreenColours(const Picture& window) const;
    struct ShownWindow {
        QImage image;
        ViewGeometry geometry;
        qint64 source = 0;
    };
    struct RefreshResult {
        Picture composite;
        QImage shown;
        Picture revealWindow;
        Picture eraseWindow;
    };

    // Session life.
    void beginNewSession();
    void emptySession();
    void resetBrushToSettings();
    void startIntake(const QString& path, const QString& action, bool reset);
    void finishIntake(const QString& action, LayerRenderResult result, bool reset,
                      std::uint64_t made);
    void failIntake(const QString& reason);
    void jobFailed(const QString& reason);

    // Layers.
    void requestLayerUpdate(LayerUpdate kind);
    void startLayerUpdate(LayerUpdate kind);
    void startWaitingUpdates();
    void startRendering(LayerRenderInput::Kind kind);
    SessionJobs::Work beginRendering(LayerRenderInput::Kind kind);
    void finishRendering(LayerRenderInput::Kind kind, LayerRenderResult result);
    LayerRenderInput renderInput(LayerRenderInput::Kind kind) const;

    // Previews.
    QSize previewSize() const;
    QSize previewDetailSize() const;
    bool previewNeedsDetail() const;
    void prepareInstantPreview();
    bool showInstantPreview();
    bool keepNewerPreview();

    // Screen.
    void showComposite(const Picture& composite, const QImage& window, const ViewGeometry& geometry,
                       std::uint64_t made);
    void showOnScreen(Screen::Source source, const Picture& picture);
    bool showWindow(Screen::Source source, const QImage& window, const ViewGeometry& geometry);
    void clearLiveStroke();

    // Painting.
    CustomPathRef strokeFrom(const PathRef& path, const Picture& reveal,
                             const Picture& erase) const;
    void recordCurrentStroke();
    void strokeFinished();
    void refreshComposite(bool eraseWindow, std::function<void(const RefreshResult&)> then);
    void chooseLiveColour(const Picture& revealWindow, const Picture& eraseWindow);
    void syncBrushModes();
    void applyBrushModes();
    void applyBrushColour();
    void previewKeptColour();
    void applyKeptColour(bool record);
    QList<CustomPathRef> flattenedStrokes();
    void showSubjectPreview(std::uint64_t request, const QImage& window, const ViewGeometry& view);
    void finishSubject(std::uint64_t request, std::shared_ptr<const SubjectSelection> selection);

    // Work kept.
    void takeWork(work::SessionWork work);
    void journalWork();

    // History.
    // A state of the session as it is now: its strokes go on from the state shown (or start
    // afresh), with the live stroke added when `withStroke`.
    StateRef makeState(const QString& action, StateLayersRef layers, bool withStroke,
                       bool fromScratch = false) const;
    StateLayersRef sessionLayers() const;
    void startHistory(const QString& action);
    void recordChange(const QString& action, StateLayersRef layers = nullptr,
                      bool withStroke = false, bool fromScratch = false);
    void recordLayerChange(LayerUpdate kind);
    void trimHistory();
    void applyState(const StateRef& state, const StateRef& shown = nullptr);
    void finishRestore(const StateRef& state, const RestoredPictures& restored,
                       const QImage& screen, const ViewGeometry& view, bool refreshWindows,
                       std::uint64_t made);

    // View.
    bool viewBusy() const;
    void zoomBy(double factor, std::optional<QPointF> anchor);
    void setPictureFrame(const QRectF& frame);
    void setGeometry(const ViewGeometry& geometry);
    void showPreviewOrOriginal();
    void rebuildView();
    void finishViewRebuild(const ViewGeometry& g, bool original, const Picture& source,
                           const QImage& shown, const Picture& reveal, const Picture& erase);
    // Keeps the picture's frame in the box after the box changed size.
    void fitToBox();
    void boxResizeEnded();

    // The session.
    QString path_;
    Picture original_;
    QSizeF pictureSize_;
    EditSettings settings_;
    History history_;
    SessionJobs jobs_;
    ViewState viewState_;
    bool changesMade_ = false;
    QString profilePath_;
    QString brushLabel_;
    bool ended_ = false;

    // Layers and composites.
    Picture foreground_;
    Picture cleanBackground_;
    Picture composite_;
    // The composite strokes are painted onto next; handed to the job painting one.
    Picture paintTarget_;
    LayerRecipe foregroundRecipe_;
    LayerRecipe backgroundRecipe_;
    QList<LayerUpdate> waitingUpdates_;
    std::optional<LayerRenderInput::Kind> runningRender_;
    std::uint64_t renderStartedAt_ = 0;
    // Changes of the layers' settings are counted, so what is on screen never goes back to
    // older settings: the change the layers were made for, and the change on screen.
    std::uint64_t settingsChanges_ = 0;
    std::uint64_t layersMadeAt_ = 0;
    std::uint64_t shownMadeAt_ = 0;

    // Strokes and the brush.
    QList<CustomPathRef> strokes_;
    PathRef liveStroke_;
    bool strokeUnderWay_ = false;
    BrushModes modes_;
    QBrush liveColour_{Qt::white};
    QBrush liveColourOnScreen_{Qt::white};
    // From the picture's colours to the display's, for every window the screen shows.
    QByteArray displayProfile_;
    QByteArray screenColourFor_;
    std::shared_ptr<const ScreenColour> screenColour_;
    // The size the brush paints with; the settings' size is taken at the refresh's turn.
    double brushSize_ = 20.0;
    bool picking_ = false;
    bool colourChangeRunning_ = false;
    bool colourChangeWaiting_ = false;
    // Select Subject: awaiting a box, the last box and the picture it was drawn on, and the
    // latest request (an older one's result is dropped), whose preview may be on screen.
    bool awaitingBox_ = false;
    std::optional<fx::PixelRect> lastBox_;
    qint64 lastBoxPicture_ = 0;
    std::uint64_t subjectRequest_ = 0;
    bool subjectPreviewShown_ = false;

    // The view.
    QSizeF box_;
    ViewGeometry geometry_;
    double scale_ = 1.0;
    Screen screen_;
    // The windows of the brush's colours, and the view they were cut for.
    Picture revealWindow_;
    Picture eraseWindow_;
    std::optional<ViewGeometry> windowsCutFor_;
    ShownWindow previewWindow_;
    ShownWindow originalWindow_;
    ShownWindow guideWindow_;
    ShownWindow lastPreview_;
    QTimer* rebuildTimer_ = nullptr;
    QTimer* resizeTimer_ = nullptr;

    // Work kept.
    std::optional<work::SessionWork> pendingWork_;
    std::unique_ptr<work::Journal> journal_;
    bool journalDue_ = false;
    QByteArray originalHash_;
    // The picture whose work this session journaled, and whether it was ended in order since.
    QString journaledPath_;
    bool workEnded_ = false;

    // Instant previews.
    Picture previewSource_;
    Picture previewDetail_;
    PreviewLayer previewForeground_;
    PreviewLayer previewBackground_;
};

} // namespace vividra
