#include "ui/choose_file.h"

#include <QApplication>
#include <QFileDialog>
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

// "All Files|*.*|HTML files|*.htm" as the toolkit writes filters: "All Files (*)", "HTML files (*.htm)".
QStringList nameFilters(std::string_view filter) {
    QStringList parts = QString::fromUtf8(filter.data(), qsizetype(filter.size())).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1].replace(';', ' ');
        if (pattern == "*.*")
            pattern = "*";
        filters << parts[i] + " (" + pattern + ")";
    }
    return filters;
}

}  // namespace

std::optional<std::string> chooseFile(const FileDialogInfo& info) {
    if (!QApplication::instance())
        return std::nullopt;
    const int thread = runtime::currentThread();
    auto& windows = windowsOfThread(thread);
    WindowPrivate* owner = windows.empty() ? nullptr : windows.back();
    if (owner)
        owner->block();

    WindowPrivate* frame = frameInternals();
    QPointer<QFileDialog> dialog =
        new QFileDialog(frame ? frame->frame.data() : nullptr, QString::fromStdString(info.title));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(info.mode == FileDialogMode::kSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setAcceptMode(info.mode == FileDialogMode::kSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setNameFilters(nameFilters(info.filter));
    if (!info.start.empty()) {
        const QString start = QString::fromStdString(info.start);
        const QFileInfo fi(start);
        if (fi.isDir()) {
            dialog->setDirectory(start);
        } else {
            dialog->setDirectory(fi.absolutePath());
            dialog->selectFile(fi.fileName());
        }
    }
    struct State {
        int result = -1;  // -1 while the dialog is up
        std::string path;
    };
    auto state = std::make_shared<State>();
    QObject::connect(dialog, &QDialog::finished, dialog, [state, thread, dialog](int r) {
        if (r == QDialog::Accepted && dialog && !dialog->selectedFiles().isEmpty())
            state->path = dialog->selectedFiles().front().toStdString();
        state->result = r;
        wake(thread);
    });
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (g_responder) {
        QMetaObject::invokeMethod(
            QApplication::instance(),
            [dialog, info, state, thread] {
                if (!dialog || !g_responder || state->result != -1)
                    return;
                std::optional<std::string> answer = g_responder(info);
                if (!dialog || state->result != -1)
                    return;
                state->path = answer.value_or(std::string());
                state->result = answer ? int(QDialog::Accepted) : int(QDialog::Rejected);
                dialog->hide();
                wake(thread);
            },
            Qt::QueuedConnection);
    }
    waitUntil([state] { return state->result != -1; });
    if (dialog)
        dialog->deleteLater();
    if (owner) {
        auto& now = windowsOfThread(thread);
        if (std::find(now.begin(), now.end(), owner) != now.end())
            owner->unblock();
    }
    if (state->result != QDialog::Accepted || state->path.empty())
        return std::nullopt;
    return state->path;
}

void setFileDialogResponder(FileDialogResponder responder) {
    g_responder = std::move(responder);
}

}  // namespace sitedex::ui
