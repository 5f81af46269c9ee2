#include "ui/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <algorithm>
#include <memory>

#include "runtime/thread_state.h"
#include "ui/scheduler.h"
#include "ui/window_private.h"

namespace sitedex::ui {

namespace {

FileDialogResponder g_responder;

// "All Files|*.*|HTML files|*.htm" as Qt's name filters.
QStringList nameFilters(std::string_view filters) {
    QStringList parts = QString::fromUtf8(filters.data(), qsizetype(filters.size())).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (pattern == "*.*") {
                patterns << "*";
            } else {
                patterns << pattern;
                if (pattern.endsWith(".htm", Qt::CaseInsensitive))
                    patterns << pattern + "l";
            }
        }
        out << parts[i].trimmed() + " (" + patterns.join(' ') + ")";
    }
    return out;
}

}  // namespace

std::optional<std::string> chooseFileToOpen(std::string_view title, std::string_view filters,
                                            std::string_view startPath) {
    if (!QApplication::instance())
        return std::nullopt;
    const int thread = runtime::currentThread();
    auto& windows = windowsOfThread(thread);
    WindowPrivate* owner = windows.empty() ? nullptr : windows.back();
    if (owner)
        owner->block();

    QWidget* parent = frameInternals() ? frameInternals()->frame.data() : nullptr;
    QPointer<QFileDialog> dialog = new QFileDialog(parent, QString::fromUtf8(title.data(), qsizetype(title.size())));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters(nameFilters(filters));
    const QString start = QString::fromUtf8(startPath.data(), qsizetype(startPath.size()));
    if (!start.isEmpty()) {
        const QFileInfo info(start);
        dialog->setDirectory(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
        if (!info.isDir())
            dialog->selectFile(info.fileName());
    }
    struct State {
        bool done = false;
        std::optional<std::string> chosen;
    };
    auto state = std::make_shared<State>();
    QObject::connect(dialog, &QDialog::finished, dialog, [state, dialog, thread](int result) {
        if (result == QDialog::Accepted && !state->chosen && dialog && !dialog->selectedFiles().isEmpty())
            state->chosen = dialog->selectedFiles().first().toStdString();
        state->done = true;
        wake(thread);
    });
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (g_responder) {
        const std::string t(title), s(startPath);
        QMetaObject::invokeMethod(
            QApplication::instance(),
            [dialog, state, t, s] {
                if (!dialog || !g_responder)
                    return;
                std::optional<std::string> answer = g_responder(t, s);
                if (!dialog)
                    return;
                state->chosen = answer;
                static_cast<QDialog*>(dialog.data())->done(answer ? QDialog::Accepted : QDialog::Rejected);
            },
            Qt::QueuedConnection);
    }
    waitUntil([state] { return state->done; });
    if (dialog)
        dialog->deleteLater();
    if (owner && std::find(windows.begin(), windows.end(), owner) != windows.end())
        owner->unblock();
    return state->chosen;
}

void setFileDialogResponder(FileDialogResponder responder) {
    g_responder = std::move(responder);
}

}  // namespace sitedex::ui
