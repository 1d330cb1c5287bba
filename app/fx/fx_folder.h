#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <vector>

#include "app/fx/fx_arguments.h"
#include "kernels/colour_key.h"
#include "model/platform/picture.h"
#include "model/session/edit_settings.h"

namespace vividra::fxfolder {

// Where one input's picture goes: its file name in the output folder and the encoder's code.
struct Output {
    QString name;
    int formatCode = -1;
};

// One output per input, in order: the input's base name with its own extension when that
// is a format we write, else ".png". A name an earlier input already has gets " (2)",
// " (3)", ... before the extension, so no output replaces another.
std::vector<Output> planOutputs(const QStringList& inputs);

// The picture as the editor composes it from `settings`' layers: the background layer,
// with the foreground layer shown wherever the original holds `key`'s hue, and over the
// subject selected inside `subject`. Empty when memory runs out.
Picture renderSplash(const Picture& original, const EditSettings& settings,
                     const std::optional<fx::HueKey>& key,
                     const std::optional<FxFolderArguments::SubjectBox>& subject = std::nullopt);

// Runs the folder form, two pictures at a time, with progress and each failure on `log`.
// The exit status: 0 when every picture was written.
int run(const FxFolderArguments& arguments, std::FILE* log);

} // namespace vividra::fxfolder
