#pragma once
// Finding an account's address books and calendars (RFC 6764 well-known URLs,
// current-user-principal, the home sets) and making new ones (extended MKCOL, RFC 5689;
// MKCALENDAR, RFC 4791).

#include "sync/davclient.h"

#include <QStringList>
#include <QUrl>

#include <vector>

namespace dav {

struct Homes {
    QUrl principal;
    QUrl cards;     // addressbook-home-set
    QUrl calendars; // calendar-home-set
};

// From the URL the user gave: its own current-user-principal, else the well-known URLs
// of its host; then the principal's home sets (the principal itself when it has none).
// Throws Error (a wrong password, an unreachable host, no DAV server there).
Homes discover(Client& c, const QUrl& start);

struct Collection {
    QUrl url;
    QString displayName;
    bool addressBook = false;
    bool calendar = false;
    QStringList components;  // VEVENT, VJOURNAL ...; empty: the server did not say (all)
    bool syncReport = false; // offers sync-collection
    bool holds(const QString& component) const
    {
        return calendar && (components.isEmpty() || components.contains(component));
    }
};

// The collections right under a home (Depth 1).
std::vector<Collection> collections(Client& c, const QUrl& home);
// One collection (Depth 0); throws when it is none.
Collection collectionAt(Client& c, const QUrl& url);
// A new address book / calendar under the home, named `name`, at a free path below it
// made from `slug`.
Collection makeAddressBook(Client& c, const QUrl& home, const QString& slug, const QString& name);
Collection makeCalendar(Client& c, const QUrl& home, const QString& slug, const QString& name,
                        const QStringList& components);

} // namespace dav
