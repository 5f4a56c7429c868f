#pragma once
// The account's password in the desktop's keyring (the Secret Service, through
// QtKeychain), never in the database. Each call waits for its answer on a local event
// loop, so it works without a running application loop.

#include <QString>

#include <optional>

namespace keyring {

struct Result {
    bool ok = false;
    bool noKeyring = false; // no Secret Service (no session bus, no keyring daemon)
    QString password;       // read()
    QString error;          // what went wrong, in Chinese
};

// The key an account's password is kept under.
QString keyOf(const QString& url, const QString& user);

Result read(const QString& key);
Result write(const QString& key, const QString& password);
Result remove(const QString& key);

} // namespace keyring
