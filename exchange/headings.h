#pragma once
// The headings of CSV files other programs write: contact lists of Google Contacts (its
// Google CSV, old and new, and its Outlook CSV), Outlook (English and Chinese), Thunderbird
// (English and Chinese), spreadsheets with the card list's own headings; and Outlook's
// calendar export. Each heading gets a meaning; a row is read by those meanings.

#include "modul/tables.h"

#include <QDate>
#include <QString>

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace exchange::headings {

namespace detail {
enum class Role : quint8 {
    Ignore, // noise: e-mail types and display names, priority, sensitivity, initials
    Extra,  // to 说明 as "heading：value"
    Ours,   // a card list heading: to its column
    FullName,
    Given,
    Middle,
    Family,
    Prefix,
    Suffix,
    Nickname,
    Company,
    Department,
    JobTitle,
    Gender,
    Birthday,
    BirthYear,
    BirthMonth,
    BirthDay,
    Notes,
    Qq,
    Groups,
    Email,
    Web,
    Phone,
    Address,
    Label, // Google's "Phone 1 - Label" (or "- Type"): the kind of its group's value
};

enum class Kind : quint8 { None, Work, Home, Mobile, Fax, HomeFax, OtherFax, Pager, Main, Other };
enum class Part : quint8 { None, Street, City, Region, Zip, Country, PoBox, Extended, Formatted };

struct Meaning {
    Role role;
    Kind kind = Kind::None;
    Part part = Part::None;
};

struct Column {
    Meaning meaning;
    int group = -1;     // a numbered group of Google's, else -1
    int ourColumn = -1; // Role::Ours
    QString heading;    // as written, for 说明
};
} // namespace detail

// The texts of one card in cardtab's columns (column 0, the serial number, unused).
using CardTexts = std::array<QString, tables::kCardColumns>;

// How the headings of a contact CSV file are read.
class CardLayout {
public:
    // The meaning of each heading. nullopt when no heading names a card or anything a
    // card could be named after (a name, a company, a nickname, an e-mail, a phone).
    static std::optional<CardLayout> of(std::span<const QString> headings);

    // Every heading is one of the card list's (序号 included) or empty: the rows go to
    // their columns as they are, column by column (see ourColumns()).
    bool isOurs() const { return m_ours; }
    // For isOurs(): the cardtab column of each heading; -1 for 序号 and empty headings.
    const std::vector<int>& ourColumns() const { return m_ourColumns; }

    // The card of a row of another program's file: names joined in their order, phones,
    // e-mails, addresses, company, title and notes to their columns, a second value of a
    // taken column and every other column to 说明 ("heading：value"). False when the row
    // gives no name of any kind (no name, company, nickname, e-mail or phone).
    bool card(std::span<const QString> fields, CardTexts& out) const;

private:
    std::vector<detail::Column> m_columns;
    std::vector<int> m_ourColumns;
    bool m_ours = false;
};

// The parts of a meeting a calendar CSV row gives.
struct MeetingParts {
    QString topic, place;
    QDate date;
    std::optional<int> hour, minute; // none for a whole day
};

// How the headings of Outlook's calendar export are read (English or Chinese).
class MeetingLayout {
public:
    // nullopt unless the headings hold a subject and a start date.
    static std::optional<MeetingLayout> of(std::span<const QString> headings);
    // The meeting of a row; nullopt with *why set when its start date or time cannot be
    // read.
    std::optional<MeetingParts> meeting(std::span<const QString> fields, QString* why) const;

private:
    int m_topic = -1, m_date = -1, m_time = -1, m_allDay = -1, m_place = -1;
    bool m_monthFirst = true; // M/d/yyyy (English headings) rather than d/M/yyyy
};

// A date as calendars and spreadsheets write it: yyyy-M-d, yyyy/M/d, yyyy.M.d, and
// M/d/yyyy (monthFirst) or d/M/yyyy, d.M.yyyy; two-digit years in 1950..2049.
std::optional<QDate> dateOf(QStringView text, bool monthFirst);
// A time of day: H:mm, H:mm:ss, with AM/PM or 上午/下午 before or after it.
std::optional<std::pair<int, int>> timeOf(QStringView text);

} // namespace exchange::headings
