#include "X11Taskbar.h"

#include <QGuiApplication>
#include <QWidget>

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

// The few libxcb entry points used, with their ABI spelled out so that no
// xcb header or link dependency is needed.
struct XcbAtomCookie { unsigned int sequence; };
struct XcbAtomReply { uint8_t response_type, pad0; uint16_t sequence; uint32_t length; uint32_t atom; };
struct XcbPropertyCookie { unsigned int sequence; };
struct XcbPropertyReply {
    uint8_t response_type, format; uint16_t sequence; uint32_t length, type, bytes_after, value_len;
    uint8_t pad0[12];
};

struct Xcb {
    XcbAtomCookie (*internAtom)(void *, uint8_t, uint16_t, const char *);
    XcbAtomReply *(*internAtomReply)(void *, XcbAtomCookie, void **);
    XcbPropertyCookie (*getProperty)(void *, uint8_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    XcbPropertyReply *(*getPropertyReply)(void *, XcbPropertyCookie, void **);
    void *(*propertyValue)(const XcbPropertyReply *);
    unsigned int (*changeProperty)(void *, uint8_t, uint32_t, uint32_t, uint32_t, uint8_t, uint32_t, const void *);
    int (*flush)(void *);
    bool ok = false;
};

const Xcb &xcb()
{
    static const Xcb api = [] {
        Xcb x{};
        void *lib = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
        if (!lib)
            return x;
        auto load = [lib](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
            return fn != nullptr;
        };
        x.ok = load(x.internAtom, "xcb_intern_atom") && load(x.internAtomReply, "xcb_intern_atom_reply")
            && load(x.getProperty, "xcb_get_property") && load(x.getPropertyReply, "xcb_get_property_reply")
            && load(x.propertyValue, "xcb_get_property_value") && load(x.changeProperty, "xcb_change_property")
            && load(x.flush, "xcb_flush");
        return x;
    }();
    return api;
}

uint32_t atom(void *connection, const char *name)
{
    XcbAtomReply *reply = xcb().internAtomReply(connection, xcb().internAtom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t value = reply ? reply->atom : 0;
    std::free(reply);
    return value;
}

} // namespace

void setSkipTaskbar(QWidget *window)
{
#if QT_CONFIG(xcb)
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !xcb().ok)
        return;
    void *connection = x11->connection();
    const uint32_t wmState = atom(connection, "_NET_WM_STATE");
    const uint32_t skip = atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const uint32_t atomType = 4; // XCB_ATOM_ATOM
    if (!wmState || !skip)
        return;
    const auto id = uint32_t(window->winId());
    XcbPropertyReply *reply = xcb().getPropertyReply(connection, xcb().getProperty(connection, 0, id, wmState, atomType, 0, 1024), nullptr);
    bool present = false;
    if (reply && reply->format == 32) {
        const auto *atoms = static_cast<const uint32_t *>(xcb().propertyValue(reply));
        for (uint32_t i = 0; i < reply->value_len; ++i)
            present = present || atoms[i] == skip;
    }
    std::free(reply);
    if (!present) {
        const uint8_t append = 2; // XCB_PROP_MODE_APPEND
        xcb().changeProperty(connection, append, id, wmState, atomType, 32, 1, &skip);
        xcb().flush(connection);
    }
#else
    Q_UNUSED(window);
#endif
}
