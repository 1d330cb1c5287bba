// The profile reader over arbitrary files: a file is refused, or its values are
// in their controls' ranges and written back they read the same.
#include <cmath>
#include <cstdint>

#include "model/files/profile_file.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vividra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = inputFile(data, size, QStringLiteral("input.clr"));
    const std::optional<QString> text = profile::readFile(path);
    if (!text)
        return 0;
    EditSettings current;
    current.brush.colour = QColor(10, 20, 30);
    const std::optional<profile::Values> values = profile::parse(*text, current);
    if (!values)
        return 0;
    const EditSettings& s = values->settings;
    for (const float v : {s.brush.size, s.adjustments.brightness, s.adjustments.gamma,
                          s.foreground.blurIntensity, s.background.sketchEdge})
        FUZZ_CHECK(std::isfinite(v));
    FUZZ_CHECK(s.brush.colour.isValid());
    const std::optional<profile::Values> again =
        profile::parse(profile::text(s, values->brushLabel), EditSettings{});
    FUZZ_CHECK(again && again->settings == s && again->brushLabel == values->brushLabel);
    return 0;
}
