// The typed-date parser on any text: a valid date whose date text parses back to it, or
// the text used as typed.

#include "modul/cardmodul.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString typed =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QDate> d = cardmodul::parseDate(typed);
    if (!d) {
        if (cardmodul::normdate(typed) != typed)
            std::abort();
        return 0;
    }
    if (!d->isValid())
        std::abort();
    const QString text = cardmodul::datetext(*d);
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        std::abort();
    if (cardmodul::normdate(typed) != text || cardmodul::parseDate(text) != d ||
        cardmodul::normdate(text) != text)
        std::abort();
    return 0;
}
