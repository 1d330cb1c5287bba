// The work text of journals and work files: any text is refused with a reason or read, and
// what is read, written again, reads back the same.
#include <QByteArray>

#include <cstdint>

#include "model/work/session_work.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vividra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<work::SessionWork> work = work::fromText(text, &error);
    if (!work) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    const QByteArray again = work::toText(*work);
    const std::optional<work::SessionWork> back = work::fromText(again, &error);
    FUZZ_CHECK(back && work::toText(*back) == again);
    return 0;
}
