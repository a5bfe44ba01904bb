// bench-window: converts the files given into one MP4 (with --separate: one file each, into the
// folder of OUTPUT) through the real window (offscreen), while a 20 ms timer measures how late
// the window gets to its events. Prints one line:
//   seconds=<run> p99_ms=<99th percentile gap between timer events> max_ms=<largest gap>

#include "app/Dialogs.h"
#include "app/Main.h"
#include "platform/MessagePump.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Confirms every question and saves to one fixed file.
class TFixedDialogs : public TDialogs {
public:
    explicit TFixedDialogs(QString target) : Target(std::move(target)) {}
    bool Confirm(QWidget*, QPoint, const QString&) override { return true; }
    void Error(QWidget*, std::optional<QPoint>, const QString& text) override {
        std::fprintf(stderr, "bench-window: %s\n", qPrintable(text));
    }
    void Information(QWidget*, std::optional<QPoint>, const QString&, const QString&) override {}
    std::optional<TSaveChoice> SaveFile(QWidget*, const TSaveRequest&) override {
        return TSaveChoice{Target, 1};
    }

private:
    QString Target;
};

void Drop(QWidget& window, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(file);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As the program's entry point does: the window is served while a tool runs.
    platform::SetMessagePump([] { QCoreApplication::processEvents(); });
    QStringList args = app.arguments().mid(1);
    const bool separate = !args.isEmpty() && args.front() == "--separate";
    if (separate)
        args.removeFirst();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench-window [--separate] OUTPUT.mp4 FILE...\n");
        return 2;
    }
    TFixedDialogs dialogs(args.front());
    TMainForm window(dialogs);
    window.show();
    window.findChild<QWidget*>(separate ? "rdgrpConvertItem1" : "rdgrpConvertItem0")
        ->setProperty("checked", true);
    window.findChild<QWidget*>("rdbtnSelect")->setProperty("checked", true);
    // The bitrate parvane-job uses by default.
    window.findChild<QListWidget*>("lbxRate")->setCurrentRow(5);
    Drop(window, args.mid(1));

    std::vector<double> gaps;
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(20);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.push_back((now - last) / 1e6);
        last = now;
    });
    clock.start();
    ticker.start();
    window.findChild<QPushButton*>("btnConvert")->click();
    const double seconds = clock.nsecsElapsed() / 1e9;
    ticker.stop();

    std::sort(gaps.begin(), gaps.end());
    const double p99 = gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
    std::printf("seconds=%.3f p99_ms=%.1f max_ms=%.1f ticks=%zu\n", seconds, p99,
                gaps.empty() ? 0 : gaps.back(), gaps.size());
    return 0;
}
