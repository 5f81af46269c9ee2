#pragma once
// Declarative window definitions: what a procedure's window looks like, independent of the toolkit.
//
// A definition lists the window's attributes and its controls. Everything added gets the next
// control number, in definition order, starting at 1 — menus and menu items too, as the program's
// procedures address menu commands like any other control. The add functions return that number,
// so a procedure keeps its control numbers as named constants taken from its own definition.
// Positions and sizes are dialog units (a quarter of the average character width across, an eighth
// of the character height down), so a window keeps its proportions with any font.
//
// Callers: window procedures build a definition (usually once, in a function returning it) and open
// a ui::Window on it. New control kinds are added here and in ui/controls.cpp.

#include <string>
#include <vector>

namespace sitedex::ui {

enum class WindowKind {
    kFrame,     // the application frame: menu bar, status bar, and the area child windows open in
    kMdiChild,  // a child window inside the frame (a window of its own when there is no frame)
    kDialog,    // a window of its own, kept above the frame
    kSplash,    // a window without title bar or border, centred on the screen
};

enum class ControlKind {
    kMenu,       // a menu of the menu bar, or a submenu of a menu
    kItem,       // a menu command
    kSeparator,  // a line between menu items (takes a number like any control)
    kString,     // a line of text that the user cannot change
    kPrompt,     // the label of the next control; its "&" letter moves to that control
    kButton,
    kEntry,     // one line of text the user types
    kCheck,     // a box that is on (1) or off (0)
    kProgress,  // a bar that shows how far a job has got
    kImage,     // a picture from the program's resources
    kBox,       // a framed, empty rectangle that groups controls visually
    kList,      // a list box showing rows its procedure supplies; text = list format (ui/list_box.h)
    kSheet,     // a tab control; its tabs are the kTab controls whose parent is the sheet
    kTab,       // one tab of a sheet (parent = the sheet); controls whose parent is the tab show only
                // while it is the sheet's current tab. Positions stay in the window's coordinates.
    kCombo,     // a drop-down combination box: a line the user types, with a list of choices
    kDropList,  // a drop-down list: one of its choices, nothing typed
    kSpin,      // a number between rangeLow and rangeHigh with up and down arrows
    kText,      // several lines of text the user types (wrapped), textVariable
    kOption,    // a framed group of radio buttons; textVariable holds the value of the chosen one
    kRadio,     // a radio button of the option named by parent; `value` is what the option's variable
                // takes when it is chosen (EVENT:Accepted for the option). Positions in window coordinates.
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;  // dialog units; a width or height of 0 means "natural size"
};

struct ControlDef {
    ControlKind kind = ControlKind::kString;
    std::string text;    // the caption; "&" marks the shortcut letter
    Rect at;             // within the window's client area (unused for menus)
    int parent = 0;      // menus and items: the number of the menu they belong to, 0 for the menu bar;
                         // tabs: their sheet; other controls: the tab they stand on (0 for none)
    std::string status;  // menus and items: the status-bar text shown while the item is highlighted
    std::string tip;     // the tip shown while the mouse rests on the control
    std::string image;   // images: resource name, e.g. ":/SITEDX01.GIF"
    std::string value;   // radios: the value the option's variable takes when this one is chosen
    // The variable the control shows and changes (entries, strings: text; checks, progress: value).
    // It must outlive the window. Redisplay copies variables to the controls; the user's changes are
    // copied back before the control's EVENT:Accepted is queued.
    std::string* textVariable = nullptr;
    int* numberVariable = nullptr;
    int rangeLow = 0, rangeHigh = 100;  // progress bars, spin boxes
    // Entries, combination boxes and texts: the most bytes of UTF-8 the variable may hold (its field's
    // size); 0 for no limit. The control refuses what goes beyond, a character at a time.
    size_t maxBytes = 0;
    std::vector<std::string> choices;   // combination boxes and drop-down lists (Window::setChoices)
    bool isDefault = false;             // buttons: pressed by Enter
    bool isCancel = false;              // buttons: pressed by Escape
    bool disabled = false;              // starts disabled
    bool hidden = false;                // starts hidden
    bool bold = false;                  // strings: drawn in the bold face
    bool centered = false;              // strings: text centred in its rectangle
};

struct WindowDef {
    std::string name;   // PROCEDURE$WINDOW, for messages and tests
    std::string title;  // the title bar's text
    WindowKind kind = WindowKind::kMdiChild;
    int width = 200, height = 100;  // client area, dialog units
    int x = 0, y = 0;               // designed position, dialog units (ignored when centered)
    bool centered = false;
    bool resizable = false;
    bool statusBar = false;
    bool maximized = false;       // opens maximised
    int timer = 0;                // hundredths of a second between EVENT:Timer events; 0 = none
    std::vector<int> alertKeys;   // key codes that raise EVENT:AlertKey instead of their usual action
    std::vector<ControlDef> controls;

    // Each returns the control number of what it added.
    int add(ControlDef control);
    int addMenu(int parentMenu, std::string text, std::string status = {});
    int addItem(int menu, std::string text, std::string status = {});
    int addSeparator(int menu);
    int addString(std::string text, Rect at);
    int addButton(std::string text, Rect at, bool isDefault = false);
    int addEntry(std::string* variable, Rect at);
    int addCheck(std::string text, int* variable, Rect at);
    int addProgress(int* variable, Rect at, int low = 0, int high = 100);
    int addImage(std::string resource, Rect at);
    int addList(std::string format, Rect at);
    int addPrompt(std::string text, Rect at);
    int addSheet(Rect at);
    int addTab(int sheet, std::string text);
    int addCombo(std::string* variable, Rect at);
    int addDropList(std::string* variable, std::vector<std::string> choices, Rect at);
    int addSpin(int* variable, Rect at, int low, int high);
    int addText(std::string* variable, Rect at);
    int addOption(std::string text, std::string* variable, Rect at);
    int addRadio(int option, std::string text, std::string value, Rect at);
    // Puts the control on a tab (see kTab); returns the control number for chaining.
    int onTab(int control, int tab) { controls.at(size_t(control - 1)).parent = tab; return control; }
    // Puts every control from `first` to the last one defined on the tab; radios stay in their option
    // and tabs in their sheet.
    void onTabFrom(int first, int tab) {
        for (int n = first; n <= int(controls.size()); ++n) {
            ControlKind kind = controls[size_t(n - 1)].kind;
            if (kind != ControlKind::kRadio && kind != ControlKind::kTab) onTab(n, tab);
        }
    }

    const ControlDef& control(int number) const { return controls.at(size_t(number - 1)); }
};

}  // namespace sitedex::ui
