// The controller's profiles: saving the controls' values to a ".clr" file and loading them.
#include <QColorDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "model/platform/defaults_store.h"
#include "model/platform/log.h"
#include "ui/canvas/draw_view.h"
#include "ui/controller/view_controller.h"
#include "ui/controls/check_box.h"
#include "ui/controls/combo_box.h"
#include "ui/shell/dialogs.h"

namespace vividra {
namespace {

const QString kExtension = QStringLiteral("clr");

} // namespace

void ViewController::saveProfile() {
    if (currentProfilePath.isEmpty())
        saveProfileAs();
    else
        writeProfile();
}

void ViewController::saveProfileAs() {
    platform::SaveDialog dialog;
    dialog.title = QStringLiteral("Save Profile");
    dialog.extensions = {kExtension};
    dialog.kind = QStringLiteral("Profiles");
    dialog.suggestedName = QStringLiteral("profile.clr");
    dialog.directory = platform::defaults::folder(platform::defaults::kSaveAsProfilePath);
    const QString chosen = platform::dialogs().runSaveDialog(dialog);
    if (chosen.isEmpty())
        return;
    currentProfilePath = chosen;
    platform::defaults::setString(platform::defaults::kSaveAsProfilePath,
                                  QFileInfo(chosen).absolutePath());
    writeProfile();
}

void ViewController::writeProfile() {
    // The old profile is replaced in one step rather than removed first, so a failed
    // write keeps it. Only a file that is not there gives the removal's log line.
    QFile existing(currentProfilePath);
    if (!existing.exists() && !existing.remove())
        platform::logLine(QStringLiteral("Remove failed: ") + existing.errorString());
    if (!profile::writeFile(currentProfilePath, profile::text(settings, labelBrushSize->text()))) {
        platform::showNotice(QStringLiteral("Could not save profile."));
        return;
    }
    // The kept colour and the brush's mode go beside it; with neither, an old file of them
    // would bring back a kept colour this profile does not have.
    const QString extras = sidecar::pathFor(currentProfilePath);
    if (settings.keep.on || settings.brush.edgeAware) {
        if (!sidecar::write(currentProfilePath, settings.keep, settings.brush.edgeAware)) {
            platform::showNotice(
                QStringLiteral(
                    "The profile was saved, but not its kept colour: could not write \"%1\".")
                    .arg(QFileInfo(extras).fileName()));
            return;
        }
    } else if (QFileInfo::exists(extras) && !QFile::remove(extras)) {
        platform::logLine(QStringLiteral("Remove failed: ") + extras);
    }
    changesMade = false;
}

void ViewController::loadProfile() {
    if (changesMade && !platform::askYesNo(
                           QStringLiteral("You have unsaved changes that will be lost. Continue?")))
        return;
    platform::OpenDialog dialog;
    dialog.title = QStringLiteral("Load Profile");
    dialog.extensions = {kExtension};
    dialog.kind = QStringLiteral("Profiles");
    dialog.directory = platform::defaults::folder(platform::defaults::kLoadProfilePath);
    const QString chosen = platform::dialogs().runOpenDialog(dialog);
    if (chosen.isEmpty())
        return;
    platform::defaults::setString(platform::defaults::kLoadProfilePath,
                                  QFileInfo(chosen).absolutePath());
    currentProfilePath = chosen;

    const std::optional<QString> text = profile::readFile(chosen);
    const std::optional<profile::Values> values =
        text ? profile::parse(*text, settings) : std::nullopt;
    if (!values) {
        platform::showNotice(QStringLiteral("Could not load profile."));
        return;
    }
    // A profile without a file beside it keeps no colour; the brush's mode stays as it is.
    profile::Values loaded = *values;
    bool damaged = false;
    const std::optional<sidecar::Extras> extras = sidecar::read(chosen, &damaged);
    loaded.settings.keep = extras ? extras->keep : KeepColourSettings{};
    loaded.settings.brush.edgeAware = extras ? extras->edgeAware : settings.brush.edgeAware;
    applyProfile(loaded);
    if (damaged)
        platform::showNotice(
            QStringLiteral("The profile was loaded without its kept colour: \"%1\" is damaged.")
                .arg(QFileInfo(sidecar::pathFor(chosen)).fileName()));
}

void ViewController::applyProfile(const profile::Values& values) {
    // The controls only show the values; nothing renders until the one rebuild below.
    settings = values.settings;
    showSettings();
    labelBrushSize->setText(values.brushLabel);
    for (const bool foreground : {true, false}) {
        const LayerControls c = layerControls(foreground);
        const EffectSettings& s = foreground ? settings.foreground : settings.background;
        if (!kBlackWhiteItems.contains(s.blackWhiteEffect))
            c.blackWhiteEffect->setCurrentIndex(-1);
        if (!kColorEffectItems.contains(s.colorEffect))
            c.colorEffect->setCurrentIndex(-1);
    }
    {
        const QSignalBlocker quiet(colourDialog);
        colourDialog->setCurrentColor(settings.brush.colour);
    }
    for (DrawView* view : {imageViewBackground, imageView}) {
        view->lineWidth = view->currentLineWidth = settings.brush.size;
        view->color = QBrush(settings.brush.colour);
    }
    syncSurfaceModes();

    history.clear();
    imageViewBackground->path = makePath();
    if (originalImagePath.isEmpty())
        return;
    currentZoomInImage = Picture();
    // The picture again from its file with the new settings, as a fresh start of its history.
    restartFromOriginal();
}

void ViewController::restartFromOriginal() {
    startIntake(originalImagePath, QStringLiteral("addImage"), true);
}

} // namespace vividra
