#pragma once
// One running copy per user: a lock and a local socket in a directory only the user can
// write. A second start asks the first to come to the front, handing on the activation
// token its launcher gave it (Wayland lets a window take the front only with one), and
// ends.

#include <QObject>
#include <QString>

class QLocalServer;

namespace ct {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        First,     // this copy holds the lock and listens for later starts
        Raised,    // a running copy answered and was asked to come to the front
        Unchecked, // no private directory could be had: nothing is held
    };
    // Takes the lock when nobody holds it; needs no application object, so a start can
    // learn early that it is the first copy. claim() goes on from there.
    bool tryLock();
    // Looks for a running copy. A lock counts only while its copy answers on the socket
    // within a short time; a lock nobody answers for is stale and taken over.
    Claim claim();
    // True when claim() found a running copy (and asked it to come to the front).
    bool previousRunning() { return claim() == Claim::Raised; }

    // The launcher's activation token (XDG_ACTIVATION_TOKEN), passed on by claim() when it
    // asks a running copy to come to the front. A token that is not one line of visible
    // ASCII characters is not passed on.
    void setActivationToken(const QByteArray& token) { m_token = token; }
    QByteArray activationToken() const { return m_token; }

    // Why the check could not be made (after Claim::Unchecked).
    QString problem() const { return m_problem; }
    QString lockPath() const
    {
        return m_dir.isEmpty() ? QString() : m_dir + QStringLiteral("/ctwork.lock");
    }
    QString socketPath() const
    {
        return m_dir.isEmpty() ? QString() : m_dir + QStringLiteral("/ctwork.sock");
    }

    // The directory for the lock and the socket: XDG_RUNTIME_DIR when it is the user's own
    // and private, else a 0700 directory ctwork-<uid> of the user's under TMPDIR (or
    // /tmp). Empty, with the reason in *why, when neither can be had.
    static QString privateDir(QString* why = nullptr);
    // Other processes of this user that run the same program file (for when no lock can
    // be had at all).
    static bool otherCopyRunning();

Q_SIGNALS:
    // A later start asked to see this copy; the token is empty when it had none.
    void raiseRequested(const QString& activationToken);

private:
    bool askToRaise(int timeoutMs) const;
    void listen();
    QString m_dir;
    QString m_problem;
    QByteArray m_token;
    int m_lockFd = -1;
    bool m_locked = false;
    QLocalServer* m_server = nullptr;
};

} // namespace ct
