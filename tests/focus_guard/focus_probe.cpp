// A window of the class given as its argument, that asks the window manager to make it
// the active window and then waits to be killed: another application for the focus tests.
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
    free(reply);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 320, 200, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    // The instance name, then the class, each ended by a NUL.
    char wmClass[256] = "focusprobe";
    const std::size_t classLength = std::strlen(argv[1]);
    if (classLength + 12 > sizeof wmClass)
        return 2;
    std::memcpy(wmClass + 11, argv[1], classLength + 1);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
        uint32_t(11 + classLength + 1), wmClass);
    const char title[] = "Focus probe";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
        sizeof title - 1, title);
    const uint32_t pid = getpid();
    xcb_change_property(
        c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(c, window);

    // Source 2 (a pager) so the window manager's focus-stealing prevention does not refuse it.
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(c, "_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2;
    xcb_send_event(c, 0, screen->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c))
        free(event);
    return 0;
}
