#include "ui/clipboard.h"

#include <QApplication>
#include <QClipboard>

namespace sitedex::ui {

void setClipboardText(std::string_view text) {
    if (QClipboard* c = QApplication::clipboard())
        c->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

std::string clipboardText() {
    QClipboard* c = QApplication::clipboard();
    return c ? c->text().toStdString() : std::string();
}

}  // namespace sitedex::ui
