#pragma once

#include <QString>

#include <optional>

#include "model/session/edit_settings.h"

namespace vividra::sidecar {

// What a ".clr" profile has no line for lives beside it in a ".keep" file of the same
// name: the kept colour and the brush's mode, as UTF-8 `key=value` lines:
//   keep=1  hue=12.5  tolerance=20.0  falloff=15.0  brush=edge-aware (or normal)
// `keep` is required; a missing number or brush takes its default.
struct Extras {
    KeepColourSettings keep;
    bool edgeAware = false;

    bool operator==(const Extras&) const = default;
};

// The ranges a kept colour's numbers may take, in degrees.
inline constexpr float kMaximumHue = 360.0f;
inline constexpr float kMaximumTolerance = 180.0f;
inline constexpr float kMaximumFalloff = 180.0f;

// look.clr -> look.keep; a name without an extension gets ".keep" added.
QString pathFor(const QString& profilePath);

QString text(const KeepColourSettings& keep, bool edgeAware);

// Nothing when a line is not `key=value` with a known key, a key comes twice, the `keep`
// line is missing, or a value is not a number in its range (0 or 1 for `keep`, a known
// word for `brush`). Blank lines are skipped and CRLF line ends accepted.
std::optional<Extras> parse(const QString& text);

// The sidecar of the profile at `profilePath`. Nothing when there is none, and also when
// it cannot be read or is not a sidecar; `damaged` (when given) tells those apart: it is
// set only when a file is there.
std::optional<Extras> read(const QString& profilePath, bool* damaged = nullptr);
// Replaces the profile's sidecar in one step; false when it could not be written.
bool write(const QString& profilePath, const KeepColourSettings& keep, bool edgeAware);

} // namespace vividra::sidecar
