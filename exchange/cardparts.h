#pragma once
// The parts of a card that files of other programs carry apart and the card table holds
// together: a person's name, an address, a gender, a date, and the 说明 lines of what has
// no column. Shared by the vCard and the CSV readers, so that the same file content gives
// the same card whichever way it came.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>

namespace exchange::cardparts {

// Any Han character (CJK ideographs, their extensions and compatibility forms).
bool hasHan(QStringView s);

// The components of vCard's N.
struct Name {
    QString family, given, additional, prefix, suffix;
    bool isEmpty() const;
};

// A full name taken apart: a Chinese name is family name first (one character, or a
// compound surname of two), others end in the family name, with honorifics before
// ("Mr.", "Dr.", ...) and generational or academic suffixes after ("Jr.", "PhD", ...)
// kept apart.
Name splitName(QStringView full);
// The full name of its parts: Chinese without blanks, family name first; others given
// name first, parts separated by one blank.
QString joinName(const Name& n);

// An address of its parts (vCard ADR order: PO box, extended, street, city, region,
// postcode, country); the postcode is kept apart by the caller. Chinese addresses read big
// to small without blanks, others street first with ", ". A part equal to the one before
// it is left out ("北京;北京"); a line break inside a part joins its lines as the address
// does (nothing between Chinese lines, ", " between others).
QString addressText(std::span<const QStringView> adr);

// 男 / 女 for the ways programs write a sex (M, male, Male, 男, ...); other texts as they
// are; empty for "unspecified" ones (Outlook's Unspecified, 未指定).
QString genderText(QStringView sex, QStringView identity = {});

// A date written yyyyMMdd as yyyy-MM-dd; any other text as it is.
QString dateText(QStringView d);

// A value without the URI scheme programs put before a handle ("x-apple:12345",
// "qq:12345", "skype:name"); a value without one as it is.
QString withoutScheme(QStringView v);

} // namespace exchange::cardparts
