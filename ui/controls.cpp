// The controls of a window: built from the definition, addressed by number, tied to their
// variables. Every connection uses the window's alert filter as its context object, so that no
// signal reaches a window that has closed.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QValidator>
#include <algorithm>
#include <QTabWidget>
#include <QAbstractButton>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <memory>

#include "runtime/events.h"
#include "ui/window_chrome_private.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using runtime::kEventAccepted;

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }

QRect pixels(const Rect& r) {
    return QRect(dialogUnitsToPixelsX(r.x), dialogUnitsToPixelsY(r.y), dialogUnitsToPixelsX(r.width),
                 dialogUnitsToPixelsY(r.height));
}

// A spin box that takes any whole number typed and brings it into its range when the typing is
// done: 0 becomes the lowest value, a number above the range the highest, rather than the keys
// being refused one by one.
class RangeSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    QValidator::State validate(QString& text, int& pos) const override {
        QValidator::State state = QSpinBox::validate(text, pos);
        if (state != QValidator::Invalid) return state;
        bool number = false;
        text.trimmed().toLongLong(&number);
        return number ? QValidator::Intermediate : state;
    }
    void fixup(QString& text) const override {
        bool number = false;
        const long long value = text.trimmed().toLongLong(&number);
        if (number) text = QString::number(std::clamp<long long>(value, minimum(), maximum()));
        else QSpinBox::fixup(text);
    }
};

void place(QWidget* w, const Rect& r) {
    QRect px = pixels(r);
    QSize natural = w->sizeHint();
    w->setGeometry(px.x(), px.y(), r.width > 0 ? px.width() : natural.width(),
                   r.height > 0 ? px.height() : natural.height());
}
}  // namespace

void WindowPrivate::buildControls() {
    controls.assign(def.controls.size(), nullptr);
    entryEdited.assign(def.controls.size(), false);
    for (size_t i = 0; i < def.controls.size(); ++i) {
        const ControlDef& c = def.controls[i];
        const int number = int(i) + 1;
        QWidget* parent = containerOf(this, c);  // the client, or an option's frame for its radios
        QObject* made = nullptr;
        switch (c.kind) {
            case ControlKind::kMenu: {
                QMenuBar* bar = menuBarOf(this);  // the frame's, or the window's own
                if (!bar) break;
                QMenu* menu = nullptr;
                if (c.parent == 0) {
                    menu = bar->addMenu(qs(c.text));
                } else if (auto* up = qobject_cast<QMenu*>(controls.at(size_t(c.parent - 1)).data())) {
                    menu = up->addMenu(qs(c.text));
                }
                if (menu) menu->menuAction()->setStatusTip(qs(c.status));
                made = menu;
                break;
            }
            case ControlKind::kItem:
            case ControlKind::kSeparator: {
                QMenuBar* bar = menuBarOf(this);
                if (!bar) break;
                QWidget* owner = c.parent == 0 ? static_cast<QWidget*>(bar)
                                               : qobject_cast<QMenu*>(controls.at(size_t(c.parent - 1)).data());
                if (!owner) break;
                auto* action = new QAction(qs(c.text), owner);
                if (c.kind == ControlKind::kSeparator) {
                    action->setSeparator(true);
                } else {
                    action->setStatusTip(qs(c.status));
                    QObject::connect(action, &QAction::triggered, alertFilter,
                                     [this, number] { push({kEventAccepted, number, 0, 0}); });
                }
                action->setEnabled(!c.disabled);
                owner->addAction(action);
                made = action;
                break;
            }
            case ControlKind::kString:
            case ControlKind::kPrompt: {
                auto* label = new QLabel(qs(c.textVariable ? *c.textVariable : c.text), parent);
                if (c.kind == ControlKind::kString) label->setTextFormat(Qt::PlainText);
                if (c.bold) {
                    QFont f = label->font();
                    f.setBold(true);
                    label->setFont(f);
                }
                if (c.centered) label->setAlignment(Qt::AlignCenter);
                made = label;
                break;
            }
            case ControlKind::kButton: {
                auto* button = new QPushButton(qs(c.text), parent);
                button->setDefault(c.isDefault);
                // Enter presses the button that has the focus, as in any dialog; else the default one.
                button->setAutoDefault(true);
                // Whether by the mouse, its accelerator, Enter or a test's click: the field being
                // edited is taken first. A cancel button leaves it alone, and does not take the focus
                // on a click either (leaving the field would run its checks).
                const bool cancel = c.isCancel;
                if (cancel) button->setFocusPolicy(Qt::TabFocus);
                QObject::connect(button, &QPushButton::clicked, alertFilter, [this, number, cancel] {
                    if (!cancel) takeEdits(true);
                    push({kEventAccepted, number, 0, 0});
                });
                made = button;
                break;
            }
            case ControlKind::kEntry: {
                auto* edit = new QLineEdit(parent);
                if (c.maxBytes) edit->setValidator(makeByteLimit(c.maxBytes, edit));
                if (c.textVariable) edit->setText(qs(*c.textVariable));
                QObject::connect(edit, &QLineEdit::textEdited, alertFilter, [this, i] { entryEdited[i] = true; });
                QObject::connect(edit, &QLineEdit::editingFinished, alertFilter, [this, i, number, edit] {
                    if (!entryEdited[i]) return;
                    entryEdited[i] = false;
                    if (def.controls[i].textVariable) *def.controls[i].textVariable = edit->text().toStdString();
                    push({kEventAccepted, number, 0, 0});
                });
                made = edit;
                break;
            }
            case ControlKind::kCheck: {
                auto* box = new QCheckBox(qs(c.text), parent);
                if (c.numberVariable) box->setChecked(*c.numberVariable != 0);
                QObject::connect(box, &QCheckBox::clicked, alertFilter, [this, i, number](bool on) {
                    if (def.controls[i].numberVariable) *def.controls[i].numberVariable = on ? 1 : 0;
                    push({kEventAccepted, number, 0, 0});
                });
                made = box;
                break;
            }
            case ControlKind::kProgress: {
                auto* bar = new QProgressBar(parent);
                bar->setRange(c.rangeLow, c.rangeHigh);
                bar->setValue(c.numberVariable ? *c.numberVariable : c.rangeLow);
                made = bar;
                break;
            }
            case ControlKind::kImage: {
                auto* label = new QLabel(parent);
                QPixmap picture(qs(c.image));
                if (c.at.width > 0 && c.at.height > 0)
                    picture = picture.scaled(pixels(c.at).size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
                label->setPixmap(picture);
                label->setAlignment(Qt::AlignCenter);
                made = label;
                break;
            }
            case ControlKind::kBox: {
                made = new QGroupBox(qs(c.text), parent);
                break;
            }
            case ControlKind::kList: {
                made = makeListBox(this, number, parent);
                break;
            }
            case ControlKind::kSheet: {
                auto* sheet = new QTabWidget(parent);
                QObject::connect(sheet, &QTabWidget::currentChanged, alertFilter, [this, number] {
                    applyTabVisibility();
                    // Only the user's choice of a tab is an event; a procedure's select() is not.
                    if (!selectingTab) push({runtime::kEventNewSelection, number, 0, 0});
                });
                made = sheet;
                break;
            }
            case ControlKind::kTab: {
                auto* sheet = qobject_cast<QTabWidget*>(c.parent > 0 ? controls.at(size_t(c.parent - 1)).data() : nullptr);
                if (!sheet) break;
                auto* page = new QWidget;
                selectingTab = true;
                sheet->addTab(page, qs(c.text));
                selectingTab = false;
                made = page;
                break;
            }
            case ControlKind::kCombo:
            case ControlKind::kDropList: {
                auto* combo = new QComboBox(parent);
                const bool editable = c.kind == ControlKind::kCombo;
                combo->setEditable(editable);
                combo->setInsertPolicy(QComboBox::NoInsert);
                if (editable && c.maxBytes) combo->setValidator(makeByteLimit(c.maxBytes, combo));
                for (const std::string& choice : c.choices) combo->addItem(qs(choice));
                if (c.textVariable) combo->setCurrentIndex(combo->findText(qs(*c.textVariable)));
                if (editable && c.textVariable) combo->setEditText(qs(*c.textVariable));
                QObject::connect(combo, &QComboBox::activated, alertFilter, [this, i, number, combo] {
                    entryEdited[i] = false;
                    if (def.controls[i].textVariable) *def.controls[i].textVariable = combo->currentText().toStdString();
                    push({kEventAccepted, number, 0, 0});
                });
                if (editable) {
                    QLineEdit* edit = combo->lineEdit();
                    QObject::connect(edit, &QLineEdit::textEdited, alertFilter, [this, i] { entryEdited[i] = true; });
                    QObject::connect(edit, &QLineEdit::editingFinished, alertFilter, [this, i, number, combo] {
                        if (!entryEdited[i]) return;
                        entryEdited[i] = false;
                        if (def.controls[i].textVariable) *def.controls[i].textVariable = combo->currentText().toStdString();
                        push({kEventAccepted, number, 0, 0});
                    });
                }
                made = combo;
                break;
            }
            case ControlKind::kSpin: {
                auto* spin = new RangeSpinBox(parent);
                spin->setRange(c.rangeLow, c.rangeHigh);
                // A typed value out of range becomes the nearest bound, not the value before.
                spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
                if (c.numberVariable) spin->setValue(*c.numberVariable);
                QObject::connect(spin, &QSpinBox::valueChanged, alertFilter, [this, i, number](int value) {
                    entryEdited[i] = true;
                    if (def.controls[i].numberVariable) *def.controls[i].numberVariable = value;
                    push({runtime::kEventNewSelection, number, 0, 0});
                });
                QObject::connect(spin, &QSpinBox::editingFinished, alertFilter, [this, i, number] {
                    if (!entryEdited[i]) return;
                    entryEdited[i] = false;
                    push({kEventAccepted, number, 0, 0});
                });
                made = spin;
                break;
            }
            case ControlKind::kOption:
            case ControlKind::kRadio: made = makeOptionControl(this, number, parent); break;
            case ControlKind::kText: {
                auto* text = new QPlainTextEdit(parent);
                text->setTabChangesFocus(true);
                if (c.maxBytes) limitTextBytes(text, c.maxBytes, alertFilter);
                if (c.textVariable) text->setPlainText(qs(*c.textVariable));
                // The variable follows every keystroke: a multi-line text has no moment of acceptance
                // the user would notice, and OK must see what is typed.
                QObject::connect(text, &QPlainTextEdit::textChanged, alertFilter, [this, i, text] {
                    if (def.controls[i].textVariable) *def.controls[i].textVariable = text->toPlainText().toStdString();
                });
                made = text;
                break;
            }
        }
        controls[i] = made;
        if (auto* w = qobject_cast<QWidget*>(made); w && w->parentWidget() == parent && parent) {
            place(w, c.at);
            placedInOption(this, c, w);
            w->setEnabled(!c.disabled);
            w->setVisible(!c.hidden);
            w->installEventFilter(alertFilter);
            if (!c.tip.empty()) w->setToolTip(qs(c.tip));
            if (!c.status.empty()) w->setStatusTip(qs(c.status));  // shown while the mouse is over it
            if (c.kind == ControlKind::kBox || c.kind == ControlKind::kSheet) w->lower();
        }
    }
    hiddenByProcedure.assign(def.controls.size(), false);
    for (size_t i = 0; i < def.controls.size(); ++i) hiddenByProcedure[i] = def.controls[i].hidden;
    applyTabVisibility();
    // A prompt's "&" letter moves the focus to the control that follows it; lines of text between
    // the two (an explanation under the prompt) take no focus and are passed over.
    for (size_t i = 0; i + 1 < def.controls.size(); ++i) {
        if (def.controls[i].kind != ControlKind::kPrompt) continue;
        auto* label = qobject_cast<QLabel*>(controls[i].data());
        size_t n = i + 1;
        while (n + 1 < def.controls.size() && def.controls[n].kind == ControlKind::kString) ++n;
        if (label)
            if (QWidget* next = widgetOf(int(n) + 1)) label->setBuddy(next);
    }
}

void Window::fitControl(int control, Rect slot) {
    QWidget* w = m_d->widgetOf(control);
    if (!w || !m_d->client || w->parentWidget() != m_d->client) return;
    const ControlDef& c = m_d->def.controls[size_t(control - 1)];
    QRect r(slot.x, slot.y, std::max(0, slot.width), std::max(0, slot.height));
    switch (c.kind) {
        case ControlKind::kList:
        case ControlKind::kSheet:
        case ControlKind::kText:
        case ControlKind::kBox:
        case ControlKind::kOption:
        case ControlKind::kImage: break;  // these show more the more room they have
        default: {
            // One line of text or a button: its designed height, and a button or spin box its
            // designed width; it stands at the side of its share nearer the window's edge.
            const QRect designed = pixels(c.at);
            const int height = std::min(r.height(), c.at.height > 0 ? designed.height() : w->sizeHint().height());
            const bool fixedWidth = c.kind == ControlKind::kButton || c.kind == ControlKind::kSpin ||
                                    c.kind == ControlKind::kCheck || c.kind == ControlKind::kRadio;
            const int width = fixedWidth ? std::min(r.width(), c.at.width > 0 ? designed.width() : w->sizeHint().width())
                                         : r.width();
            const QPoint centre = r.center();
            const int x = centre.x() > m_d->client->width() / 2 ? r.right() + 1 - width : r.left();
            const int y = centre.y() > m_d->client->height() / 2 ? r.bottom() + 1 - height : r.top();
            r = QRect(x, y, width, height);
            break;
        }
    }
    w->setGeometry(r);
}

QWidget* WindowPrivate::widgetOf(int number) const {
    if (number < 1 || size_t(number) > controls.size()) return nullptr;
    return qobject_cast<QWidget*>(controls[size_t(number - 1)].data());
}

int WindowPrivate::controlNumberOf(const QObject* object) const {
    for (const QObject* o = object; o; o = o->parent())
        for (size_t i = 0; i < controls.size(); ++i)
            if (controls[i] == o) return int(i) + 1;
    return 0;
}

void WindowPrivate::applyVariable(int number) {
    if (number < 1 || size_t(number) > controls.size()) return;
    const ControlDef& c = def.controls[size_t(number - 1)];
    QObject* o = controls[size_t(number - 1)];
    if (!o) return;
    if (applyOptionVariable(this, number)) return;
    if (c.textVariable) {
        if (auto* e = qobject_cast<QLineEdit*>(o)) {
            e->setText(qs(*c.textVariable));
            entryEdited[size_t(number - 1)] = false;
        } else if (auto* l = qobject_cast<QLabel*>(o)) {
            l->setText(qs(*c.textVariable));
        } else if (auto* cb = qobject_cast<QComboBox*>(o)) {
            cb->setCurrentIndex(cb->findText(qs(*c.textVariable)));
            if (cb->isEditable()) cb->setEditText(qs(*c.textVariable));
            entryEdited[size_t(number - 1)] = false;
        } else if (auto* t = qobject_cast<QPlainTextEdit*>(o)) {
            if (t->toPlainText() != qs(*c.textVariable)) t->setPlainText(qs(*c.textVariable));
        }
    }
    if (c.numberVariable) {
        if (auto* sp = qobject_cast<QSpinBox*>(o)) {
            QSignalBlocker quiet(sp);
            sp->setValue(*c.numberVariable);
            entryEdited[size_t(number - 1)] = false;
        }
    }
    if (c.numberVariable) {
        if (auto* b = qobject_cast<QCheckBox*>(o)) b->setChecked(*c.numberVariable != 0);
        if (auto* p = qobject_cast<QProgressBar*>(o)) p->setValue(*c.numberVariable);
    }
}

namespace {
template <class F>
void forRange(WindowPrivate& d, int first, int last, F f) {
    if (last < first) last = first;
    for (int n = first; n <= last; ++n)
        if (n >= 1 && size_t(n) <= d.controls.size() && d.controls[size_t(n - 1)]) f(n, d.controls[size_t(n - 1)].data());
}

void setEnabledOf(QObject* o, bool on) {
    if (auto* a = qobject_cast<QAction*>(o)) a->setEnabled(on);
    else if (auto* m = qobject_cast<QMenu*>(o)) m->menuAction()->setEnabled(on);
    else if (auto* w = qobject_cast<QWidget*>(o)) w->setEnabled(on);
}

void setVisibleOf(QObject* o, bool on) {
    if (auto* a = qobject_cast<QAction*>(o)) a->setVisible(on);
    else if (auto* m = qobject_cast<QMenu*>(o)) m->menuAction()->setVisible(on);
    else if (auto* w = qobject_cast<QWidget*>(o)) w->setVisible(on);
}
}  // namespace

bool WindowPrivate::onShownTab(int number) const {
    // A control is on a tab when its parent is a kTab; the tab shows when it is its sheet's current
    // page (and, for tabs inside tabs, when that sheet shows too).
    for (int guard = 0; guard < 8; ++guard) {
        if (number < 1 || size_t(number) > def.controls.size()) return true;
        const ControlDef& c = def.controls[size_t(number - 1)];
        if (c.kind == ControlKind::kMenu || c.kind == ControlKind::kItem || c.kind == ControlKind::kSeparator) return true;
        if (c.parent < 1 || size_t(c.parent) > def.controls.size()) return true;
        if (def.controls[size_t(c.parent - 1)].kind != ControlKind::kTab) return true;
        const ControlDef& tab = def.controls[size_t(c.parent - 1)];
        auto* sheet = qobject_cast<QTabWidget*>(widgetOf(tab.parent));
        QWidget* page = widgetOf(c.parent);
        if (!sheet || !page || sheet->currentWidget() != page) return false;
        number = tab.parent;
    }
    return true;
}

void WindowPrivate::applyTabVisibility() {
    if (hiddenByProcedure.size() != controls.size()) return;  // still building
    for (size_t i = 0; i < controls.size(); ++i) {
        const ControlDef& c = def.controls[i];
        if (c.kind == ControlKind::kTab || c.parent == 0) continue;
        if (c.kind == ControlKind::kMenu || c.kind == ControlKind::kItem || c.kind == ControlKind::kSeparator) continue;
        if (auto* w = qobject_cast<QWidget*>(controls[i].data()))
            w->setVisible(!hiddenByProcedure[i] && onShownTab(int(i) + 1));
    }
}

void Window::enable(int first, int last) { forRange(*m_d, first, last, [](int, QObject* o) { setEnabledOf(o, true); }); }
void Window::disable(int first, int last) { forRange(*m_d, first, last, [](int, QObject* o) { setEnabledOf(o, false); }); }
void Window::hide(int first, int last) {
    forRange(*m_d, first, last, [this](int n, QObject* o) {
        if (size_t(n) <= m_d->hiddenByProcedure.size()) m_d->hiddenByProcedure[size_t(n - 1)] = true;
        setVisibleOf(o, false);
    });
}
void Window::unhide(int first, int last) {
    forRange(*m_d, first, last, [this](int n, QObject* o) {
        if (size_t(n) <= m_d->hiddenByProcedure.size()) m_d->hiddenByProcedure[size_t(n - 1)] = false;
        setVisibleOf(o, m_d->onShownTab(n));
    });
}

bool Window::isEnabled(int control) const {
    bool on = false;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* a = qobject_cast<QAction*>(o)) on = a->isEnabled();
        else if (auto* m = qobject_cast<QMenu*>(o)) on = m->menuAction()->isEnabled();
        else if (auto* w = qobject_cast<QWidget*>(o)) on = w->isEnabled();
    });
    return on;
}

bool Window::isShown(int control) const {
    bool shown = false;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* a = qobject_cast<QAction*>(o)) shown = a->isVisible();
        else if (auto* m = qobject_cast<QMenu*>(o)) shown = m->menuAction()->isVisible();
        else if (auto* w = qobject_cast<QWidget*>(o)) shown = !w->isHidden();
    });
    return shown;
}

void Window::redisplay(int first, int last) {
    if (first == 0) {
        first = 1;
        last = int(m_d->controls.size());
    }
    forRange(*m_d, first, last, [this](int n, QObject*) { m_d->applyVariable(n); });
}

void Window::setText(int control, std::string_view text) {
    QString t = QString::fromUtf8(text.data(), qsizetype(text.size()));
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (setOptionText(o, t)) return;
        if (auto* a = qobject_cast<QAction*>(o)) a->setText(t);
        else if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(t);
        else if (auto* l = qobject_cast<QLabel*>(o)) l->setText(t);
        else if (auto* b = qobject_cast<QAbstractButton*>(o)) b->setText(t);
        else if (auto* e = qobject_cast<QLineEdit*>(o)) e->setText(t);
        else if (auto* g = qobject_cast<QGroupBox*>(o)) g->setTitle(t);
        else if (auto* cb = qobject_cast<QComboBox*>(o)) {
            if (cb->isEditable()) cb->setEditText(t);
            else cb->setCurrentIndex(cb->findText(t));
        } else if (auto* pt = qobject_cast<QPlainTextEdit*>(o)) pt->setPlainText(t);
    });
}

std::string Window::text(int control) const {
    QString t;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (optionText(o, t)) return;
        if (auto* a = qobject_cast<QAction*>(o)) t = a->text();
        else if (auto* m = qobject_cast<QMenu*>(o)) t = m->title();
        else if (auto* l = qobject_cast<QLabel*>(o)) t = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(o)) t = b->text();
        else if (auto* e = qobject_cast<QLineEdit*>(o)) t = e->text();
        else if (auto* g = qobject_cast<QGroupBox*>(o)) t = g->title();
        else if (auto* cb = qobject_cast<QComboBox*>(o)) t = cb->currentText();
        else if (auto* pt = qobject_cast<QPlainTextEdit*>(o)) t = pt->toPlainText();
        else if (auto* sp = qobject_cast<QSpinBox*>(o)) t = QString::number(sp->value());
    });
    return t.toStdString();
}

void Window::setChoices(int control, const std::vector<std::string>& choices) {
    forRange(*m_d, control, control, [&](int n, QObject* o) {
        auto* cb = qobject_cast<QComboBox*>(o);
        if (!cb) return;
        ControlDef& c = m_d->def.controls[size_t(n - 1)];
        c.choices = choices;
        const QString typed = cb->currentText();
        QSignalBlocker quiet(cb);
        cb->clear();
        for (const std::string& choice : choices) cb->addItem(QString::fromStdString(choice));
        cb->setCurrentIndex(cb->findText(typed));
        if (cb->isEditable()) cb->setEditText(typed);
    });
}

std::vector<std::string> Window::choices(int control) const {
    if (control < 1 || size_t(control) > m_d->def.controls.size()) return {};
    return m_d->def.controls[size_t(control - 1)].choices;
}

int Window::choice(int control) const {
    int v = 0;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* sheet = qobject_cast<QTabWidget*>(o)) v = sheet->currentIndex() + 1;
        else if (auto* cb = qobject_cast<QComboBox*>(o)) v = cb->findText(cb->currentText()) + 1;
    });
    return v;
}

void Window::select(int control, int choice) {
    forRange(*m_d, control, control, [&](int n, QObject* o) {
        if (auto* sheet = qobject_cast<QTabWidget*>(o)) {
            m_d->selectingTab = true;
            sheet->setCurrentIndex(choice - 1);
            m_d->selectingTab = false;
        } else if (auto* cb = qobject_cast<QComboBox*>(o)) {
            QSignalBlocker quiet(cb);
            cb->setCurrentIndex(choice - 1);
            ControlDef& c = m_d->def.controls[size_t(n - 1)];
            if (c.textVariable && choice >= 1) *c.textVariable = cb->currentText().toStdString();
        }
    });
}

void Window::chooseTab(int sheet, int choice) {
    forRange(*m_d, sheet, sheet, [&](int, QObject* o) {
        if (auto* s = qobject_cast<QTabWidget*>(o)) s->setCurrentIndex(choice - 1);
    });
}

void Window::enterText(int control, std::string_view text) {
    const QString t = QString::fromUtf8(text.data(), qsizetype(text.size()));
    forRange(*m_d, control, control, [&](int n, QObject* o) {
        ControlDef& c = m_d->def.controls[size_t(n - 1)];
        if (auto* e = qobject_cast<QLineEdit*>(o)) {
            e->setText(t);
            if (c.textVariable) *c.textVariable = std::string(text);
        } else if (auto* cb = qobject_cast<QComboBox*>(o)) {
            if (cb->isEditable()) cb->setEditText(t);
            else cb->setCurrentIndex(cb->findText(t));
            if (c.textVariable) *c.textVariable = cb->currentText().toStdString();
        } else if (auto* pt = qobject_cast<QPlainTextEdit*>(o)) {
            pt->setPlainText(t);
            return;  // the variable followed; no acceptance
        } else if (auto* sp = qobject_cast<QSpinBox*>(o)) {
            sp->setValue(t.toInt());
        } else {
            return;
        }
        m_d->entryEdited[size_t(n - 1)] = false;
        m_d->push({kEventAccepted, n, 0, 0});
    });
}

Rect Window::controlGeometry(int control) const {
    Rect r;
    if (QWidget* w = m_d->widgetOf(control); w && m_d->client && w->parentWidget() == m_d->client)
        r = {w->x(), w->y() - barsTop(m_d.get()), w->width(), w->height()};
    return r;
}

void Window::setControlGeometry(int control, Rect pixels) {
    if (QWidget* w = m_d->widgetOf(control); w && m_d->client && w->parentWidget() == m_d->client)
        w->setGeometry(pixels.x, pixels.y + barsTop(m_d.get()), std::max(0, pixels.width), std::max(0, pixels.height));
}

int Window::clientWidth() const { return m_d->client ? m_d->client->width() : 0; }
int Window::clientHeight() const {
    return m_d->client ? m_d->client->height() - barsTop(m_d.get()) - barsBottom(m_d.get()) : 0;
}

void Window::setValue(int control, int value) {
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* b = qobject_cast<QCheckBox*>(o)) b->setChecked(value != 0);
        else if (auto* p = qobject_cast<QProgressBar*>(o)) p->setValue(value);
    });
}

int Window::value(int control) const {
    int v = 0;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* b = qobject_cast<QCheckBox*>(o)) v = b->isChecked() ? 1 : 0;
        else if (auto* p = qobject_cast<QProgressBar*>(o)) v = p->value();
    });
    return v;
}

void Window::focus(int control) {
    if (QWidget* w = m_d->widgetOf(control)) w->setFocus(Qt::OtherFocusReason);
}

void Window::click(int control) {
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* a = qobject_cast<QAction*>(o)) a->trigger();
        else if (auto* b = qobject_cast<QAbstractButton*>(o)) b->click();
    });
}

}  // namespace sitedex::ui
