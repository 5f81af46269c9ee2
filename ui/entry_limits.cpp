// Entries that hold no more bytes of UTF-8 than their field: what is typed or pasted beyond the
// limit is cut at the last whole character that fits, where it was put in (so the user sees the
// limit as it is reached, and nothing is cut silently when the record is saved).
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QValidator>
#include <algorithm>
#include <memory>

#include "ui/window_private.h"

namespace sitedex::ui {

namespace {

qsizetype utf8Bytes(QStringView text) { return text.toUtf8().size(); }

// The characters (whole code points, never half a surrogate pair) to take away just before `end`
// so that `excess` bytes of UTF-8 go: returns where the cut starts.
qsizetype cutBefore(QStringView text, qsizetype end, qsizetype excess) {
    qsizetype start = end;
    while (excess > 0 && start > 0) {
        qsizetype len = start >= 2 && text.at(start - 1).isLowSurrogate() && text.at(start - 2).isHighSurrogate() ? 2 : 1;
        excess -= utf8Bytes(text.mid(start - len, len));
        start -= len;
    }
    return start;
}

// Keeps a line within its field's bytes of UTF-8. What was just typed or pasted (it ends at the
// cursor) is cut at the last whole character that fits, so the user sees the limit as it is reached
// and nothing is cut silently when the record is saved.
class ByteLimit : public QValidator {
public:
    ByteLimit(size_t limit, QObject* parent) : QValidator(parent), m_limit(qsizetype(limit)) {}
    State validate(QString& input, int& pos) const override {
        qsizetype excess = utf8Bytes(input) - m_limit;
        if (excess <= 0) return Acceptable;
        qsizetype end = std::clamp<qsizetype>(pos, 0, input.size());
        qsizetype start = cutBefore(input, end, excess);
        input.remove(start, end - start);
        pos = int(start);
        // A cursor at the start of a text that is still too long (set by the program): cut its end.
        if (utf8Bytes(input) > m_limit) input.truncate(cutBefore(input, input.size(), utf8Bytes(input) - m_limit));
        return Acceptable;
    }

private:
    qsizetype m_limit;
};

// The same for a multi-line text, whose document tells where the last change ended.
void limitText(QPlainTextEdit* text, size_t limit, QObject* context) {
    auto changeEnd = std::make_shared<int>(0);
    QObject::connect(text->document(), &QTextDocument::contentsChange, context,
                     [changeEnd](int position, int, int added) { *changeEnd = position + added; });
    QObject::connect(text, &QPlainTextEdit::textChanged, context, [text, limit, changeEnd] {
        const QString all = text->toPlainText();
        const qsizetype excess = utf8Bytes(all) - qsizetype(limit);
        if (excess <= 0) return;
        qsizetype end = std::clamp<qsizetype>(*changeEnd, 0, all.size());
        qsizetype start = cutBefore(all, end, excess);
        QTextCursor cut(text->document());
        if (utf8Bytes(all) - utf8Bytes(QStringView(all).mid(start, end - start)) > qsizetype(limit)) {
            start = cutBefore(all, all.size(), excess);  // still too long (set by the program): its end
            end = all.size();
        }
        cut.setPosition(int(start));
        cut.setPosition(int(end), QTextCursor::KeepAnchor);
        cut.removeSelectedText();  // textChanged again, now within the limit
    });
}

}  // namespace

QValidator* makeByteLimit(size_t limit, QObject* parent) { return new ByteLimit(limit, parent); }

void limitTextBytes(QPlainTextEdit* text, size_t limit, QObject* context) { limitText(text, limit, context); }

}  // namespace sitedex::ui
