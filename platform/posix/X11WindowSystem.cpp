#include "platform/posix/Posix.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#if defined(TW_HAVE_XCB) && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#define TW_USE_XCB 1
#endif

namespace tw::platform {

namespace {

WindowHandle topLevelHandle(QWidget* widget) {
    if (!widget)
        return 0;
    return static_cast<WindowHandle>(widget->window()->winId());
}

// Whatever the platform: the program can at least ask for its own windows
// to stay on top. Other programs' windows are out of reach.
class HintWindowSystem final : public WindowSystem {
public:
    explicit HintWindowSystem(QString limitation) : limitation_(std::move(limitation)) {}

    WindowHandle handleOf(QWidget* window) override { return topLevelHandle(window); }

    WindowHandle foregroundWindow() override {
        const QWindow* focus = QGuiApplication::focusWindow();
        return focus ? static_cast<WindowHandle>(focus->winId()) : 0;
    }

    void setTopMost(WindowHandle window, bool topMost) override {
        if (window == 0)
            return;
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget* widget : widgets) {
            // internalWinId() does not create a native window for the others.
            if (static_cast<WindowHandle>(widget->internalWinId()) != window)
                continue;
            if (widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topMost)
                return;
            // Changing the flags recreates the native window: it hides a shown
            // window and may shift it by its frame. Keep both as they were.
            const bool wasVisible = widget->isVisible();
            const QRect geometry = widget->geometry();
            widget->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
            if (widget->geometry() != geometry)
                widget->setGeometry(geometry);
            if (wasVisible && !widget->isVisible()) {
                // Shown again where it was, without taking the keyboard.
                const bool quiet = widget->testAttribute(Qt::WA_ShowWithoutActivating);
                widget->setAttribute(Qt::WA_ShowWithoutActivating);
                widget->show();
                widget->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
            }
            return;
        }
    }

    // Only the program's own windows are within reach: nothing to place.
    void placeBelow(WindowHandle, WindowHandle) override {}

    QString limitation() const override { return limitation_; }

private:
    QString limitation_;
};

#ifdef TW_USE_XCB

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> XcbReply<T> takeReply(T* reply) {
    return XcbReply<T>(reply, &std::free);
}

// Extended Window Manager Hints over the application's own xcb connection.
class EwmhWindowSystem final : public WindowSystem {
public:
    struct Atoms {
        xcb_atom_t activeWindow = XCB_ATOM_NONE;
        xcb_atom_t wmState = XCB_ATOM_NONE;
        xcb_atom_t wmStateAbove = XCB_ATOM_NONE;
        xcb_atom_t supportingWmCheck = XCB_ATOM_NONE;
        xcb_atom_t supported = XCB_ATOM_NONE;
        xcb_atom_t restackWindow = XCB_ATOM_NONE; // XCB_ATOM_NONE: not supported
    };

    // nullptr with `why` filled in when the window manager does not offer
    // what the keeper needs.
    static std::unique_ptr<WindowSystem> create(xcb_connection_t* connection, QString& why) {
        if (!connection || xcb_connection_has_error(connection)) {
            why = QStringLiteral("no usable X11 connection");
            return nullptr;
        }
        const xcb_window_t root = defaultRoot(connection);
        if (root == XCB_WINDOW_NONE) {
            why = QStringLiteral("no X11 root window");
            return nullptr;
        }
        Atoms atoms = internAtoms(connection);
        if (atoms.wmStateAbove == XCB_ATOM_NONE || atoms.supported == XCB_ATOM_NONE) {
            why = QStringLiteral("the X11 atoms of EWMH are not available");
            return nullptr;
        }
        // EWMH: the root names a check window, and that window names itself.
        const auto check = windowProperty(connection, root, atoms.supportingWmCheck);
        if (check == XCB_WINDOW_NONE ||
            windowProperty(connection, check, atoms.supportingWmCheck) != check) {
            why = QStringLiteral("no EWMH window manager is running");
            return nullptr;
        }
        const auto supported = atomListProperty(connection, root, atoms.supported);
        const auto offers = [&](xcb_atom_t atom) {
            for (const xcb_atom_t s : supported) {
                if (s == atom)
                    return true;
            }
            return false;
        };
        if (!offers(atoms.wmState) || !offers(atoms.wmStateAbove)) {
            why = QStringLiteral("the window manager does not support _NET_WM_STATE_ABOVE");
            return nullptr;
        }
        if (!offers(atoms.restackWindow))
            atoms.restackWindow = XCB_ATOM_NONE;
        return std::make_unique<EwmhWindowSystem>(connection, root, atoms);
    }

    EwmhWindowSystem(xcb_connection_t* connection, xcb_window_t root, Atoms atoms)
        : connection_(connection), root_(root), atoms_(atoms) {}

    WindowHandle handleOf(QWidget* window) override { return topLevelHandle(window); }

    WindowHandle foregroundWindow() override {
        return windowProperty(connection_, root_, atoms_.activeWindow);
    }

    // Requests to the window manager only (client messages to the root):
    // nothing here maps, raises or focuses a window itself.
    void setTopMost(WindowHandle window, bool topMost) override {
        if (window == 0)
            return;
        // _NET_WM_STATE_ADD / _REMOVE; source indication: a pager, i.e. the user's wish
        send(window, atoms_.wmState, {topMost ? 1u : 0u, atoms_.wmStateAbove, 0, 2, 0});
    }

    void placeBelow(WindowHandle window, WindowHandle sibling) override {
        if (window == 0 || sibling == 0 || atoms_.restackWindow == XCB_ATOM_NONE)
            return;
        // _NET_RESTACK_WINDOW: source a pager, the sibling, detail Below.
        send(window, atoms_.restackWindow, {2, static_cast<std::uint32_t>(sibling), 1, 0, 0});
    }

    QString limitation() const override { return {}; }

private:
    void send(WindowHandle window, xcb_atom_t type, const std::array<std::uint32_t, 5>& data) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = static_cast<xcb_window_t>(window);
        event.type = type;
        for (std::size_t i = 0; i < data.size(); ++i)
            event.data.data32[i] = data[i];
        xcb_send_event(connection_, 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(connection_);
    }

    static xcb_window_t defaultRoot(xcb_connection_t* connection) {
        int screen = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screen))
            std::free(host);
        else
            screen = 0;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
        xcb_window_t first = XCB_WINDOW_NONE;
        for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
            if (first == XCB_WINDOW_NONE)
                first = it.data->root;
            if (i == screen)
                return it.data->root;
        }
        return first;
    }

    static Atoms internAtoms(xcb_connection_t* connection) {
        static constexpr const char* names[] = {"_NET_ACTIVE_WINDOW",  "_NET_WM_STATE",
                                                "_NET_WM_STATE_ABOVE", "_NET_SUPPORTING_WM_CHECK",
                                                "_NET_SUPPORTED",      "_NET_RESTACK_WINDOW"};
        constexpr std::size_t count = std::size(names);
        xcb_intern_atom_cookie_t cookies[count];
        for (std::size_t i = 0; i < count; ++i)
            cookies[i] = xcb_intern_atom(
                connection, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
        xcb_atom_t found[count];
        for (std::size_t i = 0; i < count; ++i) {
            auto reply = takeReply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
            found[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        }
        return Atoms{found[0], found[1], found[2], found[3], found[4], found[5]};
    }

    static std::vector<std::uint32_t> cardinalProperty(xcb_connection_t* connection,
                                                       xcb_window_t window, xcb_atom_t property,
                                                       xcb_atom_t type, std::uint32_t maxItems) {
        if (property == XCB_ATOM_NONE)
            return {};
        const auto cookie = xcb_get_property(connection, 0, window, property, type, 0, maxItems);
        xcb_generic_error_t* error = nullptr;
        auto reply = takeReply(xcb_get_property_reply(connection, cookie, &error));
        std::free(error);
        if (!reply || reply->type != type || reply->format != 32)
            return {};
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        const int items = xcb_get_property_value_length(reply.get()) / 4;
        return std::vector<std::uint32_t>(data, data + (items > 0 ? items : 0));
    }

    static xcb_window_t windowProperty(xcb_connection_t* connection, xcb_window_t window,
                                       xcb_atom_t property) {
        const auto values = cardinalProperty(connection, window, property, XCB_ATOM_WINDOW, 1);
        return values.empty() ? xcb_window_t{XCB_WINDOW_NONE} : values.front();
    }

    static std::vector<xcb_atom_t> atomListProperty(xcb_connection_t* connection,
                                                    xcb_window_t window, xcb_atom_t property) {
        return cardinalProperty(connection, window, property, XCB_ATOM_ATOM, 4096);
    }

    xcb_connection_t* connection_;
    xcb_window_t root_;
    Atoms atoms_;
};

#endif // TW_USE_XCB

QString hintOnly(const QString& why) {
    return QStringLiteral("stay-on-top hint only: %1; other programs' windows are left alone")
        .arg(why);
}

} // namespace

std::unique_ptr<WindowSystem> createWindowSystem() {
    // A program without windows (`--check`) runs a QCoreApplication, which
    // qGuiApp would cast to what it is not.
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!gui)
        return std::make_unique<HintWindowSystem>(hintOnly(QStringLiteral("no window system")));
    const QString platform = QGuiApplication::platformName();
#ifdef TW_USE_XCB
    if (platform == QLatin1String("xcb")) {
        QString why;
        const auto* x11 = gui->nativeInterface<QNativeInterface::QX11Application>();
        if (auto ewmh = EwmhWindowSystem::create(x11 ? x11->connection() : nullptr, why))
            return ewmh;
        return std::make_unique<HintWindowSystem>(hintOnly(why));
    }
#endif
    return std::make_unique<HintWindowSystem>(
        hintOnly(QStringLiteral("the %1 platform does not let a program place other "
                                "programs' windows")
                     .arg(platform.isEmpty() ? QStringLiteral("current") : platform)));
}

} // namespace tw::platform
