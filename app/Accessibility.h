#pragma once
// What a screen reader says of the windows' controls. Qt names a button or a
// tick box by its caption and a label by its text; these name the fields and
// say the states that the status colours show.

#include <QString>

class QLabel;
class QWidget;

namespace tw::app {

// The label names its field: it becomes the field's buddy, and the field is
// named by the label's text as it reads now, without a closing colon
// ("Current Block").
void nameByLabel(QLabel* label, QWidget* field);

// The name of a field that has no label of its own (the countdown, the
// programs' file names, the pieces and paths of the command lines), by its
// objectName, in the user's language; empty for any other control.
QString fieldName(const QString& objectName);

// What a field of the settings window's lower band holds, for a person:
// the pieces of the command lines, the file names, the full paths; empty for
// any other control.
QString fieldDescription(const QString& objectName);

// The state that a control's colour shows ("query running", "failed: …",
// "counting down"), said after its name and value. Empty says nothing more
// (a tooltip, such as the last failure, then stands in).
void describeState(QWidget* control, const QString& state);

// Windows built on a plain QWidget (the main window; the history, node and
// nodes windows) are read as windows, not as anonymous panes. Once per
// program; the main window's constructor sees to it.
void readPlainWindowsAsWindows();

} // namespace tw::app
