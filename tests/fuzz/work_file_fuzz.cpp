// The .vividra work file: any file is refused with a reason or opened, its photo unpacked
// inside the folder given and matching the work's hash; its preview is read or not, never
// more.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>

#include "model/work/work_file.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vividra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = inputFile(data, size, QStringLiteral("input.vividra"));
    static QTemporaryDir folder;
    QString error;
    const std::optional<work::SessionWork> work = work::openWorkFile(path, folder.path(), &error);
    if (!work) {
        FUZZ_CHECK(!error.isEmpty());
    } else {
        FUZZ_CHECK(QFileInfo(work->originalPath).absolutePath() ==
                   QDir(folder.path()).absolutePath());
        FUZZ_CHECK(work::contentHash(work->originalPath) == work->originalHash);
        QFile::remove(work->originalPath);
    }
    work::workFilePreview(path);
    return 0;
}
