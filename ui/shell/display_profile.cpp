#include "ui/shell/display_profile.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace vividra {

QByteArray displayProfile() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return {};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const char name[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (!screen || !atom || atom->atom == XCB_ATOM_NONE) {
        std::free(atom);
        return {};
    }
    // Profiles are kilobytes; sixteen megabytes is past any real one.
    xcb_get_property_reply_t* property = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, screen->root, atom->atom, XCB_ATOM_ANY, 0, 4 << 20),
        nullptr);
    std::free(atom);
    QByteArray profile;
    if (property && property->format == 8)
        profile = QByteArray(static_cast<const char*>(xcb_get_property_value(property)),
                             xcb_get_property_value_length(property));
    std::free(property);
    return profile;
}

} // namespace vividra
