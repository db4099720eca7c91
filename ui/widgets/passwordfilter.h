#pragma once
// Guards the service page's set-point edits: a key press passes only for a
// while after the service password was entered; otherwise the key is
// swallowed and a password dialog opens. One filter, and so one unlock,
// serves every edit it is installed on.

#include <QObject>

#include <functional>

class QInputDialog;

class PasswordFilter : public QObject
{
    Q_OBJECT
public:
    // Milliseconds since the epoch; the wall clock unless a test injects one.
    using Clock = std::function<qint64()>;

    static constexpr qint64 kDefaultTimeout = 1000000; // 16 min 40 s

    explicit PasswordFilter(QObject* parent = nullptr, qint64 timeout = kDefaultTimeout);
    ~PasswordFilter() override;

    void setClock(Clock clock);
    bool isUnlocked() const { return unlocked; }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openPasswordDialog();
    void onPasswordEntered(QInputDialog* dialog);

    bool unlocked = false;
    qint64 unlockTime = 0;
    qint64 timeout = kDefaultTimeout;
    Clock clock;
};
