#pragma once

#include <QBrush>
#include <QList>
#include <QRectF>
#include <QString>

#include "model/effects/effect_settings.h"
#include "model/history/history.h"
#include "model/platform/picture.h"
#include "model/session/edit_settings.h"
#include "model/session/info_provider.h"
#include "model/session/session_jobs.h"
#include "model/view/view_state.h"

class QTimer;

namespace vividra {

// The editing session: the picture being edited, its layers and strokes' results,
// the history, the flags, and the settings of every control. It holds no widget;
// the main window's controller owns one and shows it.
class EditingSession {
public:
    EditingSession();
    virtual ~EditingSession() = default;
    EditingSession(const EditingSession&) = delete;
    EditingSession& operator=(const EditingSession&) = delete;

    // A layer rendering is running or waiting (in the line or in `waitingUpdates`).
    bool renderingPending() const;

    InfoProvider& infoProvider;
    QString originalImagePath;
    QBrush currentColor{Qt::white};
    bool lastWindowResize = false;
    QRectF currentMaskRect;
    double maskImageWidth = 0;
    double maskImageHeight = 0;
    bool saveStateTriggeredByDrawing = false;
    // Rebuilds the view once zooming or panning pauses.
    QTimer* viewRebuildTimer = nullptr;
    QString selectedFormat = QStringLiteral("Default");
    bool changesMade = false;
    Picture currentZoomInImage;
    bool rateMessageShown = false;
    Picture foregroundImage;
    Picture backgroundImage;
    Picture preEraseImage;
    Picture zoomEraseImage;
    Picture currentMaskImage;
    Picture lastImage;
    bool colourChangeWaiting = false;
    bool colourChangeRunning = false;
    QString currentProfilePath;
    QList<LayerUpdate> waitingUpdates;

    // The settings of every editing control.
    EditSettings settings;
    // The recorded states, for undo and redo.
    History history;
    // The one line of picture work.
    SessionJobs jobs;
    // What the box shows, and whether the brush may paint there.
    ViewState viewState;

protected:
    // The decoded original as taken in. It stays for the session even when its file is
    // deleted or replaced meanwhile: the picture being edited does not change under the
    // user, and renderings need not decode it again.
    Picture currentOriginal() const;
    void rememberOriginal(const Picture& original);
    void forgetOriginal();
    // The line started or ended its work.
    virtual void sessionBusyChanged(bool busy) = 0;

private:
    Picture original_;
};

} // namespace vividra
