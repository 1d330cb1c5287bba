// The history's control-values text: any text restores some controls or none,
// and what it restores, recorded again, restores the same.
#include <QString>

#include <cstdint>

#include "model/history/control_values.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vividra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<ControlValues> values = ControlValues::fromText(text);
    if (!values)
        return 0;
    EditSettings restored;
    values->applyTo(restored);
    const ControlValues recorded = ControlValues::record(restored);
    const std::optional<ControlValues> again = ControlValues::fromText(recorded.toText());
    FUZZ_CHECK(again);
    EditSettings twice = restored;
    again->applyTo(twice);
    FUZZ_CHECK(twice == restored);
    return 0;
}
