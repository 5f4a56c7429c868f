#pragma once
// The members of one collection: what changed since a sync token (RFC 6578), every
// member with its ETag, their texts by multiget. Only hrefs right inside the collection
// on the account's server are taken; others are listed as refused and never asked for.

#include "sync/davclient.h"

#include <optional>

namespace dav {

struct Member {
    QString href;
    QString etag;
};

struct Changes {
    std::vector<Member> present; // new or changed (all members for an empty token)
    QStringList removed;         // hrefs gone since the token
    QStringList refused;         // hrefs outside the collection
    QString token;
};

// sync-collection from `token` (empty: everything), following a server that answers in
// parts (507 on the collection) until it is done. nullopt when the server refuses the
// report or the token (an expired or unknown token is answered 403/409/412 or even
// 500 by some servers): the caller then compares ETags. Network faults throw.
std::optional<Changes> syncCollection(Client& c, const QUrl& collection, const QString& token);

// Every member with its ETag (PROPFIND Depth 1).
Changes listMembers(Client& c, const QUrl& collection);

struct Item {
    QString href;
    QString etag;
    QByteArray data;       // empty when the member is gone
    bool tooLarge = false; // its text alone is longer than the client reads
};

// The texts of these members, asked for kMultigetBatch at a time, each batch handed to
// `take` as it arrives. A member the server did not give is handed on with empty data.
// A batch whose answer is too long is asked for again in halves.
inline constexpr int kMultigetBatch = 100;
void multiget(Client& c, const QUrl& collection, const QStringList& hrefs, bool cards,
              const std::function<void(std::vector<Item>&&)>& take);

} // namespace dav
