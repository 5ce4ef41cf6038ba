#include "tests/support/ScriptRunner.h"

#include "app/Colours.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <memory>

namespace tw::test {

ScriptRunner::ScriptRunner(TestRig& rig) : rig_(rig) {}

const QMap<QString, QString>& ScriptRunner::controlNames() {
    static const QMap<QString, QString> names{
        // Buttons
        {"G-B-C", "GETBLOCKCOUNT_BUTTON"},
        {"G-C-C", "GETCONNECTIONCOUNT_BUTTON"},
        {"SETTINGS", "SETTINGS_BUTTON"},
        {"SHUTDOWN", "SHUTDOWN_BUTTON"},
        {"START-STOP", "START_STOP_BUTTON"},
        // Tick boxes
        {"AUTO-START", "AUTOSTART_TICKBOX"},
        {"AUTO-STOP", "CLI_STOP_BAT_TICKBOX"},
        {"AUTO-CLOSE", "AUTOCLOSE_TIMER_TICKBOX"},
        {"AUTO-GBC", "CLI_GBC_BAT_TICKBOX"},
        {"AUTO-GCC", "CLI_GCC_BAT_TICKBOX"},
        {"P-4-P", "P4P_TICKBOX"},
        {"RUN-COMMAND", "RUN_COMMAND_TICKBOX"},
        {"EXTERNAL-FILE", "UPDATE_EXTERNAL_FILE_TICKBOX"},
        // Timers
        {"COUNTDOWN", "COUNTDOWN_TIMER"},
        {"WATCHER", "CLI_PROCESS_WATCHER_TIMER"},
        {"GBC", "GETBLOCKCOUNT_COMMAND_TIMER"},
        {"GCC", "GETCONNECTIONCOUNT_COMMAND_TIMER"},
        {"UNLOAD", "UNLOAD_TIMER"},
        {"LOOP", "GET_LOOP_TIMER"},
        {"P4P-END", "P4P_END_TIMER"},
    };
    return names;
}

QString ScriptRunner::objectName(const QString& name) {
    return controlNames().value(name, name);
}

QStringList ScriptRunner::storeTicked(TestRig& rig, const QString& setup) {
    QStringList others;
    for (const QString& name : setup.split(' ', Qt::SkipEmptyParts))
        if (objectName(name).endsWith("_TICKBOX"))
            rig.store(objectName(name), "1");
        else
            others << name;
    return others;
}

QString ScriptRunner::colourName(const QColor& colour) {
    using namespace app::colour;
    const QList<std::pair<QColor, const char*>> names{{Pink, "pink"},
                                                      {Yellow, "yellow"},
                                                      {Cyan, "cyan"},
                                                      {Red, "red"},
                                                      {Green, "green"},
                                                      {Black, "black"},
                                                      {LightGrey, "light-grey"},
                                                      {windowBackground(), "window"}};
    for (const auto& [known, name] : names)
        if (known == colour)
            return QString::fromLatin1(name);
    return colour.name();
}

QString ScriptRunner::escaped(QString text) {
    return text.replace('\r', "\\r").replace('\n', "\\n");
}

QString ScriptRunner::unescaped(QString text) {
    return text.replace("\\r", "\r").replace("\\n", "\n");
}

void ScriptRunner::addStep(const QString& word, Action action) {
    steps_.insert(word, std::move(action));
}

void ScriptRunner::addField(const QString& name, Reader read) {
    fields_.emplace_back(name, std::move(read));
}

void ScriptRunner::addListField(const QString& name, std::function<QStringList()> read) {
    addField(name, [read = std::move(read)] { return read().join(','); });
}

void ScriptRunner::addTextField(const QString& name, const QString& control) {
    addField(name, [this, control] {
        const QWidget* widget = rig_.window().findChild<QWidget*>(objectName(control));
        return widget ? escaped(widget->property("text").toString())
                      : "<no control " + control + ">";
    });
}

void ScriptRunner::addColourField(const QString& name, const QString& control) {
    addField(name, [this, control] { return colourName(rig_.colour(objectName(control))); });
}

void ScriptRunner::addReportedField(const QString& name, const QStringList& keys) {
    addField(name, [this, keys] {
        QStringList reported;
        for (const QString& key : keys)
            if (rig_.diagnostics.isReported(key))
                reported << key;
        return reported.join(',');
    });
}

namespace {

// The names whose object is found and passes `on`, joined by commas; a name
// without its object shows as "<no what name>", so a typo fails the row.
template <typename Object, typename Find, typename On>
QString namesWhere(const QStringList& names, const char* what, Find find, On on) {
    QStringList out;
    for (const QString& name : names) {
        const Object* object = find(name);
        if (!object)
            out << QStringLiteral("<no %1 %2>").arg(QLatin1String(what), name);
        else if (on(object))
            out << name;
    }
    return out.join(',');
}

} // namespace

void ScriptRunner::addTimersField(const QString& name, const QStringList& timers) {
    addField(name, [this, timers] {
        const auto all = rig_.window().findChildren<app::WindowTimer*>();
        const auto find = [&](const QString& timer) -> const app::WindowTimer* {
            const auto it = std::find_if(all.cbegin(), all.cend(), [&](const app::WindowTimer* t) {
                return t->name() == objectName(timer);
            });
            return it == all.cend() ? nullptr : *it;
        };
        return namesWhere<app::WindowTimer>(
            timers, "timer", find, [](const app::WindowTimer* t) { return t->isEnabled(); });
    });
}

void ScriptRunner::addEnabledField(const QString& name, const QStringList& controls) {
    addField(name, [this, controls] {
        return namesWhere<QWidget>(
            controls, "control",
            [this](const QString& c) { return rig_.window().findChild<QWidget*>(objectName(c)); },
            [](const QWidget* w) { return w->isEnabled(); });
    });
}

void ScriptRunner::addTickedField(const QString& name, const QStringList& boxes) {
    addField(name, [this, boxes] {
        return namesWhere<QAbstractButton>(
            boxes, "control",
            [this](const QString& b) {
                return rig_.window().findChild<QAbstractButton*>(objectName(b));
            },
            [](const QAbstractButton* b) { return b->isChecked(); });
    });
}

QStringList ScriptRunner::fieldNames() const {
    QStringList names;
    for (const auto& field : fields_)
        names << field.first;
    return names;
}

QString ScriptRunner::value(const QString& field) const {
    for (const auto& [name, read] : fields_)
        if (name == field)
            return read();
    return QString();
}

QString ScriptRunner::state() const {
    QString text;
    for (const auto& [name, read] : fields_)
        text += "\n  " + name + '=' + read();
    return text;
}

bool ScriptRunner::run(const QString& script) {
    script_.clear();
    for (const QString& step : script.split(';'))
        if (!step.trimmed().isEmpty())
            script_ << step.trimmed();
    failure_.clear();
    runFrom(0);
    return failure_.isEmpty();
}

void ScriptRunner::runFrom(qsizetype first) {
    for (qsizetype i = first; i < script_.size() && failure_.isEmpty(); ++i)
        if (!runStep(i))
            return;
}

void ScriptRunner::fail(const QString& why) {
    if (!failure_.isEmpty())
        return; // the first failure stands
    const qint64 now = rig_.clock.now();
    const QString minutes =
        now > 0 && now % 60000 == 0 ? QString(" (%1 min)").arg(now / 60000) : "";
    failure_ = QString("step %1 of %2 \"%3\" at %4 ms%5: %6\nthe state then:%7")
                   .arg(current_ + 1)
                   .arg(script_.size())
                   .arg(script_.value(current_))
                   .arg(now)
                   .arg(minutes, why, state());
}

bool ScriptRunner::expect(const QString& what, const QString& expected, const QString& seen) {
    if (seen != expected)
        fail(QString("%1 was \"%2\", expected \"%3\"").arg(what, seen, expected));
    return seen == expected;
}

QAbstractButton* ScriptRunner::button(const QString& name) {
    auto* button =
        rig_.started() ? rig_.window().findChild<QAbstractButton*>(objectName(name)) : nullptr;
    if (!button)
        fail("no button or tick box " + name);
    return button;
}

bool ScriptRunner::runStep(qsizetype index) {
    current_ = index;
    const QString step = script_[index], rest = step.mid(1);
    const QString word = step.section(' ', 0, 0), argument = step.section(' ', 1);
    if (step.startsWith('@')) {
        const qint64 unit = rest.endsWith('m') ? 60000 : rest.endsWith('s') ? 1000 : 1;
        bool number = false;
        const qint64 at = (unit == 1 ? rest : rest.chopped(1)).toLongLong(&number) * unit;
        if (!number || at < rig_.clock.now())
            fail("not a time to move on to");
        else
            rig_.advance(at - rig_.clock.now());
        return true;
    }
    if (step.startsWith('!')) {
        if (auto* control = button(rest))
            control->click();
    } else if (step.startsWith('+') || step.startsWith('-')) {
        rig_.processes.setRunning(rest, step.startsWith('+') ? 1 : 0);
    } else if (word == "tick" || word == "untick") {
        if (auto* box = button(argument))
            box->setChecked(word == "tick");
    } else if (word == "set") {
        const QString name = objectName(argument.section('=', 0, 0));
        if (auto* box = rig_.started() ? rig_.window().findChild<QLineEdit*>(name) : nullptr)
            box->setText(argument.section('=', 1));
        else
            fail("no text box " + name);
    } else if (word == "open") {
        // The modal window's own loop runs the rest of the script; the
        // click returns when the window has closed.
        bool opened = false;
        const auto pending = std::make_unique<QObject>(); // gone: the rest is not run later
        QTimer::singleShot(0, pending.get(), [this, index, &opened] {
            opened = true;
            runFrom(index + 1);
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        if (auto* control = button(argument))
            control->click();
        if (!opened) {
            current_ = index;
            fail(argument + " opened no modal window");
        }
        return false;
    } else if (steps_.contains(word)) {
        steps_[word](argument);
    } else if (const QString field = step.section('=', 0, 0);
               step.contains('=') && fieldNames().contains(field)) {
        expect(field, step.section('=', 1), value(field));
        return true;
    } else {
        fail("no such step or field");
        return true;
    }
    if (afterEachAction && failure_.isEmpty())
        afterEachAction();
    return true;
}

} // namespace tw::test
