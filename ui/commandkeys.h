#pragma once

#include <QKeySequence>
#include <QObject>

#include <vector>

class QAbstractButton;
class QKeyEvent;
class QWidget;

/// The keys that run the window's commands: each press runs its command
/// once, at once, as a click does, however long the key is held and
/// whatever the system says about its repeats.
///
/// Acting on the press matters to a fast typist: the rating box a command
/// opens is up before the next key comes, so "Ctrl+Return 2 Return" rates
/// the response instead of typing "2" into the answer. (The keys that come
/// before the box has the focus reach it through the platform's type-ahead,
/// platform/typeahead.h.)
///
/// A held key repeats. Windows and macOS send more presses, marked as
/// repeats; X11 sends pairs of a release and a press stamped with one time,
/// which Qt marks only when it sees the press already waiting; a button's
/// mnemonic or Space would click on every one. So Qt's own shortcuts never
/// see these keys, and a press runs its command only when it is a new one:
/// not marked, not the press half of a pair, and (where repeats come
/// without releases) not a key already down. Nothing is kept that a later
/// key could set off: nothing runs on a release, and the key that ran is
/// forgotten when the window loses the focus or a box opens over it.
class CommandKeys : public QObject
{
    Q_OBJECT
public:
    /// Takes the command keys of `window`; keys for any other window pass
    /// as usual, but for the repeats of a command key, which a box over the
    /// window never takes as typing.
    explicit CommandKeys(QWidget *window);

    /// `keys` click `button`; the first is the one its tooltip names. The
    /// caption's mnemonic, where the system has mnemonics, clicks it too,
    /// and Space while it has the focus.
    void addButton(QAbstractButton *button, const QList<QKeySequence> &keys = {});

    /// The keys of `button` as the system names them, the mnemonic last:
    /// "Ctrl+N, Alt+N" here, "⌘N" on macOS; empty when it has none.
    QString keyNames(const QAbstractButton *button) const;

    /// `key` as the system names it, a plus or minus key by its name
    /// ("Ctrl+plus"): a screen reader passes over a bare "+".
    static QString nativeName(const QKeySequence &key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Binding
    {
        QAbstractButton *button;
        QList<QKeySequence> keys;
        QKeySequence mnemonic;
    };
    /// The last key event seen (a press or a release), to tell the press
    /// half of an X11 repeat, and what that press was taken for.
    struct Seen
    {
        bool press = false;
        int key = 0;
        quint64 time = 0;
        bool repeat = false;
        bool pressSeen = false; // the press itself, not only its shortcut override
    };

    /// The enabled button `event` clicks in the window, focused on `target`.
    QAbstractButton *buttonFor(const QKeyEvent *event, QWidget *target) const;
    /// True when `event` is one of the window's command keys, wherever it goes.
    bool isCommandKey(const QKeyEvent *event) const;
    /// True when the press `event` is a held key's repeat, not a new press.
    bool isRepeat(const QKeyEvent *event);
    bool pressed(QKeyEvent *event, QWidget *target);
    void released(const QKeyEvent *event);
    /// Drops what is known of keys down, running nothing.
    void forget();

    QWidget *m_window;
    bool m_pairedRepeats; // X11: a repeat is a release and a press
    std::vector<Binding> m_bindings;
    int m_down = 0; // the command key that ran, not yet let go (systems that repeat without releases)
    Seen m_last;
};
