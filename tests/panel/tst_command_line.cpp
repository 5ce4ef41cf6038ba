// The window system the panel asks Qt for before QApplication exists: the
// choice from the environment and the command line, and the command line
// Qt is then given.

#include "panel/CommandLine.h"

#include <QTest>

namespace commandline = tw::panel::commandline;

namespace {

// "NAME=VALUE NAME=VALUE": the variables set; "NAME=" is set and empty.
QProcessEnvironment environmentOf(const QString& text) {
    QProcessEnvironment environment;
    for (const QString& pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        environment.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return environment;
}

// Arguments written with '|' between them (an argument may hold a blank).
QStringList argumentsOf(const QString& text) {
    return text.split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void chosenPlatform_data();
    void chosenPlatform();
    void qtCommandLine_data();
    void qtCommandLine();
    void platformOptionRead_data();
    void platformOptionRead();
};

void TestCommandLine::chosenPlatform_data() {
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<bool>("hasXcb");
    QTest::addColumn<QString>("chosen");

    const QString session = QStringLiteral("WAYLAND_DISPLAY=wayland-0 DISPLAY=:0");
    const QString xwayland = QStringLiteral("xcb;wayland");
    // A Wayland session that offers XWayland, nothing named: X11.
    QTest::newRow("wayland and XWayland") << session << "" << true << xwayland;
    QTest::newRow("with Qt's other options")
        << session << "-style|Fusion|-reverse|-session|abc" << true << xwayland;
    QTest::newRow("a session of another user's display name")
        << "WAYLAND_DISPLAY=/run/user/1000/wayland-1 DISPLAY=localhost:10.0"
        << "" << true << xwayland;
    // An empty QT_QPA_PLATFORM is no choice: Qt ignores it too.
    QTest::newRow("QT_QPA_PLATFORM empty") << session + " QT_QPA_PLATFORM="
                                           << "" << true << xwayland;
    // "-platform" as another option's value is no platform.
    QTest::newRow("-platform as a title") << session << "-title|-platform" << true << xwayland;
    QTest::newRow("-platform as a style sheet's file")
        << session << "--stylesheet|-platform=wayland" << true << xwayland;

    // The user's choice stands.
    QTest::newRow("QT_QPA_PLATFORM wayland") << session + " QT_QPA_PLATFORM=wayland"
                                             << "" << true << "";
    QTest::newRow("QT_QPA_PLATFORM xcb") << session + " QT_QPA_PLATFORM=xcb"
                                         << "" << true << "";
    QTest::newRow("QT_QPA_PLATFORM offscreen (the tests)") << session + " QT_QPA_PLATFORM=offscreen"
                                                           << "" << true << "";
    QTest::newRow("-platform wayland") << session << "-platform|wayland" << true << "";
    QTest::newRow("--platform wayland") << session << "--platform|wayland" << true << "";
    QTest::newRow("-platform=wayland") << session << "-platform=wayland" << true << "";
    QTest::newRow("--platform=wayland") << session << "--platform=wayland" << true << "";
    QTest::newRow("-platform after other options")
        << session << "-style|Fusion|-reverse|-platform|wayland-egl" << true << "";
    QTest::newRow("-platform xcb") << session << "-platform|xcb" << true << "";

    // No Wayland session with XWayland: Qt's own choice.
    QTest::newRow("X11 session") << "DISPLAY=:0"
                                 << "" << true << "";
    QTest::newRow("Wayland without XWayland") << "WAYLAND_DISPLAY=wayland-0"
                                              << "" << true << "";
    QTest::newRow("DISPLAY empty") << "WAYLAND_DISPLAY=wayland-0 DISPLAY="
                                   << "" << true << "";
    QTest::newRow("WAYLAND_DISPLAY empty") << "WAYLAND_DISPLAY= DISPLAY=:0"
                                           << "" << true << "";
    QTest::newRow("no display at all") << ""
                                       << "" << true << "";
    // A Qt without its xcb platform (Windows): nothing to choose.
    QTest::newRow("no xcb in this Qt") << session << "" << false << "";
}

void TestCommandLine::chosenPlatform() {
    QFETCH(QString, environment);
    QFETCH(QString, arguments);
    QFETCH(bool, hasXcb);
    QFETCH(QString, chosen);
    QCOMPARE(
        commandline::chosenPlatform(argumentsOf(arguments), environmentOf(environment), hasXcb),
        chosen);
}

void TestCommandLine::qtCommandLine_data() {
    QTest::addColumn<QString>("argv");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("given");
    // How many of the first arguments Qt gets are argv's own strings (Qt
    // takes its options out of that array).
    QTest::addColumn<int>("own");

    QTest::newRow("as it is") << "TW|-style|Fusion"
                              << ""
                              << "TW|-style|Fusion" << 3;
    QTest::newRow("the program alone") << "TW"
                                       << ""
                                       << "TW" << 1;
    QTest::newRow("XWayland asked for") << "TW|-reverse"
                                        << "xcb;wayland"
                                        << "TW|-reverse|-platform|xcb;wayland" << 2;
    QTest::newRow("-platform=NAME split") << "TW|-platform=wayland|-reverse"
                                          << ""
                                          << "TW|-platform|wayland|-reverse" << 1;
    QTest::newRow("--platform=NAME split") << "TW|--platform=wayland-egl"
                                           << ""
                                           << "TW|-platform|wayland-egl" << 1;
    QTest::newRow("a value with '=' in it") << "TW|-platform=wayland:option=1"
                                            << ""
                                            << "TW|-platform|wayland:option=1" << 1;
    QTest::newRow("-platform NAME left alone") << "TW|-platform|xcb"
                                               << ""
                                               << "TW|-platform|xcb" << 3;
    // The program's own name is never an option, whatever it is called.
    QTest::newRow("a program named like the option") << "-platform=x"
                                                     << "xcb;wayland"
                                                     << "-platform=x|-platform|xcb;wayland" << 1;
}

void TestCommandLine::qtCommandLine() {
    QFETCH(QString, argv);
    QFETCH(QString, platform);
    QFETCH(QString, given);
    QFETCH(int, own);

    std::vector<QByteArray> bytes;
    for (const QString& argument : argumentsOf(argv))
        bytes.push_back(argument.toLocal8Bit());
    std::vector<char*> pointers;
    for (QByteArray& argument : bytes)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    std::vector<QByteArray> storage;
    const std::vector<char*> line = commandline::qtCommandLine(static_cast<int>(bytes.size()),
                                                               pointers.data(), platform, storage);
    QVERIFY(!line.empty());
    QCOMPARE(line.back(), nullptr);
    QStringList seen;
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
        seen << QString::fromLocal8Bit(line[i]);
    QCOMPARE(seen, argumentsOf(given));
    for (std::size_t i = 0; i < std::size_t(own); ++i)
        QCOMPARE(line[i], pointers[i]);
}

void TestCommandLine::platformOptionRead_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("asked");
    QTest::addColumn<QString>("problem");

    const int panel = int(commandline::Asked::Panel);
    const int wrong = int(commandline::Asked::Wrong);
    QTest::newRow("-platform NAME") << "-platform|wayland" << panel << "";
    QTest::newRow("-platform=NAME") << "-platform=wayland" << panel << "";
    QTest::newRow("--platform=NAME") << "--platform=xcb" << panel << "";
    QTest::newRow("-platform= empty") << "-platform=" << wrong << "option -platform= needs a value";
    QTest::newRow("--platform= empty")
        << "-reverse|--platform=" << wrong << "option --platform= needs a value";
    QTest::newRow("-platform without a value")
        << "-platform" << wrong << "option -platform needs a value";
    // Other options of the kind stay refused with "=".
    QTest::newRow("-platformtheme=NAME")
        << "-platformtheme=gtk3" << wrong << "unknown option -platformtheme=gtk3";
}

void TestCommandLine::platformOptionRead() {
    QFETCH(QString, arguments);
    QFETCH(int, asked);
    QFETCH(QString, problem);
    const commandline::Reading reading = commandline::read(argumentsOf(arguments));
    QCOMPARE(int(reading.asked), asked);
    QCOMPARE(reading.problem, problem);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
