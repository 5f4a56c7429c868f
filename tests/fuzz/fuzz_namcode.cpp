// The name coding on any UTF-16 text, lone surrogates included: its own inverse, length
// kept, never the identity, and a part of a name is a part of the coded name (the name
// lookup searches the coded column with the coded text).

#include "modul/cardmodul.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QString text(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data, size / 2 * 2);
    const QString coded = cardmodul::namcode(text);
    if (coded.size() != text.size() || cardmodul::namcode(coded) != text)
        std::abort();
    if (!text.isEmpty() && coded == text)
        std::abort();
    const qsizetype half = text.size() / 2;
    const QString whole = text.left(half);
    const QString part = text.mid(half, text.size() / 4);
    if (whole.contains(part) != cardmodul::namcode(whole).contains(cardmodul::namcode(part)))
        std::abort();
    return 0;
}
