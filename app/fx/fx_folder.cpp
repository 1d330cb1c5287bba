#include "app/fx/fx_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "model/effects/image_tools.h"
#include "model/effects/layer_rendering.h"
#include "model/files/keep_sidecar.h"
#include "model/files/profile_file.h"
#include "model/paint/compositing.h"
#include "model/paint/custom_path.h"
#include "model/subject/subject_selection.h"

namespace vividra::fxfolder {
namespace {

// Each picture's kernels already use every core; a second picture at a time fills the
// single-threaded decoding and encoding. More would only add a 24-megapixel picture's
// layers (some 300 MB) each.
constexpr int kPicturesAtOnce = 2;

void print(std::FILE* log, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), log);
    std::fflush(log);
}

// "[3/20] name.jpg" for each finished picture, and the reason under it for a failure. On a
// terminal the progress line is rewritten in place and only failures stay.
class Progress {
public:
    Progress(std::FILE* log, int total)
        : log_(log), total_(total), live_(isatty(fileno(log)) == 1) {}

    void finished(const QString& input, const std::optional<QString>& failure) {
        const std::lock_guard lock(mutex_);
        ++count_;
        const QString head = QStringLiteral("[%1/%2] ").arg(count_).arg(total_);
        const QString clear = live_ ? QStringLiteral("\r\x1b[K") : QString();
        if (failure) {
            ++failed_;
            print(log_, clear + head + input + QStringLiteral(": ") + *failure + QLatin1Char('\n'));
        }
        if (live_)
            print(log_, clear + head + QFileInfo(input).fileName());
        else if (!failure)
            print(log_, head + QFileInfo(input).fileName() + QLatin1Char('\n'));
    }

    int failed() const { return failed_; }

    void summary(const QString& folder) {
        const QString clear = live_ && count_ > 0 ? QStringLiteral("\r\x1b[K") : QString();
        QString line = QStringLiteral("vividra-fx: %1 of %2 pictures written to %3")
                           .arg(total_ - failed_)
                           .arg(total_)
                           .arg(folder);
        if (failed_ > 0)
            line += QStringLiteral("; %1 failed").arg(failed_);
        print(log_, clear + line + QLatin1Char('\n'));
    }

private:
    std::FILE* log_;
    const int total_;
    const bool live_;
    std::mutex mutex_;
    int count_ = 0;
    int failed_ = 0;
};

struct Job {
    QString input;
    QString output;
    int formatCode = -1;
    std::optional<QString> refused; // set when the picture must not be made at all
};

std::optional<QString> process(const Job& job, const EditSettings& settings,
                               const std::optional<fx::HueKey>& key,
                               const std::optional<FxFolderArguments::SubjectBox>& subject) {
    if (job.refused)
        return job.refused;
    QString reason;
    bool damaged = false;
    std::optional<Picture> original = ImageTools::readPicture(job.input, &reason, &damaged);
    if (!original)
        return QStringLiteral("cannot read: ") + reason;
    // A cut-off file reads with grey rows where its end was; in a batch nobody would see
    // that before the picture is used, so it is not written.
    if (damaged)
        return QStringLiteral("damaged: the file is cut off; nothing written");
    Picture result = renderSplash(*original, settings, key, subject);
    result.metadata = original->metadata;
    original.reset();
    if (result.isEmpty())
        return QStringLiteral("not enough memory");
    if (!ImageTools::writeImage(result, job.output, job.formatCode, 1.0))
        return QStringLiteral("cannot write ") + job.output;
    return std::nullopt;
}

void complain(std::FILE* log, const QString& text) {
    print(log, QStringLiteral("vividra-fx: ") + text + QLatin1Char('\n'));
}

} // namespace

std::vector<Output> planOutputs(const QStringList& inputs) {
    std::vector<Output> outputs;
    outputs.reserve(static_cast<size_t>(inputs.size()));
    QSet<QString> taken;
    QHash<QString, int> nextNumber;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        const QString base = info.completeBaseName();
        QString extension = info.suffix();
        const QString lower = extension.toLower();
        int code = ImageTools::formatCode(lower);
        const bool heif = lower == QLatin1String("heif") || lower == QLatin1String("heic");
        if (code < 0 || lower == QLatin1String("original") ||
            (heif && !ImageTools::heicEncodingAvailable())) {
            extension = QStringLiteral("png");
            code = ImageTools::formatCode(extension);
        }
        const QString plain = base + QLatin1Char('.') + extension;
        QString name = plain;
        if (taken.contains(name)) {
            // Numbering goes on from the last one given, so many inputs of one name stay cheap.
            int& n = nextNumber[plain];
            n = std::max(n, 2);
            do
                name = QStringLiteral("%1 (%2).%3").arg(base).arg(n++).arg(extension);
            while (taken.contains(name));
        }
        taken.insert(name);
        outputs.push_back({name, code});
    }
    return outputs;
}

Picture renderSplash(const Picture& original, const EditSettings& settings,
                     const std::optional<fx::HueKey>& key,
                     const std::optional<FxFolderArguments::SubjectBox>& subject) {
    Picture background =
        renderLayer(original, LayerRecipe{settings.background, settings.adjustments});
    if ((!key && !subject) || background.isEmpty())
        return background;
    QList<CustomPathRef> strokes;
    if (key)
        strokes.append(makeKeepStroke(*key));
    if (subject) {
        const QRect box = subject->in(original.image.size());
        if (auto selection =
                selectSubject(original.image, {box.x(), box.y(), box.width(), box.height()}, {}))
            strokes.append(makeSubjectStroke(std::move(selection)));
    }
    const Picture foreground =
        renderLayer(original, LayerRecipe{settings.foreground, settings.adjustments});
    if (foreground.isEmpty())
        return Picture();
    // A kept colour never erases, so the background needs no brush of its own: one would
    // hold its pixels and make the painting copy them.
    return compositeStrokes(std::move(background), strokes, patternColor(foreground), QBrush(),
                            original.image);
}

int run(const FxFolderArguments& arguments, std::FILE* log) {
    const std::optional<QString> text = profile::readFile(arguments.profile);
    if (!text) {
        complain(log, QStringLiteral("cannot read the profile %1").arg(arguments.profile));
        return 1;
    }
    const std::optional<profile::Values> values = profile::parse(*text, EditSettings{});
    if (!values) {
        complain(log, QStringLiteral("%1 is not a profile, or is damaged").arg(arguments.profile));
        return 1;
    }
    bool damaged = false;
    const std::optional<sidecar::Extras> extras = sidecar::read(arguments.profile, &damaged);
    if (damaged) {
        // Going on without it would make every picture without the profile's kept colour.
        complain(log, QStringLiteral("the profile's sidecar %1 is damaged")
                          .arg(sidecar::pathFor(arguments.profile)));
        return 1;
    }
    // The command line's hue and tolerance over the sidecar's, over the defaults.
    KeepColourSettings keep = extras ? extras->keep : KeepColourSettings{};
    if (arguments.keepHue) {
        keep.on = true;
        keep.hue = *arguments.keepHue;
        keep.tolerance = arguments.tolerance.value_or(keep.tolerance);
    }
    const std::optional<fx::HueKey> key = keep.on ? std::optional(keep.key()) : std::nullopt;

    if (!QDir().mkpath(arguments.outFolder)) {
        complain(log, QStringLiteral("cannot create the folder %1").arg(arguments.outFolder));
        return 1;
    }
    const QDir folder(arguments.outFolder);
    const QDir canonicalFolder(QFileInfo(arguments.outFolder).canonicalFilePath());
    QSet<QString> inputFiles;
    for (const QString& input : arguments.inputs) {
        const QString canonical = QFileInfo(input).canonicalFilePath();
        if (!canonical.isEmpty())
            inputFiles.insert(canonical);
    }
    const std::vector<Output> outputs = planOutputs(arguments.inputs);
    std::vector<Job> jobs;
    for (qsizetype i = 0; i < arguments.inputs.size(); ++i) {
        const Output& out = outputs[static_cast<size_t>(i)];
        Job job{arguments.inputs[i], folder.filePath(out.name), out.formatCode, std::nullopt};
        // Through a link the write would land on what the link names.
        const QFileInfo existing(job.output);
        const QString target =
            existing.exists() ? existing.canonicalFilePath() : canonicalFolder.filePath(out.name);
        if (inputFiles.contains(target))
            job.refused = QStringLiteral("not written: %1 is one of the inputs").arg(job.output);
        jobs.push_back(std::move(job));
    }

    const EditSettings& settings = values->settings;
    Progress progress(log, static_cast<int>(jobs.size()));
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < jobs.size();)
            progress.finished(jobs[i].input, process(jobs[i], settings, key, arguments.subject));
    };
    std::vector<std::thread> workers;
    for (int w = 1; w < kPicturesAtOnce && static_cast<size_t>(w) < jobs.size(); ++w)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    progress.summary(arguments.outFolder);
    return progress.failed() == 0 ? 0 : 1;
}

} // namespace vividra::fxfolder
