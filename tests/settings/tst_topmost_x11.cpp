// The top-most keeper on a real X server with an EWMH window manager
// (ctest runs this under run-under-xvfb.sh: Xvfb and openbox). After a tick
// of the keeper the main window carries _NET_WM_STATE_ABOVE and the window
// that was in front, itself top-most before, no longer does.

#include "app/Diagnostics.h"
#include "app/MainWindow.h"
#include "app/SettingsStore.h"
#include "app/TopMostKeeper.h"
#include "app/WindowTimer.h"
#include "platform/Posix.h"
#include "tests/support/Fakes.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(TW_HAVE_XCB) && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#define TW_TEST_XCB 1
#endif

using tw::platform::WindowHandle;

namespace {

#ifdef TW_TEST_XCB

xcb_connection_t* connection() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(const char* name) {
    xcb_connection_t* c = connection();
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

// Whether the window manager lists _NET_WM_STATE_ABOVE in the window's state.
bool isAbove(WindowHandle window) {
    xcb_connection_t* c = connection();
    const xcb_atom_t state = atom("_NET_WM_STATE");
    const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
    const auto cookie =
        xcb_get_property(c, 0, static_cast<xcb_window_t>(window), state, XCB_ATOM_ATOM, 0, 64);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    bool found = false;
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count; ++i)
            found = found || atoms[i] == above;
    }
    std::free(reply);
    return found;
}

#endif

// The panel's composition with the real window system; the rest are fakes
// and the clock is virtual, so the keeper ticks when the test says.
struct Panel {
    explicit Panel(tw::platform::WindowSystem& windows)
        : platform{
              clock,    settings, starter, processes, files, windows, QStringLiteral("TW-CLI-UI"),
              QString()} {
        main = std::make_unique<tw::app::MainWindow>(services);
        keeper = new tw::app::TopMostKeeper(*main, services);
        main->load();
    }
    ~Panel() {
        scheduler.stopAll();
        main.reset();
    }

    tw::test::VirtualClock clock;
    tw::test::FakeSettingsBackend settings;
    tw::test::FakeProcessStarter starter{clock};
    tw::test::FakeProcessTable processes;
    tw::test::FakeFileSystem files;
    tw::platform::Platform platform;
    tw::app::Diagnostics diagnostics{QString(), false};
    tw::app::SettingsStore store{settings, platform.executableName, &diagnostics};
    tw::app::Scheduler scheduler{clock};
    tw::app::Services services{platform, scheduler, store, diagnostics};
    std::unique_ptr<tw::app::MainWindow> main;
    tw::app::TopMostKeeper* keeper = nullptr;
};

} // namespace

class TestTopMostOnX11 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void theMainWindowTakesTheTopBandFromTheWindowInFront();
};

void TestTopMostOnX11::initTestCase() {
    if (qEnvironmentVariableIsSet("TW_XVFB_MISSING"))
        QSKIP(qPrintable(QStringLiteral("no private X server: ") +
                         qEnvironmentVariable("TW_XVFB_MISSING")));
    if (!qEnvironmentVariableIsSet("TW_UNDER_XVFB"))
        QSKIP("run through tests/settings/run-under-xvfb.sh (ctest does)");
    // From here on the X server and the window manager are there: anything
    // missing is a failure.
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
#ifndef TW_TEST_XCB
    QFAIL("built without libxcb: the keeper has no EWMH");
#endif
}

void TestTopMostOnX11::theMainWindowTakesTheTopBandFromTheWindowInFront() {
#ifdef TW_TEST_XCB
    const std::unique_ptr<tw::platform::WindowSystem> windows = tw::platform::createWindowSystem();
    QCOMPARE(windows->limitation(), QString());

    Panel panel(*windows);
    tw::app::MainWindow& main = *panel.main;
    QVERIFY(main.AlwaysOnTopTimer->isRunning());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const WindowHandle own = windows->handleOf(&main);

    // Another program's window, top-most, in front.
    QWidget other;
    other.setWindowTitle(QStringLiteral("another program"));
    other.setGeometry(200, 200, 300, 200);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    const WindowHandle front = windows->handleOf(&other);
    QVERIFY(front != own);
    windows->setTopMost(front, true);
    other.activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), front, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(front), 10000);
    QVERIFY(!isAbove(own));

    // One tick of the keeper.
    panel.clock.advance(1000);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(own), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(front), 10000);

    // The window manager acts on requests in the order they come: once it
    // has acted on a request about this probe window, it has acted on every
    // request sent before.
    QWidget probe;
    probe.setWindowTitle(QStringLiteral("probe"));
    probe.setGeometry(600, 500, 100, 100);
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));
    const WindowHandle probeHandle = windows->handleOf(&probe);
    bool probeAbove = false;
    const auto settle = [&] {
        probeAbove = !probeAbove;
        windows->setTopMost(probeHandle, probeAbove);
        QTRY_COMPARE_WITH_TIMEOUT(isAbove(probeHandle), probeAbove, 10000);
    };

    // With the main window in front a tick changes nothing: the other window
    // made top-most again keeps it.
    main.activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), own, 10000);
    windows->setTopMost(front, true);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(front), 10000);
    panel.clock.advance(3000);
    settle();
    QVERIFY(isAbove(front));
    QVERIFY(isAbove(own));

    // Switched off by the main window's own tick box: the ticks stop, the
    // main window keeps its place.
    main.AlwaysOnTopTimer_TICKBOX->setChecked(false);
    QVERIFY(!main.AlwaysOnTopTimer->isEnabled());
    other.activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(windows->foregroundWindow(), front, 10000);
    panel.clock.advance(3000);
    settle();
    QVERIFY(isAbove(front));
    QVERIFY(isAbove(own));
#endif
}

QTEST_MAIN(TestTopMostOnX11)
#include "tst_topmost_x11.moc"
