#pragma once
// The program's sync in the background, when an account is set up: a first sync soon
// after start, then every 15 minutes, and about 10 seconds after the database file
// changed (a confirmed write by a window or by ctdb). It runs on a thread of its own
// with its own connection, never shows a box, and records every result for
// "ctdb sync status". When syncs have failed for a whole day, longFailure() is emitted
// (on the owner's thread), at most once a day.

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QThread;

namespace ctsync {

class BackgroundWorker;

class Background : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString connectionText;
        QString dbFile; // watched for writes
        std::chrono::milliseconds first{std::chrono::seconds(20)};
        std::chrono::milliseconds every{std::chrono::minutes(15)};
        std::chrono::milliseconds afterWrite{std::chrono::seconds(10)};
        std::chrono::milliseconds poll{std::chrono::seconds(2)};
    };
    explicit Background(Settings s, QObject* parent = nullptr);
    // Stops the thread; a sync under way is given a few seconds, then left to end with
    // the process (each record is applied in its own transaction).
    ~Background() override;
    void start();

Q_SIGNALS:
    void synced(bool ok, const QString& summary);
    void longFailure(const QString& message);

private:
    Settings m_settings;
    std::unique_ptr<QThread> m_thread;
    BackgroundWorker* m_worker = nullptr;
};

// One background sync with the account's password from the keyring: the result's
// summary is logged in the database. Returns true on success; false also when no account
// is set up (then nothing is logged).
struct OneResult {
    bool ran = false; // an account is set up
    bool ok = false;
    QString summary;
    bool longFailure = false; // failing for a day and not yet told today
};
OneResult syncOnce(const QString& connectionText);

} // namespace ctsync
