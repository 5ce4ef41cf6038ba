// The program speaks the language the environment of a real start asks for:
// German under a German locale (its own texts and Qt's), English, exactly
// as written in the sources, otherwise; numbers follow the locale. Each row
// starts this test program again as a probe with that environment.

#include "app/Translations.h"
#include "node/NodeState.h"
#include "tests/support/TestRig.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTextStream>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

const char* const ProbeVariable = "TW_TRANSLATION_PROBE";
const QStringList LocaleVariables = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// The German text of (context, source) as translations/TW-CLI-UI_de.ts has it.
QString german(const QString& context, const QString& source) {
    QFile file(QStringLiteral(TW_SOURCE_DIR "/translations/TW-CLI-UI_de.ts"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    QXmlStreamReader xml(&file);
    QString inContext;
    QString inSource;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            inContext = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            inSource = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") && inContext == context &&
                 inSource == source)
            return xml.readElementText();
    }
    qFatal("no German text for %s / %s", qPrintable(context), qPrintable(source));
}

// The probe: the program's start-up as far as its language goes, then what a
// user would read, one "key=value" line each.
int probe(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString language = tw::app::installTranslations(application);
    tw::test::TestRig rig;
    rig.start();
    tw::node::NodeState state;
    state.blocks = 812345;
    state.headers = 812400;
    const QStringList lines = {
        "language=" + language,
        "settings=" + rig.button("SETTINGS_BUTTON")->text(),
        "currentBlock=" + rig.find<QLabel>("CURRENT_BLOCK_LABEL")->text(),
        "startStop=" + rig.button("START_STOP_BUTTON")->text(),
        "undo=" + QCoreApplication::translate("QLineEdit", "&Undo"),
        "sync=" + tw::node::text::syncLine(state, std::nullopt),
    };
    QTextStream(stdout) << lines.join('\n') << '\n';
    return 0;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT

private slots:
    void languageFollowsTheEnvironment_data();
    void languageFollowsTheEnvironment();
};

void TestTranslations::languageFollowsTheEnvironment_data() {
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("numbers"); // the locale the numbers follow

    QTest::newRow("LANG=de_DE") << QStringList{"LANG=de_DE.UTF-8"} << true << "de_DE";
    QTest::newRow("LC_ALL=de_AT over LANG=C")
        << QStringList{"LC_ALL=de_AT.UTF-8", "LANG=C"} << true << "de_AT";
    // Qt's system locale "C" writes numbers as US English does.
    QTest::newRow("LANG=C") << QStringList{"LANG=C"} << false << "en_US";
    QTest::newRow("LANG=en_US") << QStringList{"LANG=en_US.UTF-8"} << false << "en_US";
    QTest::newRow("LANG=fr_FR: no French, English")
        << QStringList{"LANG=fr_FR.UTF-8"} << false << "fr_FR";
    QTest::newRow("LANGUAGE=de:en, numbers en_US")
        << QStringList{"LANGUAGE=de:en", "LANG=en_US.UTF-8"} << true << "en_US";
    QTest::newRow("LANGUAGE=en:de: English first")
        << QStringList{"LANGUAGE=en:de", "LANG=de_DE.UTF-8"} << false << "de_DE";
}

void TestTranslations::languageFollowsTheEnvironment() {
    QFETCH(QStringList, environment);
    QFETCH(bool, german);
    QFETCH(QString, numbers);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : LocaleVariables)
        env.remove(name);
    for (const QString& setting : environment)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    env.insert(ProbeVariable, "1");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QHash<QString, QString> seen;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n'))
        if (line.contains('='))
            seen.insert(line.section('=', 0, 0), line.section('=', 1));

    const auto text = [german](const char* context, const char* english) {
        return german ? ::german(context, english) : QString::fromUtf8(english);
    };
    QCOMPARE(seen.value("language"), german ? QString("de") : QString());
    QCOMPARE(seen.value("settings"), text("MainWindow", "Settings"));
    QCOMPARE(seen.value("currentBlock"), text("MainWindow", "Current Block:"));
    QCOMPARE(seen.value("startStop"), text("MainWindow", "START"));
    const QLocale locale(numbers);
    QCOMPARE(seen.value("sync"),
             text("NodeText", "%1 of %2").arg(locale.toString(812345), locale.toString(812400)));
    // Qt's own texts (the boxes' context menus) in the same language.
    if (german)
        QVERIFY2(seen.value("undo") != "&Undo", qPrintable(seen.value("undo")));
    else
        QCOMPARE(seen.value("undo"), QString("&Undo"));
    // The German texts differ from the English ones they stand for.
    if (german)
        QVERIFY(seen.value("settings") != "Settings");
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsSet(ProbeVariable))
        return probe(argc, argv);
    QApplication application(argc, argv);
    TestTranslations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translations.moc"
