// The panel under a dark desktop palette, by the pixels a user sees: every
// control whose background the program sets shows its text with a contrast
// of at least 4.5:1 on it (the status colours, the system's window colour,
// the settings window's light grey), and where the program fixes a text
// colour (green on black) it keeps it.

#include "app/Colours.h"
#include "tests/support/Palettes.h"
#include "tests/support/TestRig.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace tw;
using app::colour::Black;
using app::colour::Cyan;
using app::colour::Green;
using app::colour::LightGrey;
using app::colour::Pink;
using app::colour::Red;
using app::colour::Yellow;
using test::TestRig;

namespace {

int pixelsOf(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += QColor(image.pixel(x, y)) == colour;
    }
    return count;
}

} // namespace

class TestPalette : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(test::darkPalette());
    }

    // The contrast ratio as WCAG 2 computes it; white text on the status
    // colours is what a dark palette gave before.
    void contrastRatio_data() {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("#777777 on white") << QColor(0x77, 0x77, 0x77) << QColor(Qt::white) << 4.48;
        QTest::newRow("green on black") << Green << Black << 15.3;
        QTest::newRow("white on green") << QColor(Qt::white) << Green << 1.37;
        QTest::newRow("white on pink") << QColor(Qt::white) << Pink << 2.15;
        QTest::newRow("the same colour") << Red << Red << 1.0;
    }
    void contrastRatio() {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, ratio);
        QVERIFY2(qAbs(app::contrastRatio(a, b) - ratio) < 0.01,
                 qPrintable(QString::number(app::contrastRatio(a, b))));
        QCOMPARE(app::contrastRatio(b, a), app::contrastRatio(a, b));
    }

    void textReadableOnEveryBackground_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("step"); // how the control gets its background
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("text"); // the fixed text colour; invalid: any readable one
        const QColor any;
        // Through the program's own steps.
        QTest::newRow("status band at start") << "PROCESS_ACTIVE_LABEL"
                                              << "start" << Cyan << any;
        QTest::newRow("status band, client not running") << "PROCESS_ACTIVE_LABEL"
                                                         << "watcher" << Green << any;
        QTest::newRow("status band, client running") << "PROCESS_ACTIVE_LABEL"
                                                     << "watcher, client running" << Red << any;
        QTest::newRow("countdown at start") << "AUTORUN_TIMER_TEXTBOX"
                                            << "start" << Pink << any;
        QTest::newRow("current block, idle") << "CURRENT_BLOCK_TEXTBOX"
                                             << "start" << Black << Green;
        QTest::newRow("current block, query requested") << "CURRENT_BLOCK_TEXTBOX"
                                                        << "G-B-C" << Pink << any;
        QTest::newRow("settings: action box unticked (greyed)") << "RUN_COMMAND_TEXTBOX"
                                                                << "settings" << LightGrey << any;
        QTest::newRow("settings: action box ticked")
            << "RUN_COMMAND_TEXTBOX"
            << "settings, ticked" << app::colour::windowBackground() << any;
        QTest::newRow("settings: help") << "EXE_FILENAME_HELP_LABEL"
                                        << "settings" << Green << Black;
        QTest::newRow("settings: title") << "TARN_WICK_TITLE"
                                         << "settings" << Black << Green;
        // The other colours the handlers give, through the helper they all
        // set backgrounds with.
        const QList<QPair<const char*, QList<QColor>>> set{
            {"AUTORUN_TIMER_TEXTBOX", {Cyan, Red, Green, Yellow}},
            {"CURRENT_BLOCK_TEXTBOX", {Yellow, app::colour::windowBackground()}},
            {"CONNECTIONS_TEXTBOX", {Pink, Yellow}},
            {"QT_EXE_TEXTBOX", {Green, Red, Pink}},
            {"DAEMON_EXE_TEXTBOX", {Green, Red, Pink}},
        };
        for (const auto& [control, colours] : set) {
            for (const QColor& colour : colours)
                QTest::addRow("%s on %s", control, qPrintable(colour.name()))
                    << control << "set" << colour << any;
        }
        QTest::newRow("connections, idle") << "CONNECTIONS_TEXTBOX"
                                           << "set" << Black << Green;
    }

    void textReadableOnEveryBackground() {
        QFETCH(QString, control);
        QFETCH(QString, step);
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        TestRig rig;
        rig.store("CLI_NAME_TEXTBOX", "bitcoin-cli");
        if (step == "watcher, client running")
            rig.processes.setRunning("bitcoin-cli");
        rig.start(true);
        std::unique_ptr<settings::SettingsWindow> settings;
        QWidget* widget = nullptr;
        if (step.startsWith("settings")) {
            settings = std::make_unique<settings::SettingsWindow>(rig.window(), rig.services);
            settings->show();
            if (step.endsWith("ticked"))
                settings->RUN_COMMAND_TICKBOX->setChecked(true);
            widget = settings->findChild<QWidget*>(control);
        } else {
            widget = rig.find(control);
            if (step.startsWith("watcher"))
                rig.advance(1000);
            else if (step == "G-B-C") {
                rig.advance(1000); // the watcher enables the button
                rig.button("GETBLOCKCOUNT_BUTTON")->click();
            } else if (step == "set")
                app::setBackground(widget, background);
        }
        QVERIFY(widget);
        if (auto* box = qobject_cast<QLineEdit*>(widget); box && box->text().isEmpty())
            box->setText("bitcoin-qt");
        QCOMPARE(app::background(widget), background);

        const QImage image = widget->grab().toImage();
        const QRect inside = image.rect().adjusted(3, 3, -3, -3); // within the frame
        const test::TextPixels pixels = test::textPixels(image, inside);
        QCOMPARE(pixels.background, background);
        QVERIFY2(pixels.readable >= 10, qPrintable(QString("%1 readable pixels, best contrast %2")
                                                       .arg(pixels.readable)
                                                       .arg(pixels.highest)));
        if (text.isValid())
            QVERIFY(pixelsOf(image, inside, text) >= 10);
    }
};

QTEST_MAIN(TestPalette)
#include "tst_palette.moc"
