#include "ui/desktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "runtime/events.h"
#include "ui/message_box.h"
#include "ui/resources.h"
#include "ui/scheduler.h"
#include "ui/window_private.h"

namespace sitedex::ui {

namespace {
constexpr int kShutDownGraceMilliseconds = 10000;
int g_signalPipe[2] = {-1, -1};
std::string g_helpFile = kHelpDocument;
QPointer<QTextBrowser> g_helpViewer;

void onSignal(int) {
    // Only async-signal-safe work here: the event loop reads the pipe and does the rest.
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void watchSignals(QObject* parent) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char buf[16];
        while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
        }
        requestCloseDown();
        // A procedure may keep the frame from closing (a box waiting for an answer nobody will
        // give); the request to end must still end the program.
        QTimer::singleShot(kShutDownGraceMilliseconds, QCoreApplication::instance(), [] {
            if (!threadRunning(1)) return;
            std::fputs("sitedex: the windows did not close after the request to end; ending now.\n", stderr);
            std::fflush(stderr);
            std::_Exit(1);
        });
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
}
}  // namespace

void requestCloseDown() {
    auto& list = windowsOfThread(1);
    for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)->push({runtime::kEventCloseDown, 0, 0, 0});
}

void setHelpFile(const char* path) { g_helpFile = path ? path : ""; }

void showHelpContents() {
    if (!g_helpViewer) {
        WindowPrivate* f = frameInternals();
        g_helpViewer = new QTextBrowser(f ? f->frame.data() : nullptr);
        g_helpViewer->setWindowFlag(Qt::Window);
        g_helpViewer->setAttribute(Qt::WA_DeleteOnClose);
        g_helpViewer->setWindowTitle(QStringLiteral("Sitedex Help"));
        g_helpViewer->setOpenLinks(true);
        g_helpViewer->resize(dialogUnitsToPixelsX(300), dialogUnitsToPixelsY(260));
    }
    QString path = QString::fromStdString(g_helpFile);
    QUrl url = path.startsWith(':') ? QUrl(QStringLiteral("qrc") + path) : QUrl::fromLocalFile(path);
    if (QFile::exists(path)) g_helpViewer->setSource(url);
    else g_helpViewer->setPlainText(QStringLiteral("The help file %1 could not be found.").arg(path));
    g_helpViewer->show();
    g_helpViewer->raise();
    g_helpViewer->activateWindow();
}

// Qt ends the process with abort() when its platform plugin cannot reach the display (DISPLAY set
// to a server that is gone). We say so in our own words and end with exit code 1 instead.
static void startupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    std::fputs(
        "sitedex: the graphical display could not be opened; start Sitedex from a desktop session, or see "
        "sitedex --help for the commands that work without one.\n",
        stderr);
    std::fflush(stderr);
    std::_Exit(1);
}

int runDesktop(int argc, char** argv, std::function<void()> mainProcedure) {
    QtMessageHandler previous = qInstallMessageHandler(startupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QStringLiteral("Sitedex"));
    // The desktop finds the menu entry, and so the icon and name, of the program's windows by it.
    QGuiApplication::setDesktopFileName(QStringLiteral(SITEDEX_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);  // the program ends when Main returns
    loadResources();
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(kProgramPicture)));
    installWindowHooks();
    watchSignals(&app);

    // Asked whether the session may end: yes (nothing to do). The end itself arrives as a quit.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager&) {});
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [] {
        if (!threadRunning(1)) return;
        requestCloseDown();
        QElapsedTimer clock;
        clock.start();
        while (threadRunning(1) && clock.elapsed() < kShutDownGraceMilliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    });

    setFrameThreadEndedHandler([] { QCoreApplication::quit(); });
    if (!startFrameProcedure(std::move(mainProcedure))) return 1;
    int code = app.exec();
    setFrameThreadEndedHandler(nullptr);
    return code;
}

}  // namespace sitedex::ui
