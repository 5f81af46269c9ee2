// The menu bar and status bar of windows other than the frame, and the status-bar zones and menu
// check marks of every window.
#include "ui/window_chrome.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "ui/window_chrome_private.h"
#include "ui/window_private.h"

namespace sitedex::ui {

namespace {

const char* const kMenuBarName = "sitedex-menubar";
const char* const kStatusBarName = "sitedex-statusbar";
const char* const kTopProperty = "sitedexBarsTop";
const char* const kBottomProperty = "sitedexBarsBottom";

QMenuBar* ownMenuBar(const WindowPrivate* d) {
    return d->client ? d->client->findChild<QMenuBar*>(kMenuBarName, Qt::FindDirectChildrenOnly) : nullptr;
}

// Keeps the bars along the client's edges and shows the menu items' status texts.
class BarsKeeper : public QObject {
public:
    BarsKeeper(QWidget* client, QMenuBar* menu, QStatusBar* status)
        : QObject(client), m_client(client), m_menu(menu), m_status(status) {}

    void place() {
        const int top = m_client->property(kTopProperty).toInt();
        const int bottom = m_client->property(kBottomProperty).toInt();
        if (m_menu)
            m_menu->setGeometry(0, 0, m_client->width(), top);
        if (m_status)
            m_status->setGeometry(0, m_client->height() - bottom, m_client->width(), bottom);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_client) {
            if (event->type() == QEvent::Resize)
                place();
            if (event->type() == QEvent::StatusTip && m_status) {
                m_status->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
                return true;
            }
        }
        return false;
    }

private:
    QWidget* m_client;
    QPointer<QMenuBar> m_menu;
    QPointer<QStatusBar> m_status;
};

QStatusBar* statusBarOfWindow(const Window& window) {
    return statusBarOf(window.internals());
}

QLabel* zoneLabel(QStatusBar* bar, int zone, bool make) {
    const QString name = QStringLiteral("zone%1").arg(zone);
    if (auto* label = bar->findChild<QLabel*>(name))
        return label;
    if (!make)
        return nullptr;
    // Zones stand in order: the ones before this one are made first, empty.
    for (int z = 2; z < zone; ++z)
        zoneLabel(bar, z, true);
    auto* label = new QLabel(bar);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(6, 0, 6, 0);
    bar->addPermanentWidget(label);
    return label;
}

QAction* actionOf(const Window& window, int item) {
    const WindowPrivate* d = window.internals();
    if (item < 1 || size_t(item) > d->controls.size())
        return nullptr;
    return qobject_cast<QAction*>(d->controls[size_t(item - 1)].data());
}

}  // namespace

QMenuBar* menuBarOf(WindowPrivate* d) {
    if (d->frame)
        return d->frame->menuBar();
    if (!d->client)
        return nullptr;
    if (QMenuBar* bar = ownMenuBar(d))
        return bar;
    auto* bar = new QMenuBar(d->client);
    bar->setObjectName(kMenuBarName);
    bar->setNativeMenuBar(false);
    return bar;
}

QStatusBar* statusBarOf(const WindowPrivate* d) {
    if (d->frame)
        return d->def.statusBar ? d->frame->statusBar() : nullptr;
    return d->client ? d->client->findChild<QStatusBar*>(kStatusBarName, Qt::FindDirectChildrenOnly) : nullptr;
}

int barsTop(const WindowPrivate* d) {
    return d->client ? d->client->property(kTopProperty).toInt() : 0;
}
int barsBottom(const WindowPrivate* d) {
    return d->client ? d->client->property(kBottomProperty).toInt() : 0;
}

void layOutBars(WindowPrivate* d) {
    if (d->frame || !d->client)
        return;
    QWidget* client = d->client;
    QMenuBar* menu = ownMenuBar(d);
    QStatusBar* status = nullptr;
    if (d->def.statusBar) {
        status = new QStatusBar(client);
        status->setObjectName(kStatusBarName);
        status->setSizeGripEnabled(false);
    }
    if (!menu && !status)
        return;
    const int top = menu ? menu->sizeHint().height() : 0;
    const int bottom = status ? status->sizeHint().height() : 0;
    client->setProperty(kTopProperty, top);
    client->setProperty(kBottomProperty, bottom);
    for (QObject* child : client->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w == menu || w == status || w->isWindow())
            continue;
        w->move(w->x(), w->y() + top);
    }
    const QSize grown(client->width(), client->height() + top + bottom);
    if (client->minimumSize() == client->maximumSize()) {
        client->setFixedSize(grown);
    } else {
        client->resize(grown);
    }
    if (d->sub) {
        const bool fixed = d->sub->minimumSize() == d->sub->maximumSize();
        d->sub->setMinimumSize(0, 0);
        d->sub->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        d->sub->adjustSize();
        if (fixed)
            d->sub->setFixedSize(d->sub->size());
    }
    auto* keeper = new BarsKeeper(client, menu, status);
    client->installEventFilter(keeper);
    keeper->place();
    if (menu)
        menu->raise();
    if (status)
        status->raise();
}

void setStatusZone(Window& window, int zone, std::string_view text) {
    QStatusBar* bar = statusBarOfWindow(window);
    if (!bar || zone < 1)
        return;
    const QString t = QString::fromUtf8(text.data(), qsizetype(text.size()));
    if (zone == 1)
        bar->showMessage(t);
    else
        zoneLabel(bar, zone, true)->setText(t);
}

std::string statusZone(const Window& window, int zone) {
    QStatusBar* bar = statusBarOfWindow(window);
    if (!bar || zone < 1)
        return {};
    if (zone == 1)
        return bar->currentMessage().toStdString();
    QLabel* label = zoneLabel(bar, zone, false);
    return label ? label->text().toStdString() : std::string();
}

void setItemChecked(Window& window, int item, bool checked) {
    if (QAction* a = actionOf(window, item)) {
        a->setCheckable(true);
        a->setChecked(checked);
    }
}

bool itemChecked(const Window& window, int item) {
    QAction* a = actionOf(window, item);
    return a && a->isChecked();
}

void useFixedPitchFont(Window& window, int control) {
    if (QWidget* w = window.internals()->widgetOf(control)) {
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setFamilies({QStringLiteral("Liberation Mono"), f.family()});
        f.setStyleHint(QFont::Monospace);
        w->setFont(f);
    }
}

}  // namespace sitedex::ui

namespace sitedex::ui {
void commitTypedValues(Window& window) {
    for (const QPointer<QObject>& o : window.internals()->controls)
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(o.data()))
            spin->interpretText();
}
}  // namespace sitedex::ui
