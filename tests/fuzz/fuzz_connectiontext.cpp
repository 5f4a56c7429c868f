// The connection-text parser on any text: a data source, or the layer's own error with a
// description; a text written back from what it parsed parses to the same parts.

#include "platform/adodb.h"

#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    adodb::ConnectionText parsed;
    try {
        parsed = adodb::ConnectionText::parse(text);
    } catch (const adodb::Error& e) {
        if (e.number() != adodb::ErrBadConnectionText || e.description().isEmpty())
            std::abort();
        return 0;
    }
    if (parsed.dataSource.isEmpty())
        std::abort();
    // Parts without ';' come back from the text the program builds of them.
    if (parsed.provider.contains(u';') || parsed.dataSource.contains(u';') ||
        parsed.password.contains(u';'))
        return 0;
    const QString again = u"Provider="_s + parsed.provider +
                          u";Persist Security Info=false;Data Source="_s + parsed.dataSource +
                          u";Jet OLEDB:Database password = "_s + parsed.password + u";"_s;
    const adodb::ConnectionText back = adodb::ConnectionText::parse(again);
    if (back.provider != parsed.provider || back.dataSource != parsed.dataSource ||
        back.password != parsed.password)
        std::abort();
    return 0;
}
