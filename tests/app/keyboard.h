#pragma once
// Keys and clicks as the user gives them, through the toolkit's own path: a key press first offers
// itself to the shortcuts and accelerators of the active window, then goes to the widget that has
// the keyboard focus. Tests that check what a keystroke does (an accelerator pressed with the
// cursor in a field, Enter, Escape, typing and pasting) use these instead of setting values.

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <string>

#include "ui/testing.h"

namespace sitedex::testing {

// Where a key goes: an open pop-up menu first, else the widget with the keyboard focus.
inline QWidget* focusedWidget() { return QApplication::focusWidget(); }
inline QWidget* keyTarget() {
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    return QApplication::focusWidget();
}

// Presses one key (with modifiers) on the focused widget.
inline bool pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* w = keyTarget();
    if (!w)
        return false;
    QTest::keyClick(w, key, modifiers);
    ui::pumpEventsFor(30);
    return true;
}

// Types text (UTF-8) into the focused widget, one character at a time.
inline bool typeText(const std::string& utf8) {
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    for (int i = 0; i < text.size(); ++i) {
        QWidget* w = keyTarget();
        if (!w)
            return false;
        QString one = text.mid(i, text.at(i).isHighSurrogate() ? 2 : 1);
        if (one.size() == 2)
            ++i;
        const char latin = one.size() == 1 && one.at(0).unicode() < 128 ? char(one.at(0).unicode()) : 0;
        if (latin >= 32)
            QTest::keyClick(w, latin);
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, one, Qt::NoModifier);
    }
    ui::pumpEventsFor(30);
    return true;
}

// Clicks a widget with the left mouse button, in its middle (a button takes the focus on the press).
inline void clickWidget(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
    ui::pumpEventsFor(30);
}

}  // namespace sitedex::testing
