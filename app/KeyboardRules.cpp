#include "app/KeyboardRules.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace tw::app {

void KeyboardRules::install(QWidget* window) {
    new KeyboardRules(window);
}

KeyboardRules::KeyboardRules(QWidget* window) : QObject(window), window_(window) {
    window_->installEventFilter(this);
    for (QWidget* control : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        designed_.insert(control, control->focusPolicy());
        control->installEventFilter(this);
        // Only the pointer's value is used once the control is gone.
        connect(control, &QObject::destroyed, this, [this, control] { designed_.remove(control); });
    }
    orderTabs();
    updateReach();
}

void KeyboardRules::orderTabs() {
    std::vector<QWidget*> ordered;
    for (auto it = designed_.cbegin(); it != designed_.cend(); ++it)
        if (it.value() & Qt::TabFocus)
            ordered.push_back(it.key());
    std::sort(ordered.begin(), ordered.end(), [](const QWidget* a, const QWidget* b) {
        const QRect x = a->geometry();
        const QRect y = b->geometry();
        return std::pair(x.top(), x.left()) < std::pair(y.top(), y.left());
    });
    for (std::size_t i = 1; i < ordered.size(); ++i)
        QWidget::setTabOrder(ordered[i - 1], ordered[i]);
}

void KeyboardRules::updateReach() {
    const QRect visible = window_->rect();
    for (auto it = designed_.cbegin(); it != designed_.cend(); ++it) {
        const Qt::FocusPolicy policy =
            visible.intersects(it.key()->geometry()) ? it.value() : Qt::NoFocus;
        if (it.key()->focusPolicy() != policy)
            it.key()->setFocusPolicy(policy);
    }
    // The focus does not stay on a control that went out of sight.
    QWidget* focus = window_->focusWidget();
    if (focus && designed_.contains(focus) && focus->focusPolicy() == Qt::NoFocus)
        focusFirst();
}

void KeyboardRules::focusFirst() {
    for (QWidget* control = window_->nextInFocusChain(); control != window_;
         control = control->nextInFocusChain()) {
        if (designed_.contains(control) && (control->focusPolicy() & Qt::TabFocus) &&
            control->isEnabled() && control->isVisibleTo(window_)) {
            control->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

bool KeyboardRules::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == window_)
            updateReach();
        break;
    case QEvent::Show:
        if (watched == window_) {
            window_->setAttribute(Qt::WA_KeyboardFocusChange);
            updateReach();
            if (!window_->focusWidget())
                focusFirst();
        }
        break;
    case QEvent::KeyPress: {
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!key->isAutoRepeat() && button->isEnabled())
                button->click();
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        // Qt moves the focus on from a control that is greyed.
        if (qobject_cast<QPushButton*>(watched) && !control->isEnabled()) {
            if (!returnTo_ || movedTo_ != control)
                returnTo_ = control;
            movedTo_ = nullptr;
            awaitingMove_ = true;
        }
        break;
    case QEvent::FocusIn:
        if (awaitingMove_) {
            movedTo_ = control;
            awaitingMove_ = false;
        } else if (control != returnTo_) {
            returnTo_ = nullptr; // the user moved the focus
        }
        break;
    case QEvent::EnabledChange:
        if (watched == returnTo_ && control->isEnabled()) {
            // Where Qt put it (or nowhere, when nothing could take it).
            if (window_->focusWidget() == movedTo_.data())
                control->setFocus(Qt::OtherFocusReason);
            returnTo_ = nullptr;
            awaitingMove_ = false;
            movedTo_ = nullptr;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tw::app
