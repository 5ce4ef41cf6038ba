// The EWMH window system against a real X server and window manager (for
// example Xvfb with openbox). Without a display, or with a window manager
// that lacks _NET_WM_STATE_ABOVE, every test skips itself.

#include "platform/Posix.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#ifdef TW_HAVE_XCB
#include <xcb/xcb.h>
#endif

using tw::platform::WindowHandle;
using tw::platform::WindowSystem;

#ifdef TW_HAVE_XCB
namespace {

// A second X client, so that "another program's window" is really one.
class OtherClient {
public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(connection_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    bool ok() const { return !xcb_connection_has_error(connection_); }

    xcb_window_t createWindow() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 50, 50, 200, 100,
                          1, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection_, window);
        xcb_flush(connection_);
        return window;
    }

    xcb_atom_t atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            connection_,
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }

    // The window's _NET_WM_STATE as the window manager keeps it.
    std::vector<xcb_atom_t> state(xcb_window_t window) {
        auto* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
            nullptr);
        std::vector<xcb_atom_t> atoms;
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return atoms;
    }

    bool isAbove(xcb_window_t window) {
        const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
        for (const xcb_atom_t a : state(window)) {
            if (a == above)
                return true;
        }
        return false;
    }

    // Ask the window manager to activate the window, as a pager would.
    void activate(xcb_window_t window) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection_, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(connection_);
    }

private:
    xcb_connection_t* connection_;
};

} // namespace
#endif

class TestEwmhWindowSystem : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowSystem> windows_;

private slots:
    void init() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display");
#ifndef TW_HAVE_XCB
        QSKIP("built without libxcb");
#endif
        windows_ = tw::platform::createWindowSystem();
        QVERIFY(windows_);
        if (!windows_->limitation().isEmpty())
            QSKIP(qPrintable(QStringLiteral("no EWMH window manager: ") + windows_->limitation()));
    }

#ifdef TW_HAVE_XCB
    void ownWindowGoesOnTopAndOff() {
        OtherClient observer;
        QVERIFY(observer.ok());
        QWidget main;
        main.setGeometry(100, 100, 352, 285);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const WindowHandle handle = windows_->handleOf(&main);
        main.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(windows_->foregroundWindow(), handle, 5000);

        const QPoint position = main.pos();
        windows_->setTopMost(handle, true);
        QTRY_VERIFY_WITH_TIMEOUT(observer.isAbove(static_cast<xcb_window_t>(handle)), 5000);
        windows_->setTopMost(handle, false);
        QTRY_VERIFY_WITH_TIMEOUT(!observer.isAbove(static_cast<xcb_window_t>(handle)), 5000);
        QCOMPARE(main.pos(), position);
    }

    void otherProgramsWindowIsPlaced() {
        OtherClient other;
        QVERIFY(other.ok());
        const xcb_window_t window = other.createWindow();
        other.activate(window);
        QTRY_COMPARE_WITH_TIMEOUT(windows_->foregroundWindow(), WindowHandle(window), 5000);

        windows_->setTopMost(window, true);
        QTRY_VERIFY_WITH_TIMEOUT(other.isAbove(window), 5000);
        windows_->setTopMost(window, false);
        QTRY_VERIFY_WITH_TIMEOUT(!other.isAbove(window), 5000);
    }
#endif
};

int main(int argc, char** argv) {
    // Without a display the xcb platform cannot start; run offscreen and skip.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEwmhWindowSystem test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_system_x11.moc"
