#include "ui/commandkeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace {

// The X server stamps both halves of a repeat with one time; Qt's own
// check allows this much between them.
constexpr quint64 pairSpread = 10; // ms

QKeyCombination combinationOf(const QKeyEvent *event)
{
    // Keypad Enter comes with the keypad flag; the keys are bound without it.
    return QKeyCombination(event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier),
                           Qt::Key(event->key()));
}

bool isModifier(int key)
{
    return key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt || key == Qt::Key_Meta
           || key == Qt::Key_AltGr || key == Qt::Key_unknown || key == 0;
}

} // namespace

CommandKeys::CommandKeys(QWidget *window)
    : QObject(window), m_window(window), m_pairedRepeats(QGuiApplication::platformName() == QLatin1String("xcb"))
{
    m_wait.setSingleShot(true);
    m_wait.setInterval(repeatWait);
    connect(&m_wait, &QTimer::timeout, this, &CommandKeys::finishReleased);
    // Application-wide, so the keys are seen before any shortcut or widget
    // of the window, whichever control has the focus.
    qApp->installEventFilter(this);
}

void CommandKeys::addButton(QAbstractButton *button, const QList<QKeySequence> &keys)
{
    // Empty where the system has no mnemonics (macOS): Qt then shows none.
    m_bindings.push_back({button, keys, QKeySequence::mnemonic(button->text())});
}

QString CommandKeys::keyNames(const QAbstractButton *button) const
{
    QStringList names;
    for (const Binding &b : m_bindings) {
        if (b.button != button)
            continue;
        if (!b.keys.isEmpty())
            names << nativeName(b.keys.front());
        if (!b.mnemonic.isEmpty())
            names << nativeName(b.mnemonic);
    }
    return names.join(QLatin1String(", "));
}

QString CommandKeys::nativeName(const QKeySequence &key)
{
    QString name = key.toString(QKeySequence::NativeText);
    const Qt::Key last = key.isEmpty() ? Qt::Key_unknown : key[key.count() - 1].key();
    if (last == Qt::Key_Plus || last == Qt::Key_Minus) {
        name.chop(1);
        name += last == Qt::Key_Plus ? QLatin1String("plus") : QLatin1String("minus");
    }
    return name;
}

std::optional<CommandKeys::Hold> CommandKeys::commandFor(const QKeyEvent *event, QWidget *target) const
{
    const QKeyCombination combination = combinationOf(event);
    for (const Binding &b : m_bindings) {
        if (!b.button->isEnabled())
            continue;
        for (const QKeySequence &key : b.keys)
            if (key.count() == 1 && key[0] == combination)
                return Hold{event->key(), b.button, Action::Click, false};
        if (!b.mnemonic.isEmpty() && b.mnemonic[0] == combination)
            return Hold{event->key(), b.button, Action::Flash, false};
        if (target == b.button && combination == QKeyCombination(Qt::Key_Space))
            return Hold{event->key(), b.button, Action::Press, false};
    }
    return std::nullopt;
}

bool CommandKeys::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    // Only the window's own controls: a modal box on top has the focus and
    // gets its keys as usual. The toplevel QWindow sees each key before the
    // control does and is no widget.
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != m_window)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    bool taken = false;
    if (type == QEvent::ShortcutOverride) {
        // Accepted, the key comes as a plain press instead of running
        // a shortcut or a mnemonic.
        const bool ours = (m_held && m_held->key == key->key()) || (m_released && m_released->key == key->key());
        taken = ours || commandFor(key, target).has_value();
    } else if (type == QEvent::KeyPress) {
        taken = press(key, target);
    } else {
        taken = release(key);
    }
    // Accepted too, or the event goes on to the control's parents.
    if (taken)
        key->accept();
    return taken;
}

bool CommandKeys::press(QKeyEvent *event, QWidget *target)
{
    const int key = event->key();
    // A key cannot go down twice without coming up: a repeat, whether it
    // says so or not (Windows sends these with no release between).
    if (m_held && m_held->key == key)
        return true;
    const bool pairsWithLastRelease = m_pairedRepeats && key == m_lastKey && event->timestamp() >= m_lastReleaseTime
                                      && event->timestamp() - m_lastReleaseTime <= pairSpread;
    if (m_released && m_released->key == key && (pairsWithLastRelease || event->isAutoRepeat())) {
        m_wait.stop();
        m_held = m_released;
        m_released.reset();
        return true;
    }
    std::optional<Hold> command = commandFor(event, target);
    if (!command)
        return false;
    // Another key pressed meanwhile: the earlier press still counts once.
    finishReleased();
    if (m_held) {
        const Hold earlier = *m_held;
        m_held.reset();
        finish(earlier);
    }
    // The repeat of a press this window never saw (it went to a box closed
    // since), or the late half of a pair whose release already ran its
    // command: it runs nothing.
    command->done = event->isAutoRepeat() || pairsWithLastRelease;
    m_held = command;
    if (command->action == Action::Press)
        command->button->setDown(true);
    return true;
}

bool CommandKeys::release(QKeyEvent *event)
{
    const int key = event->key();
    if (isModifier(key))
        return false;
    const bool held = m_held && m_held->key == key;
    if (held && event->isAutoRepeat())
        return true; // its press is already waiting
    m_lastKey = key;
    m_lastReleaseTime = event->timestamp();
    if (!held)
        return false;
    const Hold hold = *m_held;
    m_held.reset();
    if (m_pairedRepeats) {
        m_released = hold;
        m_wait.start();
    } else {
        finish(hold);
    }
    return true;
}

void CommandKeys::finishReleased()
{
    m_wait.stop();
    if (!m_released)
        return;
    const Hold hold = *m_released;
    m_released.reset();
    finish(hold);
}

void CommandKeys::finish(Hold hold)
{
    // The state is settled before the command runs: it may open a modal box
    // whose own event loop brings more keys.
    if (hold.action == Action::Press)
        hold.button->setDown(false);
    if (hold.done)
        return;
    switch (hold.action) {
    case Action::Click:
    case Action::Press:
        hold.button->click();
        break;
    case Action::Flash:
        hold.button->animateClick();
        break;
    }
}
