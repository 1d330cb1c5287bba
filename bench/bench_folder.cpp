// vividra-fx's folder form as a user runs it: twenty 24-megapixel JPEGs, a profile with a
// black and white background and a kept hue, into a new folder. Reports seconds per photo
// and the process's peak memory.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "bench_session.h"
#include "model/files/profile_file.h"

extern char** environ;

namespace {

using namespace vividra;

constexpr int kPhotos = 20;

// The photos, made once and kept between runs like the other benchmarks' pictures.
QStringList photos() {
    const QString folder = QDir::tempPath() + QStringLiteral("/vividra-bench-folder");
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 1; i <= kPhotos; ++i) {
        const QString path =
            folder + QStringLiteral("/photo-%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        if (!QFile::exists(path))
            QFile::copy(bench::photoPath(), path);
        paths.append(path);
    }
    return paths;
}

void BM_FolderOfPhotos(benchmark::State& state) {
    const QStringList inputs = photos();
    QTemporaryDir work;
    EditSettings settings;
    settings.background.blackWhiteOn = true;
    const QString profile = work.filePath(QStringLiteral("look.clr"));
    profile::writeFile(profile, profile::text(settings, settings.brushLabel()));
    const QString log = work.filePath(QStringLiteral("log.txt"));

    std::vector<std::string> args{VIVIDRA_FX_PATH,
                                  "--profile",
                                  profile.toStdString(),
                                  "--keep-hue",
                                  "25",
                                  "--tolerance",
                                  "20",
                                  "--out",
                                  ""};
    for (const QString& input : inputs)
        args.push_back(input.toStdString());
    int run = 0;
    for (auto _ : state) {
        const QString out = work.filePath(QStringLiteral("out%1").arg(++run));
        args[8] = out.toStdString();
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, log.toLocal8Bit().constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        int status = -1;
        rusage usage{};
        // Spawned and waited for here rather than through QProcess, for the child's own
        // peak memory.
        const bool ran = posix_spawn(&child, argv[0], &files, nullptr, argv.data(), environ) == 0 &&
                         wait4(child, &status, 0, &usage) == child;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        posix_spawn_file_actions_destroy(&files);
        if (!ran || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            QFile text(log);
            text.open(QIODevice::ReadOnly);
            state.SkipWithError(("vividra-fx failed: " + text.readAll().right(400)).constData());
            return;
        }
        state.SetIterationTime(took.count());
        state.counters["s_per_photo"] = took.count() / kPhotos;
        state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
        QDir(out).removeRecursively();
    }
}

} // namespace

BENCHMARK(BM_FolderOfPhotos)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
