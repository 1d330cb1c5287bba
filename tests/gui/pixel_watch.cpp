// Watches one pixel of a window until it turns grey (or coloured) and prints how many
// milliseconds that took; the window tests time what the user sees with it. With "click",
// it clicks the mouse where it is once it watches, and times from the click.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool click = args.value(6) == QLatin1String("click");
    const bool wantGrey = args.value(5) == QLatin1String("grey");
    if (args.size() != 6 + click || (!wantGrey && args[5] != QLatin1String("colour"))) {
        std::fprintf(stderr, "usage: pixel_watch WINDOW X Y TIMEOUT_MS grey|colour [click]\n");
        return 2;
    }
    const WId window = args[1].toULongLong();
    const int x = args[2].toInt(), y = args[3].toInt();
    const qint64 timeout = args[4].toLongLong();
    QScreen* screen = QGuiApplication::primaryScreen();
    screen->grabWindow(window, x, y, 1, 1);
    QElapsedTimer clock;
    clock.start();
    if (click && QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("click"), QStringLiteral("1")}) != 0)
        return 2;
    while (clock.elapsed() < timeout) {
        const QRgb p = screen->grabWindow(window, x, y, 1, 1).toImage().pixel(0, 0);
        const bool grey = std::abs(qRed(p) - qGreen(p)) <= 6 && std::abs(qGreen(p) - qBlue(p)) <= 6;
        // A coloured pixel is one the empty window's greys cannot be.
        const auto [least, most] = std::minmax({qRed(p), qGreen(p), qBlue(p)});
        if (wantGrey ? grey : most - least > 40) {
            std::printf("%lld\n", static_cast<long long>(clock.elapsed()));
            return 0;
        }
        QThread::msleep(2);
    }
    return 1;
}
