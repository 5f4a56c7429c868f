#pragma once
// One running copy per user: a lock file and a local socket in the user's runtime
// directory. A second start asks the first to come to the front and ends.

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace ct {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another copy holds the lock; that copy has then been asked to come to
    // the front. False when this copy now holds the lock and listens for later starts.
    bool previousRunning();

    static QString runtimeDir(); // XDG_RUNTIME_DIR, else TMPDIR, else /tmp
    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }

Q_SIGNALS:
    void raiseRequested();

private:
    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace ct
