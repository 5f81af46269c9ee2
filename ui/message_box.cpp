#include "ui/message_box.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "runtime/hooks.h"
#include "runtime/thread_state.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using namespace runtime;

namespace {

struct ButtonCaption {
    int value;
    const char* caption;
};
constexpr ButtonCaption kCaptions[] = {
    {kButtonOk, "OK"},         {kButtonYes, "&Yes"},        {kButtonNo, "&No"},        {kButtonAbort, "&Abort"},
    {kButtonRetry, "&Retry"}, {kButtonIgnore, "&Ignore"}, {kButtonCancel, "Cancel"}, {kButtonHelp, "&Help"},
};

class MessageBoxDialog;
std::vector<MessageBoxDialog*> g_openBoxes;
MessageBoxResponder g_responder;
PopupResponder g_popupResponder;

class MessageBoxDialog : public QDialog {
public:
    MessageBoxDialog(QWidget* parent, MessageBoxInfo info)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          m_info(std::move(info)) {
        // A title and a close box, as a message box has; no minimise or maximise.
        setWindowTitle(QString::fromStdString(m_info.caption));
        auto* outer = new QVBoxLayout(this);
        auto* top = new QHBoxLayout;
        top->setSpacing(dialogUnitsToPixelsX(8));
        if (QPixmap icon = iconPixmap(m_info.icon); !icon.isNull()) {
            auto* iconLabel = new QLabel(this);
            iconLabel->setPixmap(icon);
            iconLabel->setAlignment(Qt::AlignTop);
            top->addWidget(iconLabel, 0, Qt::AlignTop);
        }
        auto* text = new QLabel(QString::fromStdString(m_info.text), this);
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // As wide as its longest line, but wrapped at 200 dialog units.
        int natural = 0;
        for (const QString& line : text->text().split('\n'))
            natural = std::max(natural, text->fontMetrics().horizontalAdvance(line));
        text->setFixedWidth(std::min(natural + 4, dialogUnitsToPixelsX(200)));
        top->addWidget(text, 1);
        outer->addLayout(top);
        outer->addSpacing(dialogUnitsToPixelsY(4));

        auto* row = new QHBoxLayout;
        row->addStretch(1);
        for (const ButtonCaption& c : kCaptions) {
            if (!(m_info.buttons & c.value)) continue;
            auto* b = new QPushButton(QString::fromUtf8(c.caption), this);
            b->setMinimumWidth(dialogUnitsToPixelsX(50));
            bool isDefault = c.value == m_info.defaultButton;
            // Enter presses the button that has the focus (Tab moves it), else the default one.
            b->setAutoDefault(true);
            b->setDefault(isDefault);
            const int value = c.value;
            connect(b, &QPushButton::clicked, this, [this, value] { answer(value); });
            m_buttonOf[value] = b;
            row->addWidget(b);
        }
        row->addStretch(1);
        outer->addLayout(row);
        outer->setSizeConstraint(QLayout::SetFixedSize);
    }

    const MessageBoxInfo& info() const { return m_info; }
    bool answered() const { return m_answered; }
    int result() const { return m_result; }

    bool press(int button) {
        auto it = m_buttonOf.find(button);
        if (it == m_buttonOf.end() || m_answered) return false;
        it->second->click();
        return true;
    }

    void focusDefault() {
        if (auto it = m_buttonOf.find(m_info.defaultButton); it != m_buttonOf.end()) it->second->setFocus();
        else if (!m_buttonOf.empty()) m_buttonOf.begin()->second->setFocus();
    }

    void reject() override {
        // Escape and the close box: Cancel if there is one; a lone OK also closes; else nothing.
        if (m_info.buttons & kButtonCancel) answer(kButtonCancel);
        else if (m_info.buttons == kButtonOk) answer(kButtonOk);
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        reject();
    }
    void changeEvent(QEvent* e) override {
        QDialog::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange) keepShown(this);
    }

private:
    static QPixmap iconPixmap(int icon) {
        QStyle* s = QApplication::style();
        int size = s->pixelMetric(QStyle::PM_MessageBoxIconSize);
        switch (icon) {
            case kIconHand: return s->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(size, size);
            case kIconQuestion: return s->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(size, size);
            case kIconExclamation: return s->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size);
            case kIconAsterisk: return s->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size, size);
            case kIconApplication: return QApplication::windowIcon().pixmap(size, size);
            default: return {};
        }
    }

    void answer(int button) {
        if (m_answered) return;
        m_answered = true;
        m_result = button;
        hide();
        wake(m_info.thread);
    }

    MessageBoxInfo m_info;
    std::map<int, QPushButton*> m_buttonOf;
    bool m_answered = false;
    int m_result = 0;
};

int normalisedButtons(int buttons) {
    buttons &= 0xFF;
    return buttons == 0 ? kButtonOk : buttons;
}

// The window that waits with the box: the thread's current window, disabled meanwhile.
WindowPrivate* ownerOf(int thread) {
    auto& list = windowsOfThread(thread);
    return list.empty() ? nullptr : list.back();
}

void releaseOwner(int thread, WindowPrivate* owner) {
    if (!owner) return;
    auto& list = windowsOfThread(thread);
    if (std::find(list.begin(), list.end(), owner) != list.end()) owner->unblock();
}

QWidget* boxParent() {
    // A box is a window of its own kept above the frame. Making it a child of the owner would also
    // disable it along with the owner.
    WindowPrivate* f = frameInternals();
    return f ? f->frame.data() : nullptr;
}

void centreOver(QWidget* box, int thread) {
    QWidget* over = dialogParentFor(thread);
    box->adjustSize();
    QRect area = over ? QRect(over->mapToGlobal(QPoint(0, 0)), over->size()) : QRect();
    if (!area.isValid()) return;
    QPoint topLeft = area.center() - QPoint(box->width() / 2, box->height() / 2);
    if (QScreen* screen = QApplication::screenAt(area.center())) {  // keep it whole on the screen
        QRect avail = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), avail.left(), std::max(avail.left(), avail.right() - box->width())));
        topLeft.setY(std::clamp(topLeft.y(), avail.top(), std::max(avail.top(), avail.bottom() - box->height())));
    }
    if (box->parentWidget()) topLeft = box->parentWidget()->mapFromGlobal(topLeft) + box->parentWidget()->pos();
    box->move(topLeft);
}

int hookMessageBox(std::string_view text, std::string_view caption, int icon, int buttons, int defaultButton) {
    return showMessageBox(text, caption, icon, buttons, defaultButton);
}

void hookFatal(std::string_view text) { showFatalError(text); }

}  // namespace

int showMessageBox(std::string_view text, std::string_view caption, int icon, int buttons, int defaultButton) {
    buttons = normalisedButtons(buttons);
    if (!(defaultButton & buttons) || (defaultButton & (defaultButton - 1))) defaultButton = 0;
    if (!QApplication::instance()) {
        runtime::setMessageBoxHook(nullptr);
        int answer = runtime::messageBox(text, caption, icon, buttons, defaultButton);
        runtime::setMessageBoxHook(&hookMessageBox);
        return answer;
    }
    MessageBoxInfo info{std::string(text), std::string(caption), icon, buttons, defaultButton, currentThread()};
    if (info.defaultButton == 0)
        for (const ButtonCaption& c : kCaptions)
            if (buttons & c.value) {
                info.defaultButton = c.value;
                break;
            }
    const int thread = info.thread;
    WindowPrivate* owner = ownerOf(thread);
    if (owner) owner->block();

    auto* box = new MessageBoxDialog(boxParent(), info);
    g_openBoxes.push_back(box);
    centreOver(box, thread);
    box->show();
    box->raise();
    box->activateWindow();
    box->focusDefault();
    if (g_responder) {
        QPointer<MessageBoxDialog> guard(box);
        QMetaObject::invokeMethod(
            QApplication::instance(),
            [guard] {
                if (!guard || guard->answered() || !g_responder) return;
                if (int b = g_responder(guard->info()); b != 0) guard->press(b);
            },
            Qt::QueuedConnection);
    }
    waitUntil([box] { return box->answered(); });
    int result = box->result();
    g_openBoxes.erase(std::find(g_openBoxes.begin(), g_openBoxes.end(), box));
    box->deleteLater();
    releaseOwner(thread, owner);
    return result;
}

void showFatalError(std::string_view text) {
    // The runtime writes the text to standard error and ends the program once the box is answered.
    showMessageBox(text, "Runtime error", kIconHand, kButtonOk, kButtonOk);
}

void installWindowHooks() {
    runtime::setMessageBoxHook(&hookMessageBox);
    runtime::setFatalHook(&hookFatal);
}

void setMessageBoxResponder(MessageBoxResponder responder) { g_responder = std::move(responder); }
void setPopupResponder(PopupResponder responder) { g_popupResponder = std::move(responder); }

std::vector<MessageBoxInfo> openMessageBoxes() {
    std::vector<MessageBoxInfo> all;
    for (MessageBoxDialog* b : g_openBoxes)
        if (!b->answered()) all.push_back(b->info());
    return all;
}

bool answerMessageBox(int thread, int button) {
    for (MessageBoxDialog* b : g_openBoxes)
        if (b->info().thread == thread && !b->answered()) return b->press(button);
    return false;
}

// ---- pop-up menu ---------------------------------------------------------------------------------

namespace {
std::optional<QPoint> g_nextPopupAt;
}  // namespace

void setNextPopupPosition(QPoint global) { g_nextPopupAt = global; }

int popupMenu(std::string_view menuText) {
    if (!QApplication::instance()) return 0;
    const int thread = currentThread();
    // Not a child of the window that waits for the answer: that one is disabled meanwhile, and a
    // menu inherits the disabled state of its parent.
    QPointer<QMenu> menu = new QMenu(boxParent());
    std::vector<QAction*> items;
    std::vector<std::string> texts;
    size_t start = 0;
    while (start <= menuText.size()) {
        size_t bar = menuText.find('|', start);
        std::string_view item = menuText.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        start = bar == std::string_view::npos ? menuText.size() + 1 : bar + 1;
        if (item == "-") {
            menu->addSeparator();
            continue;
        }
        bool disabled = !item.empty() && item.front() == '~';
        if (disabled) item.remove_prefix(1);
        // "+" before an item shows it checked, "-" unchecked (one of a set of choices).
        const bool checkable = !item.empty() && (item.front() == '+' || item.front() == '-');
        const bool checked = checkable && item.front() == '+';
        if (checkable) item.remove_prefix(1);
        QAction* a = menu->addAction(QString::fromUtf8(item.data(), qsizetype(item.size())));
        a->setEnabled(!disabled);
        a->setCheckable(checkable);
        a->setChecked(checked);
        items.push_back(a);
        texts.emplace_back(item);
    }
    // Shared with the menu's signal handlers, which may outlive this call by a queued call.
    struct State {
        int chosen = 0;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    for (size_t i = 0; i < items.size(); ++i)
        QObject::connect(items[i], &QAction::triggered, menu, [state, i] { state->chosen = int(i) + 1; });
    // The menu hides before it reports the chosen action; look only once both have happened.
    QObject::connect(menu, &QMenu::aboutToHide, menu, [state, thread] {
        QTimer::singleShot(0, QApplication::instance(), [state, thread] {
            state->done = true;
            wake(thread);
        });
    });
    WindowPrivate* owner = ownerOf(thread);
    if (owner) owner->block();
    menu->popup(g_nextPopupAt.value_or(QCursor::pos()));
    g_nextPopupAt.reset();
    if (g_popupResponder) {
        QMetaObject::invokeMethod(
            QApplication::instance(),
            [menu, items, texts] {
                if (!menu) return;
                int n = g_popupResponder(texts);
                if (n >= 1 && size_t(n) <= items.size() && items[size_t(n - 1)]->isEnabled()) items[size_t(n - 1)]->trigger();
                menu->hide();
            },
            Qt::QueuedConnection);
    }
    waitUntil([state] { return state->done; });
    if (menu) menu->deleteLater();
    releaseOwner(thread, owner);
    int chosen = state->chosen;
    return chosen;
}

// ---- printer set-up ------------------------------------------------------------------------------

QPrinter& programPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

bool printerSetup() {
    if (!QApplication::instance()) return false;
    const int thread = currentThread();
    WindowPrivate* owner = ownerOf(thread);
    if (owner) owner->block();
    auto* dialog = new QPrintDialog(&programPrinter(), boxParent());
    dialog->setWindowTitle(QStringLiteral("Print Setup"));
    dialog->setOption(QAbstractPrintDialog::PrintToFile, true);
    // Setting up prints nothing: its button must not say it does.
    for (QDialogButtonBox* buttons : dialog->findChildren<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
    auto result = std::make_shared<int>(-1);  // -1 while the dialog is up
    QObject::connect(dialog, &QDialog::finished, dialog, [result, thread](int r) {
        *result = r;
        wake(thread);
    });
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    waitUntil([result] { return *result != -1; });
    dialog->deleteLater();
    releaseOwner(thread, owner);
    return *result == QDialog::Accepted;
}

}  // namespace sitedex::ui
