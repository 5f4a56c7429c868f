#pragma once
// What every test needs: a fresh database in a temporary directory that stands for the
// executable's directory, and scripted message boxes.

#include "modul/cardmodul.h"
#include "widgets/modulboxes.h"
#include "widgets/msgbox.h"
#include "widgets/notify.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>
#include <sys/types.h>

class QProcess;

namespace testsupport {

// A temporary executable directory holding a new ctsource.mdb made as `ctdb init` makes
// it. Points appinfo::exeDir() at it and resets the shared connection and dbopen.
class TempDb {
public:
    explicit TempDb(bool create = true);
    ~TempDb();
    QString dir() const { return m_dir.path(); }
    QString file() const;
    // Opens the shared connection (as the main window's start-up does) and sets dbopen.
    void openShared();
    // A second connection of the test's own, for setting up and checking rows.
    adodb::Connection& check();
    // Runs a statement on the test's own connection.
    void exec(const QString& sql, const QVariantList& params = {});
    // Rows of a query as lists of texts ("<NULL>" for Null), for comparisons.
    QList<QStringList> rows(const QString& sql, const QVariantList& params = {});
    int count(const QString& table);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<adodb::Connection> m_check;
};

// A box as the program shows it: the default title filled in.
msgbox::Box box(const QString& text, msgbox::Buttons buttons = msgbox::Buttons::OK,
                msgbox::Icon icon = msgbox::Icon::None, bool systemModal = false,
                const QString& title = {});

// The "Connection Error" box of a missing database file.
msgbox::Box missingDatabase(const QString& file);

// Answers boxes from a queue of expected boxes. Every box shown is recorded; a box that
// differs from the next expected one, or comes when none is expected, is a failure.
class Boxes {
public:
    Boxes();
    ~Boxes();
    Boxes(const Boxes&) = delete;
    Boxes& operator=(const Boxes&) = delete;
    void expect(const msgbox::Box& b, msgbox::Result answer = msgbox::Result::OK);
    // Runs f (e.g. checks the database) when the next expected box is shown.
    void expect(const msgbox::Box& b, msgbox::Result answer, std::function<void()> whileShown);
    // A box whose text begins with b's text (for texts that end with the engine's words).
    void expectBeginning(const msgbox::Box& b, msgbox::Result answer = msgbox::Result::OK);
    const QList<msgbox::Box>& seen() const { return m_seen; }
    // Empty when all went as expected, else what went wrong.
    QString problems() const;
    void reset();

private:
    struct Expected {
        msgbox::Box box;
        msgbox::Result answer;
        std::function<void()> whileShown;
        bool beginning = false;
    };
    QList<Expected> m_queue;
    QList<msgbox::Box> m_seen;
    QStringList m_problems;
};

// The base of every test class whose code may show a message box. The scripted
// responder answers every box from the first test to the last, so no test ever waits on
// a real box; before each test it forgets what the last one queued and saw, and after
// each test it fails the test on an expected box that was not shown or a box that was
// not expected. Test classes set themselves up in initTest() and cleanupTest(), never in
// slots of their own named init or cleanup.
class BoxTest : public QObject {
    Q_OBJECT
public:
    BoxTest();
    ~BoxTest() override;

protected:
    Boxes& boxes() { return m_boxes; }
    // Queues a box as the program shows it (the default title filled in) and its answer.
    void expectBox(const QString& text, msgbox::Buttons buttons = msgbox::Buttons::OK,
                   msgbox::Result answer = msgbox::Result::OK);
    virtual void initTest() {}
    virtual void cleanupTest() {}

private Q_SLOTS:
    void init();
    void cleanup();

private:
    Boxes m_boxes;
};

// Records the desktop notes the program sends while it lives, as if the program ran on
// the named platform of Qt's ("xcb", "wayland").
class Notes {
public:
    explicit Notes(const QString& platformName);
    ~Notes();
    Notes(const Notes&) = delete;
    Notes& operator=(const Notes&) = delete;
    QList<notify::Note> seen;
    // The notes as texts, "!" before an urgent one's, for comparisons.
    QStringList texts() const;
};

// Calls f with the modal window as soon as one is open (and returns at once).
void whenModal(std::function<void(QWidget*)> f, int timeoutMs = 5000);

// Makes the process that p starts end with this one, even when this one is killed.
void endsWithThisProcess(QProcess& p);

// A child process forked to run f, whose value is its exit status. It ends with this
// process, and it is reaped on every path: wait() waits for it, and one still running when
// the guard goes is killed first.
class Forked {
public:
    explicit Forked(const std::function<int()>& f);
    ~Forked();
    Forked(const Forked&) = delete;
    Forked& operator=(const Forked&) = delete;
    pid_t pid() const { return m_pid; }
    // Waits up to timeoutMs for it to end, letting events run meanwhile. Its exit code; -1
    // when a signal ended it or it did not end in time (it is killed then).
    int wait(int timeoutMs = 30000);

private:
    pid_t m_pid = -1;
    int m_code = -1;
    bool m_reaped = false;
};

// A child widget by object name, failing loudly when it is absent.
template <typename T> T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

} // namespace testsupport

// In cleanup(): every expected box was shown, no other box was.
#define CT_VERIFY_BOXES(boxes)                                                                     \
    do {                                                                                           \
        const QString p_ = (boxes).problems();                                                     \
        QVERIFY2(p_.isEmpty(), qPrintable(p_));                                                    \
    } while (false)
