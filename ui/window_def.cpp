#include "ui/window_def.h"

namespace sitedex::ui {

namespace {
ControlDef make(ControlKind kind, std::string text = {}, Rect at = {}) {
    ControlDef c;
    c.kind = kind;
    c.text = std::move(text);
    c.at = at;
    return c;
}
}  // namespace

int WindowDef::add(ControlDef control) {
    controls.push_back(std::move(control));
    return int(controls.size());
}

int WindowDef::addMenu(int parentMenu, std::string text, std::string status) {
    ControlDef c = make(ControlKind::kMenu, std::move(text));
    c.parent = parentMenu;
    c.status = std::move(status);
    return add(std::move(c));
}

int WindowDef::addItem(int menu, std::string text, std::string status) {
    ControlDef c = make(ControlKind::kItem, std::move(text));
    c.parent = menu;
    c.status = std::move(status);
    return add(std::move(c));
}

int WindowDef::addSeparator(int menu) {
    ControlDef c = make(ControlKind::kSeparator);
    c.parent = menu;
    return add(std::move(c));
}

int WindowDef::addList(std::string format, Rect at) { return add(make(ControlKind::kList, std::move(format), at)); }

int WindowDef::addString(std::string text, Rect at) { return add(make(ControlKind::kString, std::move(text), at)); }

int WindowDef::addButton(std::string text, Rect at, bool isDefault) {
    ControlDef c = make(ControlKind::kButton, std::move(text), at);
    c.isDefault = isDefault;
    return add(std::move(c));
}

int WindowDef::addEntry(std::string* variable, Rect at) {
    ControlDef c = make(ControlKind::kEntry, {}, at);
    c.textVariable = variable;
    return add(std::move(c));
}

int WindowDef::addCheck(std::string text, int* variable, Rect at) {
    ControlDef c = make(ControlKind::kCheck, std::move(text), at);
    c.numberVariable = variable;
    return add(std::move(c));
}

int WindowDef::addProgress(int* variable, Rect at, int low, int high) {
    ControlDef c = make(ControlKind::kProgress, {}, at);
    c.numberVariable = variable;
    c.rangeLow = low;
    c.rangeHigh = high;
    return add(std::move(c));
}

int WindowDef::addImage(std::string resource, Rect at) {
    ControlDef c = make(ControlKind::kImage, {}, at);
    c.image = std::move(resource);
    return add(std::move(c));
}

int WindowDef::addPrompt(std::string text, Rect at) { return add(make(ControlKind::kPrompt, std::move(text), at)); }

int WindowDef::addSheet(Rect at) { return add(make(ControlKind::kSheet, {}, at)); }

int WindowDef::addTab(int sheet, std::string text) {
    ControlDef c = make(ControlKind::kTab, std::move(text));
    c.parent = sheet;
    return add(std::move(c));
}

int WindowDef::addCombo(std::string* variable, Rect at) {
    ControlDef c = make(ControlKind::kCombo, {}, at);
    c.textVariable = variable;
    return add(std::move(c));
}

int WindowDef::addDropList(std::string* variable, std::vector<std::string> choices, Rect at) {
    ControlDef c = make(ControlKind::kDropList, {}, at);
    c.textVariable = variable;
    c.choices = std::move(choices);
    return add(std::move(c));
}

int WindowDef::addSpin(int* variable, Rect at, int low, int high) {
    ControlDef c = make(ControlKind::kSpin, {}, at);
    c.numberVariable = variable;
    c.rangeLow = low;
    c.rangeHigh = high;
    return add(std::move(c));
}

int WindowDef::addText(std::string* variable, Rect at) {
    ControlDef c = make(ControlKind::kText, {}, at);
    c.textVariable = variable;
    return add(std::move(c));
}

int WindowDef::addOption(std::string text, std::string* variable, Rect at) {
    ControlDef c;
    c.kind = ControlKind::kOption;
    c.text = std::move(text);
    c.at = at;
    c.textVariable = variable;
    return add(std::move(c));
}

int WindowDef::addRadio(int option, std::string text, std::string value, Rect at) {
    ControlDef c;
    c.kind = ControlKind::kRadio;
    c.text = std::move(text);
    c.at = at;
    c.parent = option;
    c.value = std::move(value);
    return add(std::move(c));
}

}  // namespace sitedex::ui
