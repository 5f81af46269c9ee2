// The controls of a window: built from the definition, addressed by number, tied to their
// variables. Every connection uses the window's alert filter as its context object, so that no
// signal reaches a window that has closed.
#include <QAction>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include "runtime/events.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using runtime::kEventAccepted;

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }

QRect pixels(const Rect& r) {
    return QRect(dialogUnitsToPixelsX(r.x), dialogUnitsToPixelsY(r.y), dialogUnitsToPixelsX(r.width),
                 dialogUnitsToPixelsY(r.height));
}

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
    QWidget* parent = client;
    for (size_t i = 0; i < def.controls.size(); ++i) {
        const ControlDef& c = def.controls[i];
        const int number = int(i) + 1;
        QObject* made = nullptr;
        switch (c.kind) {
            case ControlKind::kMenu: {
                if (!frame) break;
                QMenu* menu = nullptr;
                if (c.parent == 0) {
                    menu = frame->menuBar()->addMenu(qs(c.text));
                } else if (auto* up = qobject_cast<QMenu*>(controls.at(size_t(c.parent - 1)).data())) {
                    menu = up->addMenu(qs(c.text));
                }
                if (menu) menu->menuAction()->setStatusTip(qs(c.status));
                made = menu;
                break;
            }
            case ControlKind::kItem:
            case ControlKind::kSeparator: {
                if (!frame) break;
                QWidget* owner = c.parent == 0 ? static_cast<QWidget*>(frame->menuBar())
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
                button->setAutoDefault(c.isDefault);
                QObject::connect(button, &QPushButton::clicked, alertFilter,
                                 [this, number] { push({kEventAccepted, number, 0, 0}); });
                made = button;
                break;
            }
            case ControlKind::kEntry: {
                auto* edit = new QLineEdit(parent);
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
        }
        controls[i] = made;
        if (auto* w = qobject_cast<QWidget*>(made); w && w->parentWidget() == parent && parent) {
            place(w, c.at);
            w->setEnabled(!c.disabled);
            w->setVisible(!c.hidden);
            w->installEventFilter(alertFilter);
            if (c.kind == ControlKind::kBox) w->lower();
        }
    }
    // A prompt's "&" letter moves the focus to the control that follows it.
    for (size_t i = 0; i + 1 < def.controls.size(); ++i)
        if (def.controls[i].kind == ControlKind::kPrompt)
            if (auto* label = qobject_cast<QLabel*>(controls[i].data()))
                if (QWidget* next = widgetOf(int(i) + 2)) label->setBuddy(next);
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
    if (c.textVariable) {
        if (auto* e = qobject_cast<QLineEdit*>(o)) {
            e->setText(qs(*c.textVariable));
            entryEdited[size_t(number - 1)] = false;
        } else if (auto* l = qobject_cast<QLabel*>(o)) {
            l->setText(qs(*c.textVariable));
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

void Window::enable(int first, int last) { forRange(*m_d, first, last, [](int, QObject* o) { setEnabledOf(o, true); }); }
void Window::disable(int first, int last) { forRange(*m_d, first, last, [](int, QObject* o) { setEnabledOf(o, false); }); }
void Window::hide(int first, int last) { forRange(*m_d, first, last, [](int, QObject* o) { setVisibleOf(o, false); }); }
void Window::unhide(int first, int last) { forRange(*m_d, first, last, [](int, QObject* o) { setVisibleOf(o, true); }); }

bool Window::isEnabled(int control) const {
    bool on = false;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* a = qobject_cast<QAction*>(o)) on = a->isEnabled();
        else if (auto* m = qobject_cast<QMenu*>(o)) on = m->menuAction()->isEnabled();
        else if (auto* w = qobject_cast<QWidget*>(o)) on = w->isEnabled();
    });
    return on;
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
        if (auto* a = qobject_cast<QAction*>(o)) a->setText(t);
        else if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(t);
        else if (auto* l = qobject_cast<QLabel*>(o)) l->setText(t);
        else if (auto* b = qobject_cast<QAbstractButton*>(o)) b->setText(t);
        else if (auto* e = qobject_cast<QLineEdit*>(o)) e->setText(t);
        else if (auto* g = qobject_cast<QGroupBox*>(o)) g->setTitle(t);
    });
}

std::string Window::text(int control) const {
    QString t;
    forRange(*m_d, control, control, [&](int, QObject* o) {
        if (auto* a = qobject_cast<QAction*>(o)) t = a->text();
        else if (auto* m = qobject_cast<QMenu*>(o)) t = m->title();
        else if (auto* l = qobject_cast<QLabel*>(o)) t = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(o)) t = b->text();
        else if (auto* e = qobject_cast<QLineEdit*>(o)) t = e->text();
        else if (auto* g = qobject_cast<QGroupBox*>(o)) t = g->title();
    });
    return t.toStdString();
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
