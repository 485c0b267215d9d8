#include "ui/commandkeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

namespace {

// The X server stamps both halves of a repeat with the time it made them,
// read once or twice in a row. No hand lets a key go and presses it again
// within this many milliseconds.
constexpr quint64 pairSpread = 2; // ms

QKeyCombination combinationOf(const QKeyEvent *event)
{
    // Keypad Enter comes with the keypad flag; the keys are bound without it.
    return QKeyCombination(event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier),
                           Qt::Key(event->key()));
}

} // namespace

CommandKeys::CommandKeys(QWidget *window)
    : QObject(window), m_window(window), m_pairedRepeats(QGuiApplication::platformName() == QLatin1String("xcb"))
{
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

QAbstractButton *CommandKeys::buttonFor(const QKeyEvent *event, QWidget *target) const
{
    const QKeyCombination combination = combinationOf(event);
    for (const Binding &b : m_bindings) {
        if (!b.button->isEnabled())
            continue;
        for (const QKeySequence &key : b.keys)
            if (key.count() == 1 && key[0] == combination)
                return b.button;
        if (!b.mnemonic.isEmpty() && b.mnemonic[0] == combination)
            return b.button;
        if (target == b.button && combination == QKeyCombination(Qt::Key_Space))
            return b.button;
    }
    return nullptr;
}

bool CommandKeys::isCommandKey(const QKeyEvent *event) const
{
    const QKeyCombination combination = combinationOf(event);
    for (const Binding &b : m_bindings) {
        for (const QKeySequence &key : b.keys)
            if (key.count() == 1 && key[0] == combination)
                return true;
        if (!b.mnemonic.isEmpty() && b.mnemonic[0] == combination)
            return true;
    }
    return false;
}

bool CommandKeys::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    // A box opened over the window, or another window taken the focus: a
    // key let go there is never seen here, so what was down is forgotten.
    if ((type == QEvent::WindowBlocked || type == QEvent::WindowDeactivate)
        && (watched == m_window || watched == static_cast<QObject *>(m_window->windowHandle()))) {
        forget();
        return false;
    }
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    // The toplevel QWindow sees each key before its control and is no
    // widget; the control's own event is the one that counts.
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (type == QEvent::KeyRelease) {
        released(key);
        return false;
    }
    const bool taken = pressed(key, target);
    // Accepted too, or the event goes on to the control's parents.
    if (taken)
        key->accept();
    return taken;
}

bool CommandKeys::pressed(QKeyEvent *event, QWidget *target)
{
    const bool repeat = isRepeat(event);
    if (target->window() != m_window) {
        // A box over the window, most often the rating box the key opened:
        // a held Alt+E must not fill it with e's.
        return repeat && QApplication::activeModalWidget() == target->window() && isCommandKey(event);
    }
    QAbstractButton *button = buttonFor(event, target);
    if (!button)
        return false;
    // A shortcut override taken makes the key come as a plain press, which
    // runs it here rather than as a shortcut or a mnemonic; a repeat runs
    // nothing, whether its first press was seen here or went to a box.
    if (event->type() == QEvent::ShortcutOverride || repeat)
        return true;
    m_down = event->key();
    // The command may open a modal box, whose own event loop brings more
    // keys: the state is settled first.
    button->click();
    return true;
}

bool CommandKeys::isRepeat(const QKeyEvent *event)
{
    const int key = event->key();
    const quint64 time = event->timestamp();
    // One press is seen as its shortcut override, then as the press, each
    // perhaps on its way up the parents: the first sighting decides.
    const bool samePress = m_last.press && m_last.key == key && m_last.time == time
                           && (event->type() == QEvent::KeyPress || !m_last.pressSeen);
    if (samePress) {
        m_last.pressSeen = m_last.pressSeen || event->type() == QEvent::KeyPress;
        return m_last.repeat;
    }
    bool repeat = event->isAutoRepeat();
    if (m_pairedRepeats) {
        // The X server stamps both halves of a repeat with one time, and
        // nothing comes between them.
        repeat = repeat || (!m_last.press && m_last.key == key && time >= m_last.time && time - m_last.time <= pairSpread);
    } else {
        // A key cannot go down twice without coming up: a repeat, whether it
        // says so or not.
        repeat = repeat || key == m_down;
    }
    m_last = {true, key, time, repeat, event->type() == QEvent::KeyPress};
    return repeat;
}

void CommandKeys::released(const QKeyEvent *event)
{
    const int key = event->key();
    if (!m_pairedRepeats && key == m_down && !event->isAutoRepeat())
        m_down = 0;
    m_last = {false, key, quint64(event->timestamp()), false, false};
}

void CommandKeys::forget()
{
    m_down = 0;
    m_last = Seen();
}
