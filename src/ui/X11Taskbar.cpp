#include "X11Taskbar.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(ORVANTA_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const ReplyPtr<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

void setSkipTaskbar(QWidget *window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t *connection = x11->connection();
    const xcb_atom_t wmState = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skip = internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (wmState == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    const auto id = xcb_window_t(window->winId());
    // Qt merges its own states into the property when it maps the window,
    // so an entry added here survives; add it only once.
    const ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, id, wmState, XCB_ATOM_ATOM, 0, 1024), nullptr),
        &std::free);
    if (reply && reply->format == 32) {
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
        for (int i = 0; i < count; ++i)
            if (atoms[i] == skip)
                return;
    }
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, wmState, XCB_ATOM_ATOM, 32, 1, &skip);
    xcb_flush(connection);
}

#else

void setSkipTaskbar(QWidget *) {}

#endif
