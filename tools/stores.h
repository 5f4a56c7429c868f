#pragma once
// Where an import puts the records it read: cards, meetings and diary entries go into
// their tables inside the import's transaction, matched by UID against what is stored,
// and what was not stored is counted and told why.

#include "exchange/records.h"
#include "platform/adodb.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace transfer {

struct ImportOptions {
    bool allowDuplicates = false; // a name (a meeting) stored already goes in again
    bool update = false;          // a record whose UID is known but differs replaces it
};

// What an import did, and its remarks, kind by kind.
struct Tally {
    qint64 added = 0;
    qint64 same = 0;       // a known UID, the same content: nothing to do
    qint64 changed = 0;    // a known UID, other content, not replaced (no --update)
    qint64 updated = 0;    // a known UID, other content, replaced (--update)
    qint64 duplicates = 0; // a name (a meeting, a date) stored already or earlier in the file
    std::vector<QString> duplicateRemarks;
    std::vector<QString> changedRemarks;
};

class Store {
public:
    virtual ~Store() = default;
    // Stores a batch; the batch's views are used only until it returns.
    virtual void add(const exchange::Records& in) = 0;
    // Stores what is left over; called once after the last batch.
    virtual void finish() {}
    const Tally& tally() const { return m_tally; }

protected:
    Tally m_tally;
};

// `file` names the file in the remarks; `now` stamps replaced diary texts.
std::unique_ptr<Store> cardStore(adodb::Connection& c, const QString& file, const ImportOptions& o);
std::unique_ptr<Store> meetingStore(adodb::Connection& c, const QString& file,
                                    const ImportOptions& o);
std::unique_ptr<Store> diaryStore(adodb::Connection& c, const QString& file, const ImportOptions& o,
                                  const QDateTime& now);

} // namespace transfer
