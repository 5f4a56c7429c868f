#pragma once
// The tables of the database file: their columns in table order, the headings the
// windows show for them, and the statements that make a new file.

#include <QString>
#include <QStringList>

#include <array>

using namespace Qt::StringLiterals;

namespace tables {

// cardtab: the serial number, then 21 texts. The name column holds the coded name.
inline constexpr int kCardColumns = 22;
inline constexpr int kCardNameColumn = 1;
const std::array<QString, kCardColumns>& cardColumns();
// The card list headings, heading j for column j.
const std::array<QString, kCardColumns>& cardHeadings();

// meet_tab: serial number, record date, topic, place, meeting date, hour, minute.
inline constexpr int kMeetColumns = 7;
const std::array<QString, kMeetColumns>& meetColumns();
// The meeting search list: every column but the minute, the time shown as hour：minute.
inline constexpr int kMeetListColumns = 6;
const std::array<QString, kMeetListColumns>& meetHeadings();

// The columns of cardtab and meet_tab by position, named as in the table (a misspelt
// column does not compile).
namespace card {
enum Column : int {
    serno,
    full_nam,
    off_nam,
    Status,
    glender,
    nation,
    age,
    blood_typ,
    off_addr,
    o_phone,
    fax_code,
    off_zip,
    web_addr,
    mail_addr,
    mobile,
    call_code,
    home_addr,
    h_phone,
    home_zip,
    qq_code,
    web_nam,
    note,
    count
};
static_assert(count == kCardColumns && full_nam == kCardNameColumn);
} // namespace card
namespace meet {
enum Column : int {
    meet_serno,
    record_date,
    meet_cont,
    meet_addr,
    meet_date,
    go_hour,
    go_second,
    count
};
static_assert(count == kMeetColumns);
} // namespace meet

// Statements that make a new, empty database file (ctdb init and the tests).
QStringList schemaStatements();

// daily_hist keeps every diary text that a save replaced, with the time it was replaced.
// Files made before it existed get it with their first such save.
QString diaryHistorySchema();

} // namespace tables
