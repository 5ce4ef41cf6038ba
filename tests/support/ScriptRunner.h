#pragma once
// Behaviour scripts over a TestRig: one row of a test's table is a script of
// steps, run on virtual time, whose checks compare named state fields.
//
// A script is a list of steps separated by ';'. Every test has these:
//   @T            move virtual time on to T ms after the start (@Ts: seconds,
//                 @Tm: minutes)
//   !NAME         click that button or tick box
//   open NAME     click NAME, which opens a modal window: the rest of the
//                 script runs while it is open; should it stay open, it is
//                 closed at the end
//   tick NAME     tick / untick that tick box, as code does (also when it is
//   untick NAME   greyed): its click behaviour runs on a real change
//   set NAME=x    put text x into that text box
//   +name -name   a program of that image name starts / ends
//   field=value   check: the state field reads exactly value now
// and further steps `word argument` that each test adds. NAME is a control's
// short name (G-B-C, AUTO-START, see controlNames()) or its objectName.
//
// A failing step stops the script; failure() then says the step, the
// virtual time, the field, what was expected and what was seen, and every
// field of the state.

#include "tests/support/TestRig.h"

#include <QColor>
#include <QMap>
#include <QStringList>

#include <functional>
#include <vector>

namespace tw::test {

class ScriptRunner {
public:
    using Action = std::function<void(const QString& argument)>;
    using Reader = std::function<QString()>;

    explicit ScriptRunner(TestRig& rig);

    // A step `word` or `word argument` of this test.
    void addStep(const QString& word, Action action);
    // A state field, read when it is checked or the state is shown.
    void addField(const QString& name, Reader read);
    // A list, its entries separated by ','.
    void addListField(const QString& name, std::function<QStringList()> read);
    // A control's text (CR and LF escaped), its background colour's name.
    void addTextField(const QString& name, const QString& control);
    void addColourField(const QString& name, const QString& control);
    // Which of these diagnostics keys are reported now, separated by ','.
    void addReportedField(const QString& name, const QStringList& keys);
    // Fields that list, in the given order and separated by ',', the short
    // names of the controls or timers that are on: timers enabled, controls
    // enabled, tick boxes (buttons) ticked.
    void addTimersField(const QString& name, const QStringList& timers);
    void addEnabledField(const QString& name, const QStringList& controls);
    void addTickedField(const QString& name, const QStringList& boxes);
    // Runs after every step that acts (not after a clock step or a check).
    std::function<void()> afterEachAction;

    // Runs the script; false when a step failed (see failure()).
    [[nodiscard]] bool run(const QString& script);
    QString failure() const { return failure_; }

    // For a step's action: fail the running step. expect() fails it when
    // `seen` differs from `expected`, and says both.
    void fail(const QString& why);
    bool expect(const QString& what, const QString& expected, const QString& seen);

    QStringList fieldNames() const;
    QString value(const QString& field) const;
    // Every field, one "name=value" a line.
    QString state() const;

    // Before the rig starts: each tick box of the setup (names separated by
    // blanks) stored ticked. Returns the setup's other words.
    static QStringList storeTicked(TestRig& rig, const QString& setup);
    // The short names of the main window's controls and timers.
    static const QMap<QString, QString>& controlNames();
    // The objectName of a control or timer given by its short name (any
    // other name is taken as the objectName itself).
    static QString objectName(const QString& name);
    // The name of a status colour ("pink", "window", ...), else its #rrggbb.
    static QString colourName(const QColor& colour);
    // Text with CR and LF written \r and \n, and back.
    static QString escaped(QString text);
    static QString unescaped(QString text);

private:
    void runFrom(qsizetype first);
    // False when the rest of the script was handed on (to run in a modal
    // window's loop).
    bool runStep(qsizetype index);
    QAbstractButton* button(const QString& name);

    TestRig& rig_;
    QMap<QString, Action> steps_;
    std::vector<std::pair<QString, Reader>> fields_;
    QStringList script_;
    qsizetype current_ = -1;
    QString failure_;
};

} // namespace tw::test

// In a test function: runs the script, and fails the test with the runner's
// message when a step fails.
#define TW_RUN_SCRIPT(runner, ...)                                                                 \
    do {                                                                                           \
        if (!(runner).run(__VA_ARGS__))                                                            \
            QFAIL(qPrintable((runner).failure()));                                                 \
    } while (false)
