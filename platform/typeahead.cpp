#include "platform/typeahead.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <deque>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

#if QT_CONFIG(xcb)
/// The X11 half: key events the X server sent the window while the box
/// waited for the focus, held and sent again to the box, in order. One for
/// the program, installed with its first box: a key sent again may come back
/// after the box that was to have it has gone, and is then the window's.
class X11Relay : public QAbstractNativeEventFilter
{
public:
    static X11Relay *instance()
    {
        auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11)
            return nullptr; // another platform (offscreen, Wayland)
        static X11Relay relay(x11->connection());
        return &relay;
    }

    void begin(xcb_window_t window, xcb_window_t box)
    {
        m_window = window;
        m_box = box;
        m_boxFocused = false;
        m_handedOver = false;
    }
    /// The keys taken in by the toolkit are in the box: these may follow.
    void handedOver()
    {
        m_handedOver = true;
        send();
    }
    void end()
    {
        m_box = XCB_WINDOW_NONE;
        send();
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<xcb_generic_event_t *>(message);
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_FOCUS_IN) {
            const auto *focus = reinterpret_cast<xcb_focus_in_event_t *>(event);
            // As the toolkit: the focus only passing under the pointer is no focus.
            if (m_box && focus->event == m_box && focus->detail != XCB_NOTIFY_DETAIL_POINTER) {
                m_boxFocused = true;
                send();
            }
            return false;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            return false;
        auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
        const bool sentAgain = (event->response_type & 0x80) && m_echoes > 0;
        if (sentAgain) {
            --m_echoes;
            if (key->event == m_box || key->event == m_window)
                return false;
            // Meant for a box that has gone: the window's, before any held after it.
            m_held.emplace_front(reinterpret_cast<const char *>(key), int(sizeof *key));
            send();
            return true;
        }
        const bool early = m_box && !m_boxFocused && isWithin(key->event, m_window);
        if (!early && m_echoes == 0 && m_held.empty())
            return false;
        // Behind the ones held before it, whichever window it came to.
        m_held.emplace_back(reinterpret_cast<const char *>(key), int(sizeof *key));
        send();
        return true;
    }

private:
    /// True when X window `id` is `top` or one of the native windows inside
    /// it: the server names the window under the pointer, where it is one.
    static bool isWithin(xcb_window_t id, xcb_window_t top)
    {
        if (id == top)
            return true;
        for (QWindow *window : QGuiApplication::allWindows()) {
            // (winId() would make a native window of one that has none.)
            if (!window->handle() || xcb_window_t(window->winId()) != id)
                continue;
            while (window->parent() && window->parent()->handle())
                window = window->parent();
            return xcb_window_t(window->winId()) == top;
        }
        return false;
    }

    explicit X11Relay(xcb_connection_t *connection) : m_connection(connection)
    {
        qApp->installNativeEventFilter(this);
    }

    /// Where held keys go now: the box once it has the focus and the keys
    /// before them; the window when there is no box; nowhere yet otherwise.
    xcb_window_t destination() const
    {
        if (!m_box)
            return m_window;
        return m_boxFocused && m_handedOver ? m_box : xcb_window_t(XCB_WINDOW_NONE);
    }

    void send()
    {
        const xcb_window_t to = destination();
        if (!to || m_held.empty())
            return;
        for (QByteArray &bytes : m_held) {
            auto *key = reinterpret_cast<xcb_key_press_event_t *>(bytes.data());
            key->event = to;
            key->response_type &= 0x7f;
            // No event mask: the server gives it to the window's own client, this one.
            xcb_send_event(m_connection, 0, to, XCB_EVENT_MASK_NO_EVENT, bytes.constData());
            ++m_echoes;
        }
        m_held.clear();
        xcb_flush(m_connection);
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_window_t m_box = XCB_WINDOW_NONE;
    bool m_boxFocused = false;
    bool m_handedOver = false;
    std::deque<QByteArray> m_held;
    int m_echoes = 0;
};
#endif

bool isPointerInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<QKeyEvent> copyOf(const QKeyEvent *key)
{
    auto copy = std::make_unique<QKeyEvent>(key->type(), key->key(), key->modifiers(), key->nativeScanCode(),
                                            key->nativeVirtualKey(), key->nativeModifiers(), key->text(),
                                            key->isAutoRepeat(), ushort(key->count()));
    copy->setTimestamp(key->timestamp());
    return copy;
}

} // namespace

TypeAhead::TypeAhead(QWidget *window, QWidget *box) : m_window(window), m_box(box)
{
    if (!window || !box)
        return;
#if QT_CONFIG(xcb)
    if (X11Relay *relay = X11Relay::instance()) {
        m_x11 = true;
        relay->begin(xcb_window_t(window->window()->winId()), xcb_window_t(box->winId()));
    }
#endif
    // The keys the toolkit has already taken in for the window come now,
    // while it is not blocked yet: they are taken, and so is any click
    // (which the box would have blocked), so that no other command runs.
    qApp->installEventFilter(this);
    QCoreApplication::processEvents();
    // The box's own event loop hands them over, once the box is shown.
    QMetaObject::invokeMethod(this, &TypeAhead::handOver, Qt::QueuedConnection);
}

TypeAhead::~TypeAhead()
{
    if (m_taking)
        handOver(); // the box was never shown: the keys are the window's again
#if QT_CONFIG(xcb)
    if (m_x11)
        X11Relay::instance()->end();
#endif
}

bool TypeAhead::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_taking || !m_window)
        return false;
    // Each key comes to the window's QWindow first: taken there, no control
    // of the window sees it.
    auto *surface = qobject_cast<QWindow *>(watched);
    if (!surface || surface != m_window->window()->windowHandle())
        return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::ShortcutOverride) {
        event->accept(); // so it comes as a plain press, and is taken
        return true;
    }
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        m_taken.push_back(copyOf(static_cast<QKeyEvent *>(event)));
        return true;
    }
    if (type == QEvent::Close) {
        event->ignore(); // as a blocked window's close is
        return true;
    }
    return isPointerInput(type);
}

void TypeAhead::handOver()
{
    if (!m_taking)
        return;
    m_taking = false;
    qApp->removeEventFilter(this);
    for (std::unique_ptr<QKeyEvent> &key : m_taken) {
        if (m_box && m_box->isVisible()) {
            // A Return among them may close the box: each goes where the focus is now.
            QWidget *to = m_box->focusWidget() ? m_box->focusWidget() : m_box.data();
            QCoreApplication::sendEvent(to, key.get());
        } else if (m_window) {
            // The box has gone: the rest was typed for the window, after the command.
            QWidget *to = m_window->focusWidget() ? m_window->focusWidget() : m_window.data();
            QCoreApplication::postEvent(to, copyOf(key.get()).release());
        }
    }
    m_taken.clear();
#if QT_CONFIG(xcb)
    if (m_x11)
        X11Relay::instance()->handedOver();
#endif
}
