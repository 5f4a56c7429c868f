#include "sync/davclient.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <map>

using namespace Qt::StringLiterals;

namespace dav {

Error::Error(Fault fault, QString message, int status)
    : m_fault(fault), m_status(status), m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

QString davName(const char* local)
{
    return u"{DAV:}"_s + QLatin1StringView(local);
}
QString cardName(const char* local)
{
    return u"{urn:ietf:params:xml:ns:carddav}"_s + QLatin1StringView(local);
}
QString calName(const char* local)
{
    return u"{urn:ietf:params:xml:ns:caldav}"_s + QLatin1StringView(local);
}

QString pathOf(const QUrl& url)
{
    return url.path(QUrl::FullyEncoded);
}

bool sameServer(const QUrl& a, const QUrl& b)
{
    const QString scheme = a.scheme().toLower();
    const int port = scheme == u"https" ? 443 : 80;
    return scheme == b.scheme().toLower() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(port) == b.port(port);
}

bool isMemberOf(const QUrl& collection, const QString& href)
{
    QString self = pathOf(collection);
    if (!self.endsWith(u'/'))
        self += u'/';
    if (!href.startsWith(self))
        return false; // outside, or a whole URL of another server
    const QString leaf = QUrl::fromPercentEncoding(href.mid(self.size()).toUtf8());
    return !leaf.isEmpty() && leaf != u"." && leaf != u".." && !leaf.contains(u'/') &&
           !leaf.contains(u'\\');
}

const Prop* Resource::prop(const QString& qname) const
{
    for (const auto& [name, p] : props)
        if (name == qname)
            return &p;
    return nullptr;
}

namespace {

QString qualified(const QXmlStreamReader& x)
{
    return u'{' + x.namespaceUri().toString() + u'}' + x.name().toString();
}

// "HTTP/1.1 404 Not Found" -> 404
int statusOf(const QString& line)
{
    const QStringList parts = line.simplified().split(u' ');
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

void put(std::vector<std::pair<QString, Prop>>& props, const QString& name, Prop&& p)
{
    for (auto& [n, old] : props)
        if (n == name) {
            old = std::move(p);
            return;
        }
    props.emplace_back(name, std::move(p));
}

// Reads one <prop> element's children into `props`.
void readProps(QXmlStreamReader& x, std::vector<std::pair<QString, Prop>>& props)
{
    while (x.readNextStartElement()) {
        Prop p;
        const QString name = qualified(x);
        int depth = 1;
        while (depth > 0 && !x.atEnd()) {
            switch (x.readNext()) {
            case QXmlStreamReader::StartElement: {
                ++depth;
                const QString inner = qualified(x);
                if (inner == u"{DAV:}href") {
                    const QString h = x.readElementText().trimmed();
                    p.hrefs << h;
                    --depth;
                    break;
                }
                p.names << inner;
                if (x.name() == u"comp")
                    p.names << x.attributes().value(u"name"_s).toString();
                break;
            }
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            case QXmlStreamReader::Characters:
                if (depth == 1)
                    p.text += x.text();
                break;
            default:
                break;
            }
        }
        put(props, name, std::move(p));
    }
}

Resource readResponse(QXmlStreamReader& x, const QUrl& base)
{
    Resource r;
    while (x.readNextStartElement()) {
        const QString n = qualified(x);
        if (n == u"{DAV:}href") {
            const QUrl u = base.resolved(QUrl(x.readElementText().trimmed()));
            r.href = sameServer(u, base) ? pathOf(u) : u.toString(QUrl::RemoveUserInfo);
        } else if (n == u"{DAV:}status") {
            r.status = statusOf(x.readElementText());
        } else if (n == u"{DAV:}propstat") {
            std::vector<std::pair<QString, Prop>> props;
            int status = 200;
            while (x.readNextStartElement()) {
                const QString m = qualified(x);
                if (m == u"{DAV:}prop")
                    readProps(x, props);
                else if (m == u"{DAV:}status")
                    status = statusOf(x.readElementText());
                else
                    x.skipCurrentElement();
            }
            if (status == 200)
                for (auto& [name, p] : props)
                    put(r.props, name, std::move(p));
        } else {
            x.skipCurrentElement();
        }
    }
    return r;
}

bool isLoopback(const QString& host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress a;
    return a.setAddress(host) && a.isLoopback();
}

QString hostOf(const QUrl& u)
{
    return u.port() > 0 ? u.host() + u':' + QString::number(u.port()) : u.host();
}

} // namespace

Multistatus parseMultistatus(const QByteArray& body, const QUrl& base)
{
    Multistatus m;
    QXmlStreamReader x(body);
    while (!x.atEnd() && x.readNext() != QXmlStreamReader::StartElement)
        if (x.tokenType() == QXmlStreamReader::DTD)
            throw Error(Fault::Protocol,
                        u"服务器的回答无法读懂（带有文档类型声明，不是 WebDAV 的回答）。"_s);
    if (!x.isStartElement() || qualified(x) != u"{DAV:}multistatus")
        throw Error(Fault::Protocol, u"服务器的回答无法读懂（不是 WebDAV 的 multistatus）。"_s);
    while (x.readNextStartElement()) {
        const QString n = qualified(x);
        if (n == u"{DAV:}response")
            m.responses.push_back(readResponse(x, base));
        else if (n == u"{DAV:}sync-token")
            m.syncToken = x.readElementText().trimmed();
        else
            x.skipCurrentElement();
    }
    if (x.hasError())
        throw Error(Fault::Protocol,
                    u"服务器的回答无法读懂（XML 有错：%1，第 %2 行）。"_s.arg(x.errorString())
                        .arg(x.lineNumber()));
    return m;
}

// ------------------------------------------------------------------ bodies

namespace {

constexpr auto kDavNs = "DAV:"_L1;
constexpr auto kCardNs = "urn:ietf:params:xml:ns:carddav"_L1;
constexpr auto kCalNs = "urn:ietf:params:xml:ns:caldav"_L1;

void start(QXmlStreamWriter& w, QLatin1StringView ns, QLatin1StringView root)
{
    w.writeStartDocument();
    w.writeNamespace(kDavNs, "d"_L1);
    w.writeNamespace(kCardNs, "card"_L1);
    w.writeNamespace(kCalNs, "cal"_L1);
    w.writeNamespace("http://calendarserver.org/ns/"_L1, "cs"_L1);
    w.writeStartElement(ns, root);
}

void writeQualified(QXmlStreamWriter& w, const QString& qname)
{
    const qsizetype close = qname.indexOf(u'}');
    w.writeEmptyElement(qname.mid(1, close - 1), qname.mid(close + 1));
}

} // namespace

QByteArray propfindBody(const QStringList& props)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    start(w, kDavNs, "propfind"_L1);
    w.writeStartElement(kDavNs, "prop"_L1);
    for (const QString& p : props)
        writeQualified(w, p);
    w.writeEndDocument();
    return out;
}

QByteArray syncCollectionBody(const QString& token, bool)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    start(w, kDavNs, "sync-collection"_L1);
    w.writeTextElement(kDavNs, "sync-token"_L1, token);
    w.writeTextElement(kDavNs, "sync-level"_L1, u"1"_s);
    w.writeStartElement(kDavNs, "prop"_L1);
    w.writeEmptyElement(kDavNs, "getetag"_L1);
    w.writeEndDocument();
    return out;
}

QByteArray multigetBody(const QStringList& hrefs, bool cards)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    start(w, cards ? kCardNs : kCalNs, cards ? "addressbook-multiget"_L1 : "calendar-multiget"_L1);
    w.writeStartElement(kDavNs, "prop"_L1);
    w.writeEmptyElement(kDavNs, "getetag"_L1);
    w.writeEmptyElement(cards ? kCardNs : kCalNs, cards ? "address-data"_L1 : "calendar-data"_L1);
    w.writeEndElement();
    for (const QString& h : hrefs)
        w.writeTextElement(kDavNs, "href"_L1, h);
    w.writeEndDocument();
    return out;
}

// ------------------------------------------------------------------ the client

Client::Client(const QUrl& base, Options options)
    : m_base(base.adjusted(QUrl::RemoveUserInfo)), m_options(std::move(options)),
      m_nam(std::make_unique<QNetworkAccessManager>())
{
    const QString scheme = base.scheme().toLower();
    if (scheme != u"https" && scheme != u"http")
        throw Error(Fault::Insecure, u"网址“%1”不是 http:// 或 https:// 开头。"_s.arg(
                                         base.toDisplayString(QUrl::RemoveUserInfo)));
    if (scheme == u"http" && !m_options.allowHttp && !isLoopback(base.host()))
        throw Error(
            Fault::Insecure,
            u"不加密的 http:// 只用于本机的服务器；%1 上的服务器请用 https://，"
            "一定要用 http:// 时加 --allow-http（密码和数据会明文经过网络）。"_s.arg(base.host()));
    if (!m_options.caFile.isEmpty()) {
        const auto certs = QSslCertificate::fromPath(m_options.caFile, QSsl::Pem);
        if (certs.isEmpty())
            throw Error(Fault::Certificate,
                        u"无法从“%1”读出证书（应为 PEM 格式）。"_s.arg(m_options.caFile));
        m_ssl = std::make_unique<QSslConfiguration>(QSslConfiguration::defaultConfiguration());
        m_ssl->addCaCertificates(certs);
    }
    if (!m_options.user.isEmpty() || !m_options.password.isEmpty())
        m_auth = "Basic " + (m_options.user + u':' + m_options.password).toUtf8().toBase64();
    m_nam->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    // Every request is sent preemptively with Basic credentials; a 401 is final.
    m_nam->setAutoDeleteReplies(false);
}

Client::~Client() = default;

QNetworkReply* Client::start(const Request& r, Reply& refused)
{
    if (!sameServer(r.url, m_base)) {
        refused.fault = Fault::Foreign;
        refused.message =
            r.url.scheme().toLower() == u"http" && m_base.scheme().toLower() == u"https"
                ? u"服务器把请求转到了不加密的 http:// 地址，没有跟随。"_s
                : u"服务器把请求指向了另一台服务器 %1；为了不把密码交给别的服务器，没有跟随。"
                  "账户确实在那里时，请用那台服务器的网址设置同步。"_s.arg(
                      r.url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemovePath |
                                            QUrl::RemoveQuery | QUrl::RemoveFragment));
        return nullptr;
    }
    QNetworkRequest q(r.url);
    q.setTransferTimeout(m_options.timeoutMs);
    if (m_ssl)
        q.setSslConfiguration(*m_ssl);
    q.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!m_auth.isEmpty())
        q.setRawHeader("Authorization", m_auth);
    q.setRawHeader("User-Agent", "ctwork-sync/1");
    for (const auto& [k, v] : r.headers)
        q.setRawHeader(k, v);
    if (!r.body.isEmpty() && !q.hasRawHeader("Content-Type"))
        q.setRawHeader("Content-Type", "application/xml; charset=utf-8");
    if (r.verb == "GET")
        return m_nam->get(q);
    if (r.verb == "PUT")
        return m_nam->put(q, r.body);
    if (r.verb == "DELETE" && r.body.isEmpty())
        return m_nam->deleteResource(q);
    return m_nam->sendCustomRequest(q, r.verb, r.body);
}

Reply Client::finish(QNetworkReply* reply, QByteArray&& body, bool tooLarge)
{
    Reply out;
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.body = std::move(body);
    if (!tooLarge && reply->isOpen()) // an aborted (timed out) reply is closed
        out.body += reply->readAll();
    out.etag = reply->rawHeader("ETag");
    const QByteArray loc = reply->rawHeader("Location");
    if (!loc.isEmpty())
        out.location = reply->url().resolved(QUrl::fromEncoded(loc));
    const QString host = hostOf(reply->url());
    if (tooLarge) {
        out.fault = Fault::TooLarge;
        out.message = u"服务器 %1 的回答太长（超过 %2 MB），没有读完。"_s.arg(host).arg(
            kMaxBody / (1024 * 1024));
        out.body.clear();
        reply->deleteLater();
        return out;
    }
    switch (reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::HostNotFoundError:
        out.fault = Fault::HostNotFound;
        out.message = u"找不到服务器 %1：请检查网址的拼写和网络连接。"_s.arg(reply->url().host());
        break;
    case QNetworkReply::ConnectionRefusedError:
        out.fault = Fault::Refused;
        out.message = u"服务器 %1 拒绝连接：那里没有运行服务器，或者端口不对。"_s.arg(host);
        break;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer timeout aborts this way
        out.fault = Fault::Timeout;
        out.message =
            u"服务器 %1 在 %2 秒内没有回答：网络或服务器太慢，请稍后再试。"_s.arg(host).arg(
                m_options.timeoutMs / 1000);
        break;
    case QNetworkReply::SslHandshakeFailedError:
        out.fault = Fault::Certificate;
        out.message = u"服务器 %1 的证书不被信任，没有连接（%2）。服务器用自己签发的证书时，"
                      "请用 --ca-file 给出签发它的证书。"_s.arg(host, reply->errorString());
        break;
    default:
        if (out.status == 0) {
            out.fault = Fault::Network;
            out.message = u"与服务器 %1 的连接中断了（%2）。"_s.arg(host, reply->errorString());
        }
        break;
    }
    // A body cut short: Content-Length said more than came.
    if (out.fault == Fault::None) {
        bool known = false;
        const qint64 length =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && !reply->rawHeader("Content-Encoding").size() && length > out.body.size()) {
            out.fault = Fault::Network;
            out.message = u"服务器 %1 的回答不完整（连接中断）。"_s.arg(host);
        }
    }
    reply->deleteLater();
    return out;
}

Reply Client::send(const Request& r)
{
    Reply out;
    sendAll({r}, [&](std::size_t, Reply&& got) { out = std::move(got); });
    return out;
}

void Client::sendAll(const std::vector<Request>& requests,
                     const std::function<void(std::size_t, Reply&&)>& done)
{
    QEventLoop loop;
    std::size_t next = 0;
    struct Running {
        QByteArray body;
        bool tooLarge = false;
    };
    std::map<QNetworkReply*, Running> running;
    std::exception_ptr thrown;
    std::function<void()> fill;
    auto call = [&](std::size_t i, Reply&& r) {
        if (thrown)
            return;
        try {
            done(i, std::move(r));
        } catch (...) {
            thrown = std::current_exception();
        }
    };
    auto launch = [&](std::size_t i) {
        Reply refused;
        QNetworkReply* reply = start(requests[i], refused);
        if (!reply) {
            call(i, std::move(refused));
            return;
        }
        running[reply];
        // The body is taken as it comes, so a too long one is cut off early.
        auto take = [&, reply] {
            Running& run = running[reply];
            if (run.tooLarge)
                return;
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (run.body.size() + reply->bytesAvailable() > kMaxBody ||
                (length.isValid() && length.toLongLong() > kMaxBody)) {
                run.tooLarge = true;
                run.body.clear();
                reply->abort();
                return;
            }
            run.body += reply->readAll();
        };
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, take);
        QObject::connect(reply, &QIODevice::readyRead, &loop, take);
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply, i] {
            auto it = running.find(reply);
            Running run = std::move(it->second);
            running.erase(it);
            call(i, finish(reply, std::move(run.body), run.tooLarge));
            fill();
        });
    };
    fill = [&] {
        while (!thrown && next < requests.size() &&
               running.size() < std::size_t(std::max(1, m_options.parallel)))
            launch(next++);
        if (running.empty())
            loop.quit();
    };
    fill();
    if (!running.empty())
        loop.exec();
    if (!running.empty()) {
        // The thread was told to quit (the program ends): nothing more is waited for.
        for (auto& [reply, run] : running) {
            QObject::disconnect(reply, nullptr, &loop, nullptr);
            reply->abort();
            reply->deleteLater();
        }
        throw Error(Fault::Network, u"同步被中断（程序正在退出）。"_s);
    }
    if (thrown)
        std::rethrow_exception(thrown);
}

void Client::fail(const Reply& r, const QString& what) const
{
    if (r.fault != Fault::None)
        throw Error(r.fault, r.message, r.status);
    const QString host = hostOf(m_base);
    if (r.status == 401)
        throw Error(Fault::Auth, u"服务器 %1 拒绝登录：用户名或密码不对。"_s.arg(host), r.status);
    if (r.status >= 500)
        throw Error(
            Fault::Server,
            u"服务器 %1 出错（HTTP %2），%3没有完成；请稍后再试。"_s.arg(host).arg(r.status).arg(
                what),
            r.status);
    throw Error(Fault::Protocol, u"服务器 %1 不接受%2（HTTP %3）。"_s.arg(host, what).arg(r.status),
                r.status);
}

Reply Client::must(const Request& r, std::initializer_list<int> allowed)
{
    Reply got = send(r);
    if (got.fault == Fault::None &&
        ((got.status >= 200 && got.status < 300) ||
         std::find(allowed.begin(), allowed.end(), got.status) != allowed.end()))
        return got;
    fail(got, QString::fromLatin1(r.verb) + u' ' + pathOf(r.url));
}

Multistatus Client::propfind(const QUrl& url, int depth, const QStringList& props)
{
    Request r{"PROPFIND", url, propfindBody(props), {{"Depth", QByteArray::number(depth)}}};
    Reply got = send(r);
    if (got.status != 207 || got.fault != Fault::None)
        fail(got, u"读取 "_s + pathOf(url));
    return parseMultistatus(got.body, url);
}

Multistatus Client::report(const QUrl& url, int depth, const QByteArray& body)
{
    Request r{"REPORT", url, body, {{"Depth", QByteArray::number(depth)}}};
    Reply got = send(r);
    if (got.status != 207 || got.fault != Fault::None)
        fail(got, u"查询 "_s + pathOf(url));
    return parseMultistatus(got.body, url);
}

} // namespace dav
