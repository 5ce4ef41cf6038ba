// The node options: which names are usable, how the command line reads
// them, and what they do to real files in a temporary home through the
// Linux node links (links, menu entries, autostart entries), with the exit
// status and the words a user reads.

#include "panel/CommandLine.h"
#include "panel/NodeCommand.h"
#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using tw::panel::CommandRun;
using tw::panel::runNodeCommand;
using tw::panel::commandline::Asked;
using tw::platform::NodeChange;
using tw::platform::PosixNodeLinks;
using tw::test::readAll;
using tw::test::writeAll;

Q_DECLARE_METATYPE(tw::panel::commandline::Asked)
Q_DECLARE_METATYPE(tw::platform::NodeChange::State)

namespace {

// What sits in the link's place before an add or a remove.
enum class Before { Nothing, OurLink, OtherLink, DanglingLink, File, Folder };

} // namespace
Q_DECLARE_METATYPE(Before)

class TestNodeCommand : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    int round_ = 0;
    QString home_;

    QString program() const { return home_ + QStringLiteral("/opt/TW-CLI-UI"); }
    // The folders are named so that a path needs quoting in Exec.
    QString bin() const { return home_ + QStringLiteral("/my bin $HOME"); }
    QString applications() const { return home_ + QStringLiteral("/share/applications"); }
    QString autostart() const { return home_ + QStringLiteral("/config/autostart"); }
    PosixNodeLinks links() const { return {program(), bin(), applications(), autostart()}; }
    QString link(const QString& name) const { return bin() + QStringLiteral("/TW-CLI-UI-") + name; }
    QString entry(const QString& name) const {
        return applications() + QStringLiteral("/io.github.tw_cli_ui.TWCLIUI.node-") + name +
               QStringLiteral(".desktop");
    }
    QString loginEntry(const QString& name) const {
        return autostart() + QStringLiteral("/io.github.tw_cli_ui.TWCLIUI-TW-CLI-UI-") + name +
               QStringLiteral(".desktop");
    }

    CommandRun run(const QStringList& arguments) {
        PosixNodeLinks nodeLinks = links();
        return runNodeCommand(nodeLinks, tw::panel::commandline::read(arguments),
                              QStringLiteral("TW-CLI-UI"));
    }
    static QString target(const QString& path) { return QFile::symLinkTarget(path); }
    static bool there(const QString& path) {
        return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
    }
    // Every file and link below the home, but the program.
    QStringList files() const {
        QStringList found;
        for (const QString& folder : {bin(), applications(), autostart()})
            for (const QFileInfo& info : QDir(folder).entryInfoList(
                     QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
                found << info.fileName();
        found.sort();
        return found;
    }

private slots:
    void initTestCase() { QVERIFY(tmp_.isValid()); }
    void init() {
        home_ = tmp_.filePath(QString::number(++round_));
        QVERIFY(QDir().mkpath(home_ + QStringLiteral("/opt")));
        QVERIFY(writeAll(program(), "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(program(), QFile::ReadOwner | QFile::ExeOwner));
    }

    void usableNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("letters and a dash") << "BTC-A" << true;
        QTest::newRow("dot, underscore, digit") << "btc.main_2" << true;
        QTest::newRow("a digit alone") << "7" << true;
        QTest::newRow("64 characters") << QString(64, u'a') << true;
        QTest::newRow("65 characters") << QString(65, u'a') << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("a folder up") << "../x" << false;
        QTest::newRow("a slash") << "a/b" << false;
        QTest::newRow("a backslash") << "a\\b" << false;
        QTest::newRow("an option") << "-x" << false;
        QTest::newRow("hidden") << ".hidden" << false;
        QTest::newRow("underscore first") << "_x" << false;
        QTest::newRow("a blank") << "a b" << false;
        QTest::newRow("shell signs") << "a$(x)" << false;
        QTest::newRow("a line end") << "a\n" << false;
        QTest::newRow("a letter beyond ASCII") << "Knoten-\u00fc" << false;
        QTest::newRow("a colon (Windows streams)") << "a:b" << false;
    }
    void usableNames() {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(tw::panel::usableNodeName(name), usable);
        if (!usable) {
            // Refused before anything is made, as a wrong use.
            const CommandRun ran = run({QStringLiteral("--add-node"), name});
            QCOMPARE(ran.status, 2);
            QVERIFY(ran.err.contains(QStringLiteral("is no usable name")));
            QCOMPARE(files(), QStringList());
        }
    }

    void readsTheOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Asked>("asked");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("add") << QStringList{"--add-node", "BTC"} << Asked::AddNode
                             << QStringList{"BTC"};
        QTest::newRow("remove") << QStringList{"--remove-node", "BTC"} << Asked::RemoveNode
                                << QStringList{"BTC"};
        QTest::newRow("list") << QStringList{"--list-nodes"} << Asked::ListNodes << QStringList{};
        QTest::newRow("autostart on") << QStringList{"--node-autostart", "BTC", "on"}
                                      << Asked::NodeAutostart << QStringList{"BTC", "on"};
        QTest::newRow("autostart off") << QStringList{"--node-autostart", "BTC", "off"}
                                       << Asked::NodeAutostart << QStringList{"BTC", "off"};
        // A name that looks like an option is the name, refused by its rule.
        QTest::newRow("an option as the name")
            << QStringList{"--add-node", "--check"} << Asked::AddNode << QStringList{"--check"};
        QTest::newRow("add without a name")
            << QStringList{"--add-node"} << Asked::Wrong << QStringList{};
        QTest::newRow("add with two names")
            << QStringList{"--add-node", "A", "B"} << Asked::Wrong << QStringList{};
        QTest::newRow("after a Qt option")
            << QStringList{"-style", "Fusion", "--add-node", "A"} << Asked::Wrong << QStringList{};
        QTest::newRow("with --check")
            << QStringList{"--check", "--remove-node", "A"} << Asked::Wrong << QStringList{};
        QTest::newRow("list with a name")
            << QStringList{"--list-nodes", "A"} << Asked::Wrong << QStringList{};
        QTest::newRow("autostart sideways")
            << QStringList{"--node-autostart", "A", "yes"} << Asked::Wrong << QStringList{};
        QTest::newRow("autostart without on or off")
            << QStringList{"--node-autostart", "A"} << Asked::Wrong << QStringList{};
    }
    void readsTheOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(Asked, asked);
        QFETCH(QStringList, values);
        const tw::panel::commandline::Reading reading = tw::panel::commandline::read(arguments);
        QCOMPARE(reading.asked, asked);
        if (asked == Asked::Wrong)
            QVERIFY2(reading.problem.contains(QStringLiteral("with no other argument")),
                     qPrintable(reading.problem));
        else
            QCOMPARE(reading.values, values);
    }

    // The entry is the text tw-cli-ui-node wrote before the program took
    // the work over, byte for byte, with the link's path quoted by the
    // desktop entry rules (the folder's blanks and "$").
    void addMakesTheLinkAndTheMenuEntry() {
        const CommandRun ran = run({"--add-node", "BTC-A"});
        QCOMPARE(ran.status, 0);
        QCOMPARE(ran.err, QString());
        QCOMPARE(target(link("BTC-A")), program());
        QCOMPARE(readAll(entry("BTC-A")),
                 QByteArray("[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=TW-CLI-UI \xe2\x80\x93 BTC-A\n"
                            "GenericName=Full node control panel\n"
                            "Comment=The TW-CLI-UI panel with the configuration TW-CLI-UI-BTC-A\n"
                            "Exec=\"") +
                     QFile::encodeName(bin()).replace("$", "\\\\$") +
                     QByteArray("/TW-CLI-UI-BTC-A\"\n"
                                "Icon=io.github.tw_cli_ui.TWCLIUI\n"
                                "Terminal=false\n"
                                "Categories=Network;Monitor;\n"
                                "StartupWMClass=TW-CLI-UI-BTC-A\n"));
        QCOMPARE(ran.out.split(u'\n').first(),
                 QStringLiteral("TW-CLI-UI: TW-CLI-UI-BTC-A is ready: %1 and its menu entry")
                     .arg(link("BTC-A")));
        QCOMPARE(files(), QStringList({"TW-CLI-UI-BTC-A",
                                       "io.github.tw_cli_ui.TWCLIUI.node-BTC-A.desktop"}));
    }

    // The note about PATH only where the links' folder is not on it.
    void addNotesAFolderOffPath_data() {
        QTest::addColumn<bool>("onPath");
        QTest::newRow("on PATH") << true;
        QTest::newRow("off PATH") << false;
    }
    void addNotesAFolderOffPath() {
        QFETCH(bool, onPath);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", onPath ? QByteArray("/usr/bin:") + QFile::encodeName(bin()) + ":/bin"
                               : QByteArray("/usr/bin:/bin"));
        const CommandRun ran = run({"--add-node", "BTC-A"});
        qputenv("PATH", path);
        QCOMPARE(ran.status, 0);
        QCOMPARE(ran.out.contains(QStringLiteral("is not on your PATH")), !onPath);
    }

    // What stands in the link's place: a link is the program's to renew or
    // take away; a file or folder of the user's is left alone, and so is
    // everything else of that node.
    void theLinksPlace_data() {
        QTest::addColumn<Before>("before");
        QTest::addColumn<int>("addStatus");
        QTest::addColumn<int>("removeStatus");
        QTest::newRow("nothing") << Before::Nothing << 0 << 1;
        QTest::newRow("our own link") << Before::OurLink << 0 << 0;
        QTest::newRow("a link elsewhere") << Before::OtherLink << 0 << 0;
        QTest::newRow("a link that leads nowhere") << Before::DanglingLink << 0 << 0;
        QTest::newRow("a file of the user's") << Before::File << 1 << 1;
        QTest::newRow("a folder of the user's") << Before::Folder << 1 << 1;
    }
    void theLinksPlace() {
        QFETCH(Before, before);
        QFETCH(int, addStatus);
        QFETCH(int, removeStatus);
        QVERIFY(QDir().mkpath(bin()));
        const QString place = link("N1");
        const QByteArray placeName = QFile::encodeName(place);
        switch (before) {
        case Before::Nothing:
            break;
        case Before::OurLink:
            QVERIFY(::symlink(QFile::encodeName(program()).constData(), placeName.constData()) ==
                    0);
            break;
        case Before::OtherLink:
            QVERIFY(::symlink("/bin/sh", placeName.constData()) == 0);
            break;
        case Before::DanglingLink:
            QVERIFY(::symlink("/nowhere/at/all", placeName.constData()) == 0);
            break;
        case Before::File:
            QVERIFY(writeAll(place, "mine"));
            break;
        case Before::Folder:
            QVERIFY(QDir().mkpath(place));
            break;
        }
        const bool foreign = before == Before::File || before == Before::Folder;

        // A remove before any add: only a link of that name is a node.
        CommandRun ran = run({"--remove-node", "N1"});
        QCOMPARE(ran.status, removeStatus);
        if (removeStatus != 0)
            QVERIFY2(ran.err.contains(foreign ? place : QStringLiteral("no node \"N1\"")),
                     qPrintable(ran.err));
        QCOMPARE(there(place), foreign);

        ran = run({"--add-node", "N1"});
        QCOMPARE(ran.status, addStatus);
        if (foreign) {
            QVERIFY2(ran.err.contains(place) && ran.err.contains(QStringLiteral("left alone")),
                     qPrintable(ran.err));
            QVERIFY(!QFileInfo(place).isSymLink());
            QVERIFY(!there(entry("N1")));
            // A menu entry made earlier stays beside the user's file.
            QVERIFY(QDir().mkpath(applications()));
            QVERIFY(writeAll(entry("N1"), "[Desktop Entry]\n"));
            QCOMPARE(run({"--remove-node", "N1"}).status, 1);
            QVERIFY(there(entry("N1")));
            if (before == Before::File)
                QCOMPARE(readAll(place), QByteArray("mine"));
            else
                QVERIFY(QFileInfo(place).isDir());
        } else {
            QCOMPARE(target(place), program());
            QCOMPARE(run({"--remove-node", "N1"}).status, 0);
            QVERIFY(!there(place));
            QVERIFY(!there(entry("N1")));
        }
    }

    // remove takes whatever of the node is left; a node is known by any
    // one of its three files.
    void removeTakesWhatIsThere_data() {
        QTest::addColumn<bool>("hasLink");
        QTest::addColumn<bool>("hasEntry");
        QTest::addColumn<bool>("hasLogin");
        for (int mask = 0; mask < 8; ++mask)
            QTest::addRow("link %d, menu entry %d, autostart %d", mask & 1, (mask >> 1) & 1,
                          (mask >> 2) & 1)
                << bool(mask & 1) << bool(mask & 2) << bool(mask & 4);
    }
    void removeTakesWhatIsThere() {
        QFETCH(bool, hasLink);
        QFETCH(bool, hasEntry);
        QFETCH(bool, hasLogin);
        QCOMPARE(run({"--add-node", "N2"}).status, 0);
        QCOMPARE(run({"--node-autostart", "N2", "on"}).status, 0);
        if (!hasLink)
            QVERIFY(QFile::remove(link("N2")));
        if (!hasEntry)
            QVERIFY(QFile::remove(entry("N2")));
        if (!hasLogin)
            QVERIFY(QFile::remove(loginEntry("N2")));
        const CommandRun ran = run({"--remove-node", "N2"});
        const bool any = hasLink || hasEntry || hasLogin;
        QCOMPARE(ran.status, any ? 0 : 1);
        QCOMPARE(ran.out.contains(QStringLiteral("TW-CLI-UI-N2 removed")), any);
        QCOMPARE(files(), QStringList());
    }

    // list: the menu entries' names, sorted, "(starts at login)" where the
    // autostart entry is there and no desktop turned it off.
    void listSaysWhichStartAtLogin() {
        for (const char* name : {"LTC", "BTC-B", "BTC-A", "DASH"})
            QCOMPARE(run({"--add-node", name}).status, 0);
        QCOMPARE(run({"--node-autostart", "BTC-A", "on"}).status, 0);
        QCOMPARE(run({"--node-autostart", "LTC", "on"}).status, 0);
        QCOMPARE(run({"--node-autostart", "DASH", "on"}).status, 0);
        // A desktop's settings turned DASH off in its entry.
        QVERIFY(writeAll(loginEntry("DASH"), readAll(loginEntry("DASH")) + "Hidden=true\n"));
        // An entry that leads nowhere is none.
        QVERIFY(::symlink("/nowhere", QFile::encodeName(entry("GONE")).constData()) == 0);
        const CommandRun ran = run({"--list-nodes"});
        QCOMPARE(ran.status, 0);
        QCOMPARE(ran.out, QStringLiteral("BTC-A (starts at login)\nBTC-B\nDASH\nLTC (starts at "
                                         "login)\n"));
        QCOMPARE(run({"--node-autostart", "BTC-A", "off"}).status, 0);
        QVERIFY(!there(loginEntry("BTC-A")));
        QVERIFY(run({"--list-nodes"}).out.startsWith(QStringLiteral("BTC-A\nBTC-B\n")));
    }

    // The autostart entry is the panel's own for that configuration, run
    // through the node's link; a node that is not there is refused.
    void autostart() {
        CommandRun ran = run({"--node-autostart", "N3", "on"});
        QCOMPARE(ran.status, 1);
        QVERIFY2(ran.err.contains(link("N3")), qPrintable(ran.err));
        QVERIFY(!there(loginEntry("N3")));
        ran = run({"--node-autostart", "N3", "off"});
        QCOMPARE(ran.status, 1);
        QVERIFY2(ran.err.contains(QStringLiteral("no node \"N3\"")), qPrintable(ran.err));

        QCOMPARE(run({"--add-node", "N3"}).status, 0);
        ran = run({"--node-autostart", "N3", "on"});
        QCOMPARE(ran.status, 0);
        QCOMPARE(readAll(loginEntry("N3")),
                 tw::platform::XdgAutostart::entry(QStringLiteral("TW-CLI-UI-N3"), link("N3")));
        QCOMPARE(ran.out, QStringLiteral("TW-CLI-UI: TW-CLI-UI-N3 starts at login\n"));
        // Off again, and off when it is off already: the node is there.
        QCOMPARE(run({"--node-autostart", "N3", "off"}).status, 0);
        QCOMPARE(run({"--node-autostart", "N3", "off"}).status, 0);
        QVERIFY(!there(loginEntry("N3")));
    }

    // A folder the links cannot be made in (a file in its place): a
    // failure that says why, status 1, no menu entry.
    void aFolderThatTakesNoLink() {
        QVERIFY(QDir().mkpath(QFileInfo(bin()).path()));
        QVERIFY(writeAll(bin(), "a file"));
        const CommandRun ran = run({"--add-node", "N4"});
        QCOMPARE(ran.status, 1);
        QVERIFY2(ran.err.contains(QStringLiteral("cannot create folder %1").arg(bin())),
                 qPrintable(ran.err));
        QVERIFY(!there(entry("N4")));
        QCOMPARE(readAll(bin()), QByteArray("a file"));
    }
};

QTEST_GUILESS_MAIN(TestNodeCommand)
#include "tst_node_command.moc"
