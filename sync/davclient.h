#pragma once
// A blocking WebDAV client for CardDAV and CalDAV, on QNetworkAccessManager. Each call
// runs a local event loop on the calling thread until its replies are in, so it works
// in a QCoreApplication that never runs exec() (ctdb) and on a worker thread (ctwork).
// One Client belongs to the thread that made it.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QSslConfiguration;

namespace dav {

// What went wrong, each with its own message for the user.
enum class Fault {
    None,
    Auth, // 401/403 on login: wrong user name or password
    HostNotFound,
    Refused, // nothing listens there
    Timeout,
    Certificate, // the server's certificate is not trusted
    Insecure,    // plain HTTP to another machine without --allow-http
    Network,     // the connection broke (dropped, truncated)
    Server,      // 5xx
    Protocol,    // an answer we cannot read (bad XML, an unexpected status)
    Foreign,     // a request to another server than the account's (a redirect, an href)
    TooLarge,    // an answer longer than kMaxBody
};

// The longest answer read; a longer one is cut off as Fault::TooLarge.
inline constexpr qint64 kMaxBody = 64 * 1024 * 1024;

class Error : public std::exception {
public:
    Error(Fault fault, QString message, int status = 0);
    Fault fault() const { return m_fault; }
    int status() const { return m_status; }
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    Fault m_fault;
    int m_status;
    QString m_message;
    QByteArray m_utf8;
};

struct Options {
    QString user;
    QString password;
    QString caFile; // extra trusted certificates (PEM), beside the system's
    bool allowHttp = false;
    int timeoutMs = 30000; // with no byte moving for this long a request fails
    int parallel = 4;      // requests in flight at once in sendAll()
};

struct Request {
    QByteArray verb;
    QUrl url;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
};

struct Reply {
    int status = 0; // HTTP status; 0 when the request failed (see fault)
    QByteArray body;
    QByteArray etag;
    QUrl location; // a redirect's target, resolved
    Fault fault = Fault::None;
    QString message; // for a fault
    bool ok() const { return fault == Fault::None && status >= 200 && status < 300; }
};

// One property of a multistatus answer.
struct Prop {
    QString text;      // its text (getetag, displayname, sync-token, address-data ...)
    QStringList hrefs; // the DAV:href values inside it
    QStringList names; // "{ns}name" of every element inside it, and comp name="X" as X
};

// One <response>: the href (the path, percent-encoded as QUrl normalises it; the whole
// URL when it names another server), its status when it has one of its own, and the
// properties found (status 200 only).
struct Resource {
    QString href;
    int status = 200;
    // A few per response: a list, not a hash (a hash's first block is kilobytes, and a
    // listing has a response per member).
    std::vector<std::pair<QString, Prop>> props;
    const Prop* prop(const QString& qname) const;
};

struct Multistatus {
    std::vector<Resource> responses;
    QString syncToken;
};

// Parses a 207 body; throws Error(Protocol) for text that is not a multistatus, or that
// carries a document type declaration (no DAV answer needs one; it could define entities).
Multistatus parseMultistatus(const QByteArray& body, const QUrl& base);

// "{DAV:}getetag" and friends.
inline constexpr char16_t kDav[] = u"{DAV:}";
QString davName(const char* local);
QString cardName(const char* local);
QString calName(const char* local);

// The path of a URL or href, as hrefs are kept (percent-encoded, QUrl-normalised).
QString pathOf(const QUrl& url);
// Same scheme, host and port.
bool sameServer(const QUrl& a, const QUrl& b);
// True when an href (as parseMultistatus gives it) names a member right inside the
// collection: not the collection itself, not deeper, not outside, not on another server.
bool isMemberOf(const QUrl& collection, const QString& href);

// Every request goes to the server of `base` only, with the credentials sent along; a
// request elsewhere (a redirect, a home set or href naming another server) fails with
// Fault::Foreign and nothing is sent. A user name and password in `base` are dropped.
class Client {
public:
    Client(const QUrl& base, Options options);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    const QUrl& base() const { return m_base; }
    QUrl resolve(const QString& href) const { return m_base.resolved(QUrl(href)); }

    // One request; a failure of the network comes back as the reply's fault.
    Reply send(const Request& r);
    // Many requests, up to Options::parallel at once; done(i, reply) is called on this
    // thread as each ends, in any order. Returns when all have ended or `done` threw
    // (the exception is passed on once the requests in flight are ended). When the
    // thread is told to quit meanwhile, the requests in flight are aborted and
    // Error(Network) is thrown.
    void sendAll(const std::vector<Request>& requests,
                 const std::function<void(std::size_t, Reply&&)>& done);

    // A request that must succeed: throws the fault, or Error(Protocol/Server/Auth)
    // for a status outside 2xx other than the ones allowed.
    Reply must(const Request& r, std::initializer_list<int> allowed = {});

    // PROPFIND with these "{ns}name" properties; a 207 parsed.
    Multistatus propfind(const QUrl& url, int depth, const QStringList& props);
    // REPORT with an XML body; a 207 parsed.
    Multistatus report(const QUrl& url, int depth, const QByteArray& body);

    // Turns a failed reply into the Error it stands for.
    [[noreturn]] void fail(const Reply& r, const QString& what) const;

private:
    QNetworkReply* start(const Request& r, Reply& refused);
    Reply finish(QNetworkReply* reply, QByteArray&& body, bool tooLarge);
    QUrl m_base;
    Options m_options;
    QByteArray m_auth;
    std::unique_ptr<QNetworkAccessManager> m_nam;
    std::unique_ptr<QSslConfiguration> m_ssl;
};

// XML bodies.
QByteArray propfindBody(const QStringList& props);
QByteArray syncCollectionBody(const QString& token, bool cards);
QByteArray multigetBody(const QStringList& hrefs, bool cards);

} // namespace dav
