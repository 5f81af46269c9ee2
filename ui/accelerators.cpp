// The keyboard of a window beyond what each control does itself: its own accelerators (Alt+letter)
// before the frame's menu bar, the default and cancel buttons (Enter, Escape), and the taking of the
// field being edited before a button acts.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "runtime/events.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using runtime::kEventAccepted;

namespace {
// The letter after a single "&" of a caption (QChar() for none).
QChar mnemonicOf(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
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
    if (!client || blockCount > 0 || !client->isEnabled()) return false;
    const QChar wanted = letter.toUpper();
    for (size_t i = 0; i < def.controls.size(); ++i) {
        const ControlDef& c = def.controls[i];
        if (mnemonicOf(c.text) != wanted) continue;
        const int number = int(i) + 1;
        switch (c.kind) {
            case ControlKind::kPrompt: {
                // The field after the prompt, on its tab even when another tab shows now.
                QWidget* field = widgetOf(number + 1);
                if (!field || !field->isEnabled() || hiddenByProcedure[i] || hiddenByProcedure[i + 1]) continue;
                if (!onShownTab(number + 1) && c.parent >= 1) {
                    const ControlDef& tab = def.controls[size_t(c.parent - 1)];
                    auto* sheet = qobject_cast<QTabWidget*>(widgetOf(tab.parent));
                    if (tab.kind != ControlKind::kTab || !sheet || !sheet->isVisible()) continue;
                    sheet->setCurrentWidget(widgetOf(c.parent));
                }
                if (!field->isVisible()) continue;
                field->setFocus(Qt::ShortcutFocusReason);
                return true;
            }
            case ControlKind::kButton:
            case ControlKind::kCheck:
            case ControlKind::kRadio: {
                auto* b = qobject_cast<QAbstractButton*>(controls[i].data());
                if (!b || !b->isVisible() || !b->isEnabled()) continue;
                if (c.kind == ControlKind::kRadio) b->setFocus(Qt::ShortcutFocusReason);
                b->click();
                return true;
            }
            case ControlKind::kTab: {
                auto* sheet = qobject_cast<QTabWidget*>(widgetOf(c.parent));
                if (!sheet || !sheet->isVisible() || !sheet->isEnabled()) continue;
                sheet->setCurrentWidget(widgetOf(number));
                sheet->setFocus(Qt::ShortcutFocusReason);
                return true;
            }
            default: continue;
        }
    }
    return false;
}

bool WindowPrivate::pressButton(bool cancel) {
    for (size_t i = 0; i < controls.size(); ++i) {
        const ControlDef& c = def.controls[i];
        if (c.kind != ControlKind::kButton || !(cancel ? c.isCancel : c.isDefault)) continue;
        auto* b = qobject_cast<QPushButton*>(controls[i].data());
        if (!b || !b->isEnabled() || !client || !b->isVisibleTo(client)) continue;
        b->click();
        return true;
    }
    return false;
}

void WindowPrivate::takeEdits(bool accept) {
    for (size_t i = 0; i < controls.size() && i < entryEdited.size(); ++i) {
        if (!entryEdited[i]) continue;
        entryEdited[i] = false;
        std::string* variable = def.controls[i].textVariable;
        QObject* o = controls[i];
        if (auto* e = qobject_cast<QLineEdit*>(o)) {
            if (variable) *variable = e->text().toStdString();
        } else if (auto* cb = qobject_cast<QComboBox*>(o)) {
            if (variable) *variable = cb->currentText().toStdString();
        } else if (auto* sp = qobject_cast<QSpinBox*>(o)) {
            sp->interpretText();  // digits typed and not yet taken; the variable follows the value
        }
        if (accept) push({kEventAccepted, int(i) + 1, 0, 0});
    }
}

}  // namespace sitedex::ui
