#pragma once
#include <QHash>
#include <QObject>
#include <QPointer>

class QWidget;

namespace tw::app {

// The keyboard rules of the program's forms, put on a window once its
// controls are built (its direct children, placed by the twips tables):
// - Tab walks the controls as they stand in the window: from the top down,
//   and controls at the same height from the left.
// - Tab reaches only controls inside the window's visible area. A control
//   below the window's edge takes no focus (and so no typing) until the
//   window is enlarged to show it.
// - Enter and the keypad's Enter press the focused button, as Space does; a
//   held key presses it once.
// - The focus is shown from the start: the window draws it as it does after
//   a Tab, and the first control in reach takes it when the window shows.
// - A button greyed while it had the focus (a query's client running) takes
//   the focus back once it is enabled again, unless the user has moved the
//   focus meanwhile.
// The focus policy each control has when the rules are put on it is its
// designed one: a control that should never take the focus has Qt::NoFocus
// by then.
class KeyboardRules : public QObject {
public:
    static void install(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit KeyboardRules(QWidget* window);
    void orderTabs();
    void updateReach();
    void focusFirst();

    QWidget* window_;
    QHash<QWidget*, Qt::FocusPolicy> designed_;
    // The button that lost the focus by being greyed, and where Qt moved it.
    QPointer<QWidget> returnTo_;
    QPointer<QWidget> movedTo_;
    bool awaitingMove_ = false;
};

} // namespace tw::app
