#include "ui/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QAbstractButton>
#include <QStatusBar>
#include <algorithm>
#include <array>
#include <cassert>
#include <map>

#include "runtime/events.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "ui/scheduler.h"
#include "ui/window_chrome_private.h"
#include "ui/window_private.h"

namespace sitedex::ui {

using namespace runtime;

namespace {
std::array<std::vector<WindowPrivate*>, kThreadSlots> g_windows;
WindowPrivate* g_frame = nullptr;

int threadOrCurrent(int thread) { return thread == 0 ? currentThread() : thread; }

// Before the frame closes, the other threads' windows are asked to close. Returns true once they
// all have; false when one of them stays open (its procedure cancelled the close). A thread whose
// window closes to uncover its caller's window (a form called from a browse) is asked again.
bool closeOtherThreads(WindowPrivate& frame) {
    std::map<int, unsigned long> asked;  // thread -> serial number of the window asked to close
    auto ask = [&](int t) {
        WindowPrivate* w = g_windows[size_t(t - 1)].back();
        asked[t] = w->serial;
        w->takeEdits(false);  // a form asked to close knows what the user had typed
        w->push({kEventCloseWindow, 0, 0, 0});
    };
    for (int t = 1; t <= kThreadSlots; ++t)
        if (t != frame.thread && !g_windows[size_t(t - 1)].empty()) ask(t);
    if (asked.empty()) return true;
    // Each thread either ends, or goes back to waiting with nothing queued: then it has refused.
    waitUntil(
        [&] {
            bool settled = true;
            for (auto& [t, serial] : asked) {
                auto& list = g_windows[size_t(t - 1)];
                if (list.empty()) continue;
                if (list.back()->serial != serial) {
                    ask(t);
                    settled = false;
                } else if (!list.back()->waitingForEvent || !list.back()->queue.empty()) {
                    settled = false;
                }
            }
            return settled;
        },
        50);
    return std::all_of(asked.begin(), asked.end(), [](const auto& a) { return g_windows[size_t(a.first - 1)].empty(); });
}

struct Metrics {
    int charWidth = 6;
    int charHeight = 13;
};

Metrics metrics() {
    QFontMetrics fm(QApplication::font());
    Metrics m;
    // The average width of the Latin letters, as the desktop computes its dialog base unit.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m.charWidth = std::max(1, (fm.horizontalAdvance(letters) / 26 + 1) / 2);
    m.charHeight = std::max(1, fm.height());
    return m;
}
}  // namespace

int dialogUnitsToPixelsX(int units) { return (units * metrics().charWidth + 2) / 4; }
int dialogUnitsToPixelsY(int units) { return (units * metrics().charHeight + 4) / 8; }

std::vector<WindowPrivate*>& windowsOfThread(int thread) {
    assert(thread >= 1 && thread <= kThreadSlots);
    return g_windows[size_t(thread - 1)];
}

void closeWindowsOfThread(int thread) {
    auto& list = windowsOfThread(thread);
    while (!list.empty()) list.back()->closeNow();
}

WindowPrivate* frameInternals() { return g_frame; }

QWidget* dialogParentFor(int thread) {
    auto& list = windowsOfThread(threadOrCurrent(thread));
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if ((*it)->open && (*it)->placed()) return (*it)->frame ? static_cast<QWidget*>((*it)->frame) : (*it)->client;
    return g_frame ? g_frame->frame.data() : nullptr;
}

// ---- toolkit widgets ---------------------------------------------------------------------------

ClientWidget::ClientWidget(WindowPrivate* owner, QSize designed) : m_owner(owner), m_designed(designed) {}

void ClientWidget::closeEvent(QCloseEvent* event) {
    // The procedure decides when its window closes: the close box only asks.
    event->ignore();
    if (m_owner && m_owner->open) {
        m_owner->takeEdits(false);
        m_owner->push({kEventCloseWindow, 0, 0, 0});
    }
}

void ClientWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // EVENT:Sized tells the procedure of a size the user (or a placement) gave the window after it
    // was shown; the sizes the window takes while it is being set up are not news to anyone.
    if (!m_owner || !m_owner->open || !m_owner->shown) return;
    if (size() == m_owner->reportedSize) return;
    m_owner->reportedSize = size();
    for (const QueuedEvent& e : m_owner->queue)
        if (e.event == kEventSized) return;
    m_owner->push({kEventSized, 0, 0, 0});
}

void ClientWidget::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (m_owner && m_owner->open && plain) {
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_owner->pressButton(false)) return;
        if (key == Qt::Key_Escape && m_owner->pressButton(true)) return;
    }
    QWidget::keyPressEvent(event);
}

void keepShown(QWidget* window) {
    if (!window || !window->isMinimized()) return;
    WindowPrivate* f = frameInternals();
    if (f && f->frame && f->frame->isMinimized()) return;
    QPointer<QWidget> w(window);
    QTimer::singleShot(0, window, [w] {
        if (!w || !w->isMinimized()) return;
        w->showNormal();
        w->raise();
        w->activateWindow();
    });
}

void ClientWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isWindow() && m_owner &&
        m_owner->def.kind == WindowKind::kDialog && !m_owner->def.resizable)
        keepShown(this);
    if (event->type() != QEvent::ActivationChange || !isWindow() || !isActiveWindow() || !m_owner) return;
    if (m_owner->firstActivation) {
        m_owner->firstActivation = false;  // the activation that showing the window asked for
        return;
    }
    m_owner->gainedFocus();
}

FrameWidget::FrameWidget(WindowPrivate* owner) : m_owner(owner), m_area(new QMdiArea(this)) {
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_area);
}

void FrameWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_owner && m_owner->open) m_owner->push({kEventCloseWindow, 0, 0, 0});
}

int keyCodeOf(int key, Qt::KeyboardModifiers modifiers) {
    int code = 0;
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        code = key;  // the same codes as the desktop's virtual keys
    } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        code = kF1Key + (key - Qt::Key_F1);
    } else {
        switch (key) {
            case Qt::Key_Backspace: code = kBackspaceKey; break;
            case Qt::Key_Tab: case Qt::Key_Backtab: code = kTabKey; break;
            case Qt::Key_Return: case Qt::Key_Enter: code = kEnterKey; break;
            case Qt::Key_Escape: code = kEscKey; break;
            case Qt::Key_Space: code = kSpaceKey; break;
            case Qt::Key_PageUp: code = kPgUpKey; break;
            case Qt::Key_PageDown: code = kPgDnKey; break;
            case Qt::Key_End: code = kEndKey; break;
            case Qt::Key_Home: code = kHomeKey; break;
            case Qt::Key_Left: code = kLeftKey; break;
            case Qt::Key_Up: code = kUpKey; break;
            case Qt::Key_Right: code = kRightKey; break;
            case Qt::Key_Down: code = kDownKey; break;
            case Qt::Key_Insert: code = kInsertKey; break;
            case Qt::Key_Delete: code = kDeleteKey; break;
            default: return 0;
        }
    }
    if (modifiers & Qt::ShiftModifier) code |= kShiftKey;
    if (modifiers & Qt::ControlModifier) code |= kCtrlKey;
    if (modifiers & Qt::AltModifier) code |= kAltKey;
    return code;
}

int characterOf(const QString& text) {
    if (text.isEmpty()) return 0;
    const QList<uint> points = text.toUcs4();
    return points.isEmpty() ? 0 : int(points.front());
}

bool AlertFilter::eventFilter(QObject* watched, QEvent* event) {
    if (!m_owner || !m_owner->open) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Alt+letter is offered to this window's own accelerators before the frame's menu bar
        // sees it: a form's "&Rating:" wins over the frame's "&Reports".
        auto* k = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
        const int key = k->key();
        const bool letter = (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9);
        if (letter && (mods == Qt::AltModifier || mods == (Qt::AltModifier | Qt::ShiftModifier)) &&
            m_owner->accelerate(QChar(key))) {
            // Taken: the key press that follows is not a shortcut of the frame, and not typed either.
            m_owner->swallowKey = key;
            event->accept();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress && m_owner->swallowKey) {
        auto* k = static_cast<QKeyEvent*>(event);
        const bool taken = k->key() == m_owner->swallowKey && (k->modifiers() & Qt::AltModifier);
        m_owner->swallowKey = 0;
        if (taken) return true;
    }
    if (event->type() == QEvent::FocusIn) {
        m_owner->showStatusOf(watched);
        return false;
    }
    if (m_owner->def.alertKeys.empty()) return false;
    int code = 0;
    int character = 0;
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(event);
            code = keyCodeOf(k->key(), k->modifiers());
            character = characterOf(k->text());
            break;
        }
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(event);
            code = m->button() == Qt::LeftButton ? kMouseLeft : m->button() == Qt::RightButton ? kMouseRight : kMouseCenter;
            break;
        }
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(event);
            code = m->button() == Qt::RightButton ? kMouseRight2 : kMouseLeft2;
            break;
        }
        default: return false;
    }
    // Keys and double-clicks inside an entry or a text keep their editing meaning there (Delete,
    // Insert, selecting a word); the window's alert keys are for its lists and buttons.
    for (QObject* o = watched; o; o = o->parent())
        if (qobject_cast<QLineEdit*>(o) || qobject_cast<QPlainTextEdit*>(o)) return false;
    const auto& keys = m_owner->def.alertKeys;
    if (code == 0 || std::find(keys.begin(), keys.end(), code) == keys.end()) return false;
    m_owner->push({kEventAlertKey, m_owner->controlNumberOf(watched), code, character});
    return true;
}

// ---- WindowPrivate -----------------------------------------------------------------------------

QWidget* WindowPrivate::placed() const {
    if (frame) return frame;
    if (sub) return sub;
    return client;
}

bool WindowPrivate::isTopLevel() const { return frame || (client && !sub); }

void WindowPrivate::push(QueuedEvent e) {
    if (!open) return;
    queue.push_back(e);
    wake(thread);
}

void WindowPrivate::pushTimer() {
    // Like the desktop's timer messages, ticks do not pile up behind a busy procedure.
    for (const QueuedEvent& e : queue)
        if (e.event == kEventTimer) return;
    push({kEventTimer, 0, 0, 0});
}

void WindowPrivate::block() {
    if (blockCount++ > 0) return;
    if (frame) {
        frame->menuBar()->setEnabled(false);
    } else if (client) {
        // A disabled widget passes the focus on to the next one, which may be in another window:
        // the focus is kept aside instead and given back when the box or form has gone.
        QWidget* focused = QApplication::focusWidget();
        if (focused && client->isAncestorOf(focused)) {
            focusBeforeBlock = focused;
            focused->clearFocus();
        } else {
            focusBeforeBlock = client->focusWidget();
        }
        client->setEnabled(false);
    }
}

void WindowPrivate::unblock() {
    if (blockCount == 0 || --blockCount > 0) return;
    if (frame) {
        frame->menuBar()->setEnabled(true);
    } else if (client) {
        client->setEnabled(true);
        if (client->isVisible()) {
            // Coming back from a window of its own procedure is no news for the procedure.
            quietActivation = true;
            if (sub && frameInternals() && frameInternals()->frame) frameInternals()->frame->area()->setActiveSubWindow(sub);
            client->activateWindow();
            if (focusBeforeBlock && focusBeforeBlock->isEnabled() && focusBeforeBlock->isVisible())
                focusBeforeBlock->setFocus(Qt::OtherFocusReason);
            quietActivation = false;
        }
        focusBeforeBlock = nullptr;
    }
    focusBeforeBlock = nullptr;
}

void WindowPrivate::gainedFocus() {
    if (!open || !shown || quietActivation || blockCount > 0) return;
    for (const QueuedEvent& e : queue)
        if (e.event == kEventGainFocus) return;
    push({kEventGainFocus, 0, 0, 0});
}

void WindowPrivate::showStatusOf(const QObject* focused) {
    const int n = controlNumberOf(focused);
    if (n < 1 || def.controls[size_t(n - 1)].status.empty()) return;
    QStatusBar* bar = frame ? frame->statusBar() : statusBarOf(this);
    if (!bar && frameInternals() && frameInternals()->frame) bar = frameInternals()->frame->statusBar();
    if (bar) bar->showMessage(QString::fromStdString(def.controls[size_t(n - 1)].status));
}

void WindowPrivate::show() {
    shown = true;
    if (client) reportedSize = client->size();
    QWidget* w = placed();
    if (!w) return;
    if (wantMinimized)
        w->showMinimized();
    else if (wantMaximized)
        w->showMaximized();
    else
        w->show();
    if (isTopLevel()) {
        w->raise();
        // A splash shows over the frame without taking the keyboard from it.
        if (def.kind != WindowKind::kSplash) w->activateWindow();
    } else if (sub && frameInternals() && frameInternals()->frame) {
        // A form called from a list opens in front of it, not behind the window that was active.
        quietActivation = true;
        frameInternals()->frame->area()->setActiveSubWindow(sub);
        sub->raise();
        quietActivation = false;
    }
}

void WindowPrivate::closeNow() {
    if (!open) return;
    open = false;
    queue.clear();
    if (timer) timer->stop();
    const bool wasActive = !frame && !sub && client && client->isActiveWindow();
    auto& list = windowsOfThread(thread);
    auto it = std::find(list.begin(), list.end(), this);
    bool wasCurrent = it != list.end() && it + 1 == list.end();
    if (it != list.end()) list.erase(it);
    if (g_frame == this) g_frame = nullptr;
    if (frame) frame->detach();
    if (client) client->detach();
    delete alertFilter;
    alertFilter = nullptr;
    // Delete later: the toolkit may still be delivering an event to one of these widgets.
    if (QWidget* w = placed()) {
        w->hide();
        w->deleteLater();
    }
    if (wasCurrent && !list.empty()) list.back()->unblock();
    // A window of its own that goes away last on its thread hands the keyboard back to the frame,
    // whatever the desktop does with the focus of a window that goes away, so that the frame's menus
    // answer their keys at once.
    else if (wasActive && g_frame && g_frame->frame && g_frame->frame->isVisible() &&
             QApplication::activeWindow() != g_frame->frame)
        g_frame->frame->activateWindow();
}

// ---- Window ------------------------------------------------------------------------------------

Window::Window(const WindowDef& definition) : m_d(std::make_unique<WindowPrivate>()) {
    WindowPrivate& d = *m_d;
    static unsigned long serials = 0;
    d.window = this;
    d.serial = ++serials;
    d.def = definition;
    d.thread = currentThread();
    d.alertFilter = new AlertFilter(&d);
    QSize size(dialogUnitsToPixelsX(d.def.width), dialogUnitsToPixelsY(d.def.height));

    auto& list = windowsOfThread(d.thread);
    if (!list.empty()) list.back()->block();  // a procedure called on the same thread: its caller waits

    if (d.def.kind == WindowKind::kFrame) {
        d.frame = new FrameWidget(&d);
        d.frame->setWindowTitle(QString::fromStdString(d.def.title));
        d.frame->resize(size);
        if (d.def.centered) {
            QRect screen = QApplication::primaryScreen()->availableGeometry();
            d.frame->move(screen.center() - QPoint(size.width() / 2, size.height() / 2));
        }
        if (d.def.statusBar) d.frame->statusBar()->showMessage(QString());
        if (!g_frame) g_frame = &d;
        // A child window the user activates (a click on it, Ctrl+Tab, the Window menu) gets
        // EVENT:GainFocus, so that a list shows what other windows did meanwhile.
        QObject::connect(d.frame->area(), &QMdiArea::subWindowActivated, d.alertFilter, [](QMdiSubWindow* active) {
            if (!active) return;
            for (auto& list : g_windows)
                for (WindowPrivate* w : list)
                    if (w->sub == active) w->gainedFocus();
        });
    } else {
        d.client = new ClientWidget(&d, size);
        d.client->setWindowTitle(QString::fromStdString(d.def.title));
        d.client->installEventFilter(d.alertFilter);
        d.designedSize = size;
        if (d.def.resizable) {
            d.client->resize(size);
            // Below its designed size the controls would overlap or be cut off.
            d.client->setMinimumSize(size);
        } else {
            d.client->setFixedSize(size);
        }
        FrameWidget* f = g_frame ? g_frame->frame.data() : nullptr;
        if (d.def.kind == WindowKind::kMdiChild && f) {
            d.client->setAttribute(Qt::WA_DeleteOnClose, false);
            d.sub = f->area()->addSubWindow(d.client);
            d.sub->setAttribute(Qt::WA_DeleteOnClose, false);
            d.sub->setWindowTitle(QString::fromStdString(d.def.title));
            if (!d.def.resizable) {
                d.sub->setWindowFlags(d.sub->windowFlags() & ~Qt::WindowMaximizeButtonHint);
                d.sub->adjustSize();
                d.sub->setFixedSize(d.sub->size());
            } else {
                d.sub->adjustSize();
            }
            if (d.def.centered) {
                QSize area = f->area()->viewport()->size();
                d.sub->move(std::max(0, (area.width() - d.sub->width()) / 2), std::max(0, (area.height() - d.sub->height()) / 2));
            } else if (d.def.x != 0 || d.def.y != 0) {
                d.sub->move(dialogUnitsToPixelsX(d.def.x), dialogUnitsToPixelsY(d.def.y));
            }  // else the area finds it a free place, so a second copy does not hide the first
        } else {
            Qt::WindowFlags flags = Qt::Window;
            if (d.def.kind == WindowKind::kSplash) {
                flags = Qt::SplashScreen | Qt::FramelessWindowHint;
                d.client->setAttribute(Qt::WA_ShowWithoutActivating);
            }
            else if (d.def.kind == WindowKind::kDialog && d.def.resizable) flags = Qt::Dialog;
            else if (d.def.kind == WindowKind::kDialog)  // a fixed dialog has nothing to minimise or maximise
                flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
            d.client->setParent(f, flags);
            QRect area = (f ? f->geometry() : QApplication::primaryScreen()->availableGeometry());
            if (d.def.centered || d.def.kind == WindowKind::kSplash || !f) {
                d.client->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
            } else {
                d.client->move(area.topLeft() + QPoint(dialogUnitsToPixelsX(d.def.x), dialogUnitsToPixelsY(d.def.y)));
            }
        }
    }
    d.buildControls();
    layOutBars(&d);
    d.wantMaximized = d.def.maximized;
    list.push_back(&d);
    if (d.def.timer > 0) setTimer(d.def.timer);
    d.queue.push_back({kEventOpenWindow, 0, 0, 0});
}

Window::~Window() { m_d->closeNow(); }

bool Window::waitForEvent() {
    WindowPrivate& d = *m_d;
    clearCurrentEvent();
    while (true) {
        if (!d.open || d.loopEnded) return false;
        if (d.endAfterCurrent) {
            d.endAfterCurrent = false;
            if (!(d.frame && g_frame == &d) || closeOtherThreads(d)) {
                // The loop ends; the window stays until the procedure closes it (or returns), so it
                // can still save its placement.
                d.loopEnded = true;
                return false;
            }
        }
        if (!d.shown) d.show();
        if (d.queue.empty()) {
            d.waitingForEvent = true;
            waitUntil([&] { return !d.open || !d.queue.empty(); });
            d.waitingForEvent = false;
            continue;
        }
        QueuedEvent e = d.queue.front();
        d.queue.pop_front();
        setCurrentEvent(e.event, e.control, e.keyCode, e.keyChar);
        if (e.event == kEventCloseWindow || e.event == kEventCloseDown) d.endAfterCurrent = true;
        return true;
    }
}

void Window::close() { m_d->closeNow(); }
void Window::keepOpen() { m_d->endAfterCurrent = false; }
bool Window::isOpen() const { return m_d->open; }
void Window::post(int event, int control) { m_d->push({event, control, 0, 0}); }

void Window::setTitle(std::string_view title) {
    m_d->def.title = std::string(title);
    QString t = QString::fromUtf8(title.data(), qsizetype(title.size()));
    if (m_d->frame) m_d->frame->setWindowTitle(t);
    if (m_d->client) m_d->client->setWindowTitle(t);
    if (m_d->sub) m_d->sub->setWindowTitle(t);
}

void Window::setTimer(int hundredths) {
    WindowPrivate& d = *m_d;
    d.timerValue = std::max(0, hundredths);
    if (d.timerValue == 0) {
        if (d.timer) d.timer->stop();
        return;
    }
    if (!d.timer) {
        d.timer = new QTimer(d.placed());
        d.timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(d.timer, &QTimer::timeout, d.alertFilter, [&d] { d.pushTimer(); });
    }
    d.timer->start(d.timerValue * 10);
}

int Window::timer() const { return m_d->timerValue; }

void Window::setStatusText(std::string_view text) {
    // A window with a status bar of its own shows the text there; the frame's speaks for the others.
    QStatusBar* bar = m_d->frame ? m_d->frame->statusBar() : statusBarOf(m_d.get());
    if (!bar && frameInternals() && frameInternals()->frame) bar = frameInternals()->frame->statusBar();
    if (bar) bar->showMessage(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void Window::tileChildren() {
    if (m_d->frame) m_d->frame->area()->tileSubWindows();
}
void Window::cascadeChildren() {
    if (m_d->frame) m_d->frame->area()->cascadeSubWindows();
}
void Window::arrangeIcons() {
    // Lines the minimised child windows up along the bottom edge of the area, left to right.
    if (!m_d->frame) return;
    QMdiArea* area = m_d->frame->area();
    int x = 0;
    int bottom = area->viewport()->height();
    for (QMdiSubWindow* s : area->subWindowList()) {
        if (!s->isMinimized()) continue;
        s->move(x, bottom - s->height());
        x += s->width();
    }
}

void Window::setWaitCursor() {
    if (QWidget* w = m_d->placed()) w->setCursor(Qt::WaitCursor);
}
void Window::restoreCursor() {
    if (QWidget* w = m_d->placed()) w->unsetCursor();
}

const WindowDef& Window::definition() const { return m_d->def; }
int Window::thread() const { return m_d->thread; }

// ---- placement ---------------------------------------------------------------------------------

bool Window::isMaximized() const {
    QWidget* w = m_d->placed();
    if (!m_d->shown || !w) return m_d->wantMaximized;
    return w->isMaximized();
}

bool Window::isMinimized() const {
    QWidget* w = m_d->placed();
    if (!m_d->shown || !w) return m_d->wantMinimized;
    return w->isMinimized();
}

bool Window::isResizable() const { return m_d->def.resizable || m_d->def.kind == WindowKind::kFrame; }

void Window::showNormalState() {
    WindowPrivate& d = *m_d;
    d.wantMaximized = false;
    QWidget* w = d.placed();
    if (!d.shown || !w || !w->isMaximized()) return;
    if (d.isTopLevel()) d.normalRect = w->normalGeometry();  // the window manager moves it later
    w->setWindowState(w->windowState() & ~Qt::WindowMaximized);
}

void Window::showMaximizedState() {
    WindowPrivate& d = *m_d;
    d.normalRect.reset();
    d.wantMaximized = true;
    d.wantMinimized = false;
    if (d.shown && d.placed()) d.placed()->showMaximized();
}

void Window::showMinimizedState() {
    m_d->wantMinimized = true;
    if (m_d->shown && m_d->placed()) m_d->placed()->showMinimized();
}

namespace {
QRect placementRect(const WindowPrivate& d) {
    if (d.normalRect && d.normalRect->isValid()) return *d.normalRect;
    QWidget* w = d.placed();
    if (!w) return {};
    if (d.isTopLevel() && (w->isMaximized() || w->isMinimized()) && w->normalGeometry().isValid())
        return w->normalGeometry();
    return w->geometry();
}
}  // namespace

int Window::placementX() const { return placementRect(*m_d).x(); }
int Window::placementY() const { return placementRect(*m_d).y(); }
int Window::placementWidth() const { return placementRect(*m_d).width(); }
int Window::placementHeight() const { return placementRect(*m_d).height(); }

namespace {
// Where a window may stand: a child window in the frame's area, a window of its own on the screen
// that holds (or is nearest to) the place asked for.
QRect placementBounds(const WindowPrivate& d, QPoint wanted) {
    if (d.sub && frameInternals() && frameInternals()->frame) {
        QSize area = frameInternals()->frame->area()->viewport()->size();
        return QRect(QPoint(0, 0), area.expandedTo(QSize(1, 1)));
    }
    QScreen* screen = QGuiApplication::screenAt(wanted);
    if (!screen) {
        // Off every screen: the nearest one.
        long best = -1;
        for (QScreen* s : QGuiApplication::screens()) {
            QRect g = s->availableGeometry();
            long dx = wanted.x() < g.left() ? g.left() - wanted.x() : wanted.x() > g.right() ? wanted.x() - g.right() : 0;
            long dy = wanted.y() < g.top() ? g.top() - wanted.y() : wanted.y() > g.bottom() ? wanted.y() - g.bottom() : 0;
            if (best < 0 || dx + dy < best) {
                best = dx + dy;
                screen = s;
            }
        }
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    QRect bounds = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The placement is of the window's inside: its title bar and border must fit on the screen too.
    // The desktop says how wide they are only once a window is shown, so a title bar's height and a
    // few pixels stand for them, always the same, so that a placement saved is restored unchanged.
    const QMargins frame(4, QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4, 4, 4);
    return bounds.marginsRemoved(frame);
}
}  // namespace

void Window::setPlacement(int x, int y, int width, int height) {
    m_d->normalRect.reset();
    QWidget* w = m_d->placed();
    if (!w) return;
    // A placement read from the settings may be anything: it is kept to a size the window can have
    // and a place where it can be seen.
    const QRect bounds = placementBounds(*m_d, QPoint(x, y));
    const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize()).expandedTo(QSize(1, 1));
    width = std::clamp(width, std::min(least.width(), bounds.width()), std::max(bounds.width(), least.width()));
    height = std::clamp(height, std::min(least.height(), bounds.height()), std::max(bounds.height(), least.height()));
    x = std::clamp(x, bounds.left(), std::max(bounds.left(), bounds.left() + bounds.width() - width));
    y = std::clamp(y, bounds.top(), std::max(bounds.top(), bounds.top() + bounds.height() - height));
    w->setGeometry(x, y, width, height);
}

// ---- posting -----------------------------------------------------------------------------------

void postEvent(int event, int control, int thread) {
    thread = threadOrCurrent(thread);
    if (thread < 1 || thread > kThreadSlots) return;
    auto& list = windowsOfThread(thread);
    if (list.empty()) return;  // no window: nothing happens
    list.back()->push({event, control, 0, 0});
}

Window* currentWindow(int thread) {
    thread = threadOrCurrent(thread);
    if (thread < 1 || thread > kThreadSlots) return nullptr;
    auto& list = windowsOfThread(thread);
    return list.empty() ? nullptr : list.back()->window;
}

Window* frameWindow() { return g_frame ? g_frame->window : nullptr; }

}  // namespace sitedex::ui
