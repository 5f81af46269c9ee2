#include "ui/file_dialog.h"

#include <QApplication>
#include <QDir>
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

// "Sitedex Database|URL_L.VLX|HTML files|*.htm;*.txt" as the toolkit's name filters. "*.*" means
// every file (here a name needs no dot), and "*.htm" also shows "*.html" files.
QStringList nameFilters(std::string_view filter) {
    QStringList parts = QString::fromUtf8(filter.data(), qsizetype(filter.size())).split('|');
    QStringList filters;
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
        filters << parts[i].trimmed() + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

}  // namespace

void setFileDialogResponder(FileDialogResponder responder) {
    g_responder = std::move(responder);
}

std::string chooseFileToOpen(std::string_view title, std::string_view filter, std::string_view start) {
    if (!QApplication::instance())
        return {};
    const int thread = runtime::currentThread();
    const QFileInfo startInfo(QString::fromUtf8(start.data(), qsizetype(start.size())));
    QString directory = start.empty() ? QDir::currentPath() : startInfo.absolutePath();
    if (!start.empty() && startInfo.isDir())
        directory = startInfo.absoluteFilePath();

    auto& windows = windowsOfThread(thread);
    WindowPrivate* owner = windows.empty() ? nullptr : windows.back();
    if (owner)
        owner->block();
    WindowPrivate* frame = frameInternals();
    QPointer<QFileDialog> dialog = new QFileDialog(frame ? frame->frame.data() : nullptr,
                                                   QString::fromUtf8(title.data(), qsizetype(title.size())), directory);
    // The toolkit's own dialog: a desktop's native one may run a loop of its own.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (QStringList filters = nameFilters(filter); !filters.isEmpty())
        dialog->setNameFilters(filters);
    if (!start.empty() && !startInfo.isDir())
        dialog->selectFile(startInfo.fileName());
    dialog->setWindowModality(Qt::NonModal);

    struct Answer {
        bool done = false;
        std::string path;
    };
    auto answer = std::make_shared<Answer>();
    QObject::connect(dialog, &QDialog::finished, dialog, [answer, dialog, thread](int result) {
        if (answer->done)
            return;
        if (result == QDialog::Accepted && dialog && !dialog->selectedFiles().isEmpty())
            answer->path = QFileInfo(dialog->selectedFiles().first()).absoluteFilePath().toStdString();
        answer->done = true;
        wake(thread);
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (g_responder) {
        FileDialogInfo info{std::string(title), std::string(filter), directory.toStdString(), thread};
        QMetaObject::invokeMethod(
            QApplication::instance(),
            [dialog, answer, info, thread] {
                if (!dialog || answer->done || !g_responder)
                    return;
                std::string chosen = g_responder(info);
                answer->path = chosen.empty()
                                   ? std::string()
                                   : QFileInfo(QString::fromStdString(chosen)).absoluteFilePath().toStdString();
                answer->done = true;
                dialog->hide();
                wake(thread);
            },
            Qt::QueuedConnection);
    }
    waitUntil([answer] { return answer->done; });
    if (dialog)
        dialog->deleteLater();
    if (owner) {
        auto& list = windowsOfThread(thread);
        if (std::find(list.begin(), list.end(), owner) != list.end())
            owner->unblock();
    }
    return answer->path;
}

}  // namespace sitedex::ui
