#include "tests/support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace vividra::test {

// Started with fork and exec rather than QProcess: clang's thread sanitizer stops at the way
// Qt starts processes.
FxRun runFx(const QStringList& arguments) {
    std::vector<QByteArray> words{QByteArrayLiteral(VIVIDRA_FX_PATH)};
    for (const QString& a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    FxRun run;
    int errors[2];
    if (pipe(errors) != 0)
        return run;
    const pid_t child = fork();
    if (child == 0) {
        const int nothing = open("/dev/null", O_WRONLY);
        dup2(nothing, STDOUT_FILENO);
        dup2(errors[1], STDERR_FILENO);
        close(errors[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(errors[1]);
    QByteArray log;
    char chunk[4096];
    for (ssize_t n; (n = read(errors[0], chunk, sizeof chunk)) > 0;)
        log.append(chunk, n);
    close(errors[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run = {WEXITSTATUS(status), QString::fromLocal8Bit(log)};
    return run;
}

} // namespace vividra::test
