#pragma once

#include <QKeySequence>
#include <QObject>
#include <QTimer>

#include <optional>
#include <vector>

class QAbstractButton;
class QKeyEvent;
class QWidget;

/// The keys that run the window's commands: each press runs its command
/// once, when the key is let go, however long it is held and whatever the
/// system says about its repeats.
///
/// A held key repeats: Windows and macOS send more presses, X11 sends pairs
/// of a release and a press that Qt marks as repeats only when it sees the
/// press already waiting, and a button's mnemonic or Space clicks on every
/// pair. So Qt's own shortcuts never see these keys: the command runs on the
/// release, and on X11 only once no press of the same key follows it (the
/// server stamps a repeat's press with its release's time).
class CommandKeys : public QObject
{
    Q_OBJECT
public:
    /// How long a release on X11 waits for the press of a repeat. Pairs
    /// arrive within a few milliseconds of each other even on a busy
    /// machine; a later one is still known by its time stamp.
    static constexpr int repeatWait = 40; // ms

    /// Takes the command keys of `window`; keys for any other window, a
    /// modal input box on top included, pass as usual.
    explicit CommandKeys(QWidget *window);

    /// `keys` click `button`; the first is the one its tooltip names. The
    /// caption's mnemonic, where the system has mnemonics, clicks it after a
    /// short flash, and Space presses it while it has the focus.
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
    enum class Action { Click, Flash, Press };
    struct Binding
    {
        QAbstractButton *button;
        QList<QKeySequence> keys;
        QKeySequence mnemonic;
    };
    struct Hold
    {
        int key;            // Qt::Key, whatever the modifiers when let go
        QAbstractButton *button;
        Action action;
        bool done;          // a repeat whose press was not seen runs nothing
    };

    std::optional<Hold> commandFor(const QKeyEvent *event, QWidget *target) const;
    bool press(QKeyEvent *event, QWidget *target);
    bool release(QKeyEvent *event);
    void finish(Hold hold);
    void finishReleased();

    QWidget *m_window;
    bool m_pairedRepeats; // X11: a repeat is a release and a press
    std::vector<Binding> m_bindings;
    std::optional<Hold> m_held;     // down now
    std::optional<Hold> m_released; // let go; the press of a repeat may follow
    QTimer m_wait;
    int m_lastKey = 0;              // the last key let go in the window, and when
    quint64 m_lastReleaseTime = 0;
};
