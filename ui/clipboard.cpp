#include "ui/clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

namespace sitedex::ui {

namespace {

// HTML put on the clipboard as UTF-16 starts with a byte order mark, or has a zero byte in every
// other place (the markup is ASCII).
bool looksLikeUtf16(const QByteArray& bytes) {
    if (bytes.size() < 2)
        return false;
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF))
        return true;
    return bytes.size() % 2 == 0 && (bytes[0] == '\0' || bytes[1] == '\0');
}

}  // namespace

void setClipboardText(std::string_view text) {
    if (QClipboard* c = QApplication::clipboard())
        c->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

std::string clipboardText() {
    QClipboard* c = QApplication::clipboard();
    return c ? c->text().toStdString() : std::string();
}

ClipboardContents clipboardContents() {
    ClipboardContents contents;
    QClipboard* c = QApplication::clipboard();
    const QMimeData* m = c ? c->mimeData() : nullptr;
    if (!m)
        return contents;
    if (m->hasText())
        contents.text = m->text().toStdString();
    if (m->hasHtml()) {
        QByteArray bytes = m->data(QStringLiteral("text/html"));
        if (bytes.isEmpty() || looksLikeUtf16(bytes))
            bytes = m->html().toUtf8();
        contents.html = bytes.toStdString();
    }
    return contents;
}

}  // namespace sitedex::ui
