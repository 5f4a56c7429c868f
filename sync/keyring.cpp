#include "sync/keyring.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

namespace keyring {

namespace {

const QString kService = u"ctwork-sync"_s;

Result finish(QKeychain::Job& job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    Result r;
    switch (job.error()) {
    case QKeychain::NoError:
        r.ok = true;
        break;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        r.noKeyring = true;
        r.error = u"没有可用的桌面密钥环（Secret Service）"_s;
        break;
    case QKeychain::EntryNotFound:
        r.error = u"密钥环里没有这个账户的密码"_s;
        break;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        r.error = u"密钥环拒绝了访问（%1）"_s.arg(job.errorString());
        break;
    default:
        // A session bus without a keyring daemon ends here as well.
        r.noKeyring = true;
        r.error = u"无法使用桌面密钥环（%1）"_s.arg(job.errorString());
        break;
    }
    return r;
}

} // namespace

QString keyOf(const QString& url, const QString& user)
{
    return user + u'@' + url;
}

Result read(const QString& key)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setAutoDelete(false);
    job.setKey(key);
    Result r = finish(job);
    if (r.ok)
        r.password = job.textData();
    return r;
}

Result write(const QString& key, const QString& password)
{
    QKeychain::WritePasswordJob job(kService);
    job.setAutoDelete(false);
    job.setKey(key);
    job.setTextData(password);
    return finish(job);
}

Result remove(const QString& key)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setAutoDelete(false);
    job.setKey(key);
    return finish(job);
}

} // namespace keyring
