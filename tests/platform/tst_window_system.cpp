// The window system on a platform without EWMH (offscreen): only the
// program's own windows get the stay-on-top hint.

#include "platform/Posix.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWidget>

using tw::platform::WindowHandle;
using tw::platform::WindowSystem;

class TestHintWindowSystem : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowSystem> windows_;

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
        windows_ = tw::platform::createWindowSystem();
        QVERIFY(windows_);
    }

    void limitationIsOneLine() {
        const QString limitation = windows_->limitation();
        QVERIFY(limitation.startsWith(QStringLiteral("stay-on-top hint only")));
        QVERIFY2(limitation.contains(QStringLiteral("offscreen")), qPrintable(limitation));
        QVERIFY(!limitation.contains(u'\n'));
    }

    void handles() {
        QCOMPARE(windows_->handleOf(nullptr), WindowHandle(0));
        QWidget main;
        auto* label = new QLabel(QStringLiteral("child"), &main);
        QWidget other;
        const WindowHandle handle = windows_->handleOf(&main);
        QVERIFY(handle != 0);
        QCOMPARE(windows_->handleOf(label), handle); // a control names its window
        QCOMPARE(handle, WindowHandle(main.winId()));
        QVERIFY(windows_->handleOf(&other) != handle);
    }

    void foregroundIsTheFocusWindow() {
        QTRY_COMPARE_WITH_TIMEOUT(windows_->foregroundWindow(), WindowHandle(0), 5000);
        QWidget first;
        QWidget second;
        first.show();
        second.show();
        first.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(windows_->foregroundWindow(), windows_->handleOf(&first), 5000);
        second.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(windows_->foregroundWindow(), windows_->handleOf(&second), 5000);
    }

    void topMostOnOwnWindow_data() {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("hintBefore");
        QTest::addColumn<bool>("topMost");
        QTest::newRow("shown, put on top") << true << false << true;
        QTest::newRow("shown, already on top") << true << true << true;
        QTest::newRow("shown, taken off top") << true << true << false;
        QTest::newRow("shown, already off top") << true << false << false;
        QTest::newRow("hidden, put on top") << false << false << true;
        QTest::newRow("hidden, taken off top") << false << true << false;
    }
    void topMostOnOwnWindow() {
        QFETCH(bool, shown);
        QFETCH(bool, hintBefore);
        QFETCH(bool, topMost);
        QWidget main;
        main.setWindowFlag(Qt::WindowStaysOnTopHint, hintBefore);
        main.setGeometry(100, 120, 352, 285);
        if (shown) {
            main.show();
            QVERIFY(QTest::qWaitForWindowExposed(&main));
        }
        const QRect before = main.geometry();
        windows_->setTopMost(windows_->handleOf(&main), topMost);
        QCOMPARE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint), topMost);
        QCOMPARE(main.isVisible(), shown);
        QCOMPARE(main.geometry(), before);
    }

    void otherWindowsAreLeftAlone_data() {
        QTest::addColumn<quintptr>("handle");
        QTest::newRow("no window") << quintptr(0);
        QTest::newRow("another program's window") << quintptr(0x3a00007);
    }
    void otherWindowsAreLeftAlone() {
        QFETCH(quintptr, handle);
        QWidget main;
        QWidget settings;
        main.show();
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY(windows_->handleOf(&main) != handle);
        QVERIFY(windows_->handleOf(&settings) != handle);
        windows_->setTopMost(handle, true);
        QVERIFY(!main.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!settings.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(main.isVisible());
    }

    void onlyTheNamedWindowChanges() {
        QWidget main;
        QWidget settings;
        main.show();
        settings.show();
        windows_->setTopMost(windows_->handleOf(&settings), true);
        QVERIFY(settings.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!main.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestHintWindowSystem test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_system.moc"
