// The keyboard of a window beyond what each control does itself: its own accelerators (Alt+letter)
// before the frame's menu bar, the default and cancel buttons (Enter, Escape), and the taking of the
// field being edited before a button acts.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <vector>

#include "runtime/events.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using runtime::kEventAccepted;

namespace {
// The letter after a single "&" of a caption (QChar() for none).
QChar mnemonicOf(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return QChar(text[i + 1]).toUpper();
    }
    return {};
}
}  // namespace

bool WindowPrivate::accelerate(QChar letter) {
    if (!client || blockCount > 0 || !client->isEnabled())
        return false;
    const QChar wanted = letter.toUpper();

    // The field a prompt leads to: lines of text between the two (an explanation under the prompt)
    // take no focus and are passed over, as for the prompt's buddy.
    auto fieldAfter = [&](size_t prompt) {
        size_t f = prompt + 1;
        while (f + 1 < def.controls.size() && def.controls[f].kind == ControlKind::kString)
            ++f;
        return f;
    };
    // The widget an accelerator moves the focus to; nullptr when it cannot act now (disabled,
    // hidden, on a tab that cannot be shown).
    auto targetOf = [&](size_t i) -> QWidget* {
        const ControlDef& c = def.controls[i];
        switch (c.kind) {
            case ControlKind::kPrompt: {
                // The field after the prompt, on its tab even when another tab shows now.
                const size_t f = fieldAfter(i);
                if (f >= def.controls.size())
                    return nullptr;
                QWidget* field = widgetOf(int(f) + 1);
                if (!field || !field->isEnabled() || hiddenByProcedure[i] || hiddenByProcedure[f])
                    return nullptr;
                if (!onShownTab(int(f) + 1) && c.parent >= 1) {
                    const ControlDef& tab = def.controls[size_t(c.parent - 1)];
                    auto* sheet = qobject_cast<QTabWidget*>(widgetOf(tab.parent));
                    if (tab.kind != ControlKind::kTab || !sheet || !sheet->isVisible())
                        return nullptr;
                    return field;  // shown when the accelerator acts
                }
                return field->isVisible() ? field : nullptr;
            }
            case ControlKind::kButton:
            case ControlKind::kCheck:
            case ControlKind::kRadio: {
                auto* b = qobject_cast<QAbstractButton*>(controls[i].data());
                return b && b->isVisible() && b->isEnabled() ? b : nullptr;
            }
            case ControlKind::kTab: {
                auto* sheet = qobject_cast<QTabWidget*>(widgetOf(c.parent));
                return sheet && sheet->isVisible() && sheet->isEnabled() ? sheet : nullptr;
            }
            default:
                return nullptr;
        }
    };
    // `press`: a button or check box acts; else it only takes the focus.
    auto act = [&](size_t i, bool press) {
        const ControlDef& c = def.controls[i];
        QWidget* target = targetOf(i);
        switch (c.kind) {
            case ControlKind::kPrompt:
                if (!onShownTab(int(fieldAfter(i)) + 1) && c.parent >= 1) {
                    const ControlDef& tab = def.controls[size_t(c.parent - 1)];
                    qobject_cast<QTabWidget*>(widgetOf(tab.parent))->setCurrentWidget(widgetOf(c.parent));
                    if (!target->isVisible())
                        return false;
                }
                target->setFocus(Qt::ShortcutFocusReason);
                return true;
            case ControlKind::kRadio:
                target->setFocus(Qt::ShortcutFocusReason);
                qobject_cast<QAbstractButton*>(target)->click();  // a radio is chosen by reaching it
                return true;
            case ControlKind::kTab:
                qobject_cast<QTabWidget*>(target)->setCurrentWidget(widgetOf(int(i) + 1));
                target->setFocus(Qt::ShortcutFocusReason);
                return true;
            default:
                if (press)
                    qobject_cast<QAbstractButton*>(target)->click();
                else
                    target->setFocus(Qt::ShortcutFocusReason);
                return true;
        }
    };

    std::vector<size_t> usable;
    for (size_t i = 0; i < def.controls.size(); ++i)
        if (mnemonicOf(def.controls[i].text) == wanted && targetOf(i))
            usable.push_back(i);
    if (usable.empty())
        return false;
    if (usable.size() == 1)
        return act(usable.front(), true);
    // Several controls share the letter: each press moves on to the next of them, after the one that
    // has the focus, and none is pressed (the platform's rule), so that every one of them is reached.
    size_t next = 0;
    QWidget* focus = QApplication::focusWidget();
    for (size_t k = 0; k < usable.size(); ++k) {
        QWidget* target = targetOf(usable[k]);
        if (focus && (target == focus || target->isAncestorOf(focus)))
            next = k + 1;
    }
    return act(usable[next % usable.size()], false);
}

bool WindowPrivate::pressButton(bool cancel) {
    for (size_t i = 0; i < controls.size(); ++i) {
        const ControlDef& c = def.controls[i];
        if (c.kind != ControlKind::kButton || !(cancel ? c.isCancel : c.isDefault))
            continue;
        auto* b = qobject_cast<QPushButton*>(controls[i].data());
        if (!b || !b->isEnabled() || !client || !b->isVisibleTo(client))
            continue;
        b->click();
        return true;
    }
    return false;
}

void WindowPrivate::takeEdits(bool accept) {
    for (size_t i = 0; i < controls.size() && i < entryEdited.size(); ++i) {
        if (!entryEdited[i])
            continue;
        entryEdited[i] = false;
        std::string* variable = def.controls[i].textVariable;
        QObject* o = controls[i];
        if (auto* e = qobject_cast<QLineEdit*>(o)) {
            if (variable)
                *variable = e->text().toStdString();
        } else if (auto* cb = qobject_cast<QComboBox*>(o)) {
            if (variable)
                *variable = cb->currentText().toStdString();
        } else if (auto* sp = qobject_cast<QSpinBox*>(o)) {
            sp->interpretText();  // digits typed and not yet taken; the variable follows the value
        }
        if (accept)
            push({kEventAccepted, int(i) + 1, 0, 0});
    }
}

}  // namespace sitedex::ui
