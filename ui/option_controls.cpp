// Options: a framed group of radio buttons whose variable holds the value of the chosen radio.
//
// A window definition places radios in window coordinates, as the design of a form shows them; they
// live inside their option's frame and are moved by the frame's designed origin. Choosing a radio
// stores its value in the option's variable and raises EVENT:Accepted for the option (not for the
// radio), so a procedure looks at one control however many radios it has.
#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

#include "runtime/events.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using runtime::kEventAccepted;

namespace {

const char* const kRadioValue = "sitedexValue";

class OptionBox : public QGroupBox {
public:
    OptionBox(const QString& title, QWidget* parent) : QGroupBox(title, parent), group(new QButtonGroup(this)) {
        group->setExclusive(true);
    }
    QString chosen() const {
        QAbstractButton* b = group->checkedButton();
        return b ? b->property(kRadioValue).toString() : QString();
    }
    void choose(const QString& value) {
        for (QAbstractButton* b : group->buttons())
            if (b->property(kRadioValue).toString() == value) {
                b->setChecked(true);
                return;
            }
        // A value none of the radios stands for: none is shown chosen.
        group->setExclusive(false);
        for (QAbstractButton* b : group->buttons()) b->setChecked(false);
        group->setExclusive(true);
    }
    QButtonGroup* group;
};

QPoint designedOrigin(const Rect& r) { return QPoint(dialogUnitsToPixelsX(r.x), dialogUnitsToPixelsY(r.y)); }

}  // namespace

QWidget* containerOf(WindowPrivate* owner, const ControlDef& control) {
    if (control.kind != ControlKind::kRadio) return owner->client;
    if (control.parent < 1 || size_t(control.parent) > owner->controls.size()) return owner->client;
    if (auto* box = dynamic_cast<OptionBox*>(owner->controls[size_t(control.parent - 1)].data())) return box;
    return owner->client;
}

QObject* makeOptionControl(WindowPrivate* owner, int number, QWidget* parent) {
    const ControlDef& c = owner->def.controls[size_t(number - 1)];
    const QString text = QString::fromStdString(c.text);
    if (c.kind == ControlKind::kOption) {
        auto* box = new OptionBox(text, parent);
        if (c.textVariable) box->choose(QString::fromStdString(*c.textVariable));
        return box;
    }
    auto* radio = new QRadioButton(text, parent);
    radio->setProperty(kRadioValue, QString::fromStdString(c.value));
    if (auto* box = dynamic_cast<OptionBox*>(parent)) {
        box->group->addButton(radio);
        const int option = c.parent;
        const ControlDef& o = owner->def.controls[size_t(option - 1)];
        if (o.textVariable && *o.textVariable == c.value) radio->setChecked(true);
        QObject::connect(radio, &QRadioButton::clicked, owner->alertFilter, [owner, option, radio] {
            const ControlDef& od = owner->def.controls[size_t(option - 1)];
            if (od.textVariable) *od.textVariable = radio->property(kRadioValue).toString().toStdString();
            owner->push({kEventAccepted, option, 0, 0});
        });
    }
    return radio;
}

void placedInOption(WindowPrivate* owner, const ControlDef& control, QWidget* widget) {
    if (control.kind != ControlKind::kRadio || !dynamic_cast<OptionBox*>(widget->parentWidget())) return;
    const ControlDef& o = owner->def.controls[size_t(control.parent - 1)];
    widget->move(widget->pos() - designedOrigin(o.at));
}

bool applyOptionVariable(WindowPrivate* owner, int number) {
    const ControlDef& c = owner->def.controls[size_t(number - 1)];
    auto* box = dynamic_cast<OptionBox*>(owner->controls[size_t(number - 1)].data());
    if (!box || !c.textVariable) return false;
    box->choose(QString::fromStdString(*c.textVariable));
    return true;
}

bool setOptionText(QObject* object, const QString& text) {
    auto* box = dynamic_cast<OptionBox*>(object);
    if (!box) return false;
    box->choose(text);
    return true;
}

bool optionText(QObject* object, QString& text) {
    auto* box = dynamic_cast<OptionBox*>(object);
    if (!box) return false;
    text = box->chosen();
    return true;
}

}  // namespace sitedex::ui
