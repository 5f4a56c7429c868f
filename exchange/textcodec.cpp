#include "exchange/textcodec.h"

#include "platform/utf8.h"

#include <QStringDecoder>
#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace exchange {

namespace {
constexpr char kGb18030[] = "GB18030";

bool isUtf8Name(QByteArrayView name)
{
    return name.compare("UTF-8", Qt::CaseInsensitive) == 0 ||
           name.compare("UTF8", Qt::CaseInsensitive) == 0;
}

std::optional<QString> decodeWith(QStringDecoder& d, QByteArrayView bytes)
{
    QString text = d.decode(bytes);
    if (d.hasError())
        return std::nullopt;
    return text;
}
} // namespace

std::optional<Encoding> encodingNamed(QStringView name)
{
    const QString n = name.toString().toLower();
    if (n == u"utf-8" || n == u"utf8")
        return Encoding::Utf8;
    if (n == u"gb18030")
        return Encoding::Gb18030;
    return std::nullopt;
}

bool hasUtf8Bom(QByteArrayView bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

QByteArrayView withoutUtf8Bom(QByteArrayView bytes)
{
    return hasUtf8Bom(bytes) ? bytes.sliced(3) : bytes;
}

std::optional<QString> decode(QByteArrayView bytes, Encoding e)
{
    if (e == Encoding::Utf8)
        return utf8::strict(bytes);
    QStringDecoder d(kGb18030, QStringDecoder::Flag::Stateless);
    return decodeWith(d, bytes);
}

std::optional<QString> decodeCharset(QByteArrayView bytes, QByteArrayView charset, bool* known)
{
    *known = true;
    if (isUtf8Name(charset))
        return decode(bytes, Encoding::Utf8);
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    const QByteArray name = charset.toByteArray();
    QStringDecoder d(name.constData(), QStringDecoder::Flag::Stateless);
    if (!d.isValid()) {
        *known = false;
        return std::nullopt;
    }
    if (ascii) // every charset of a vCard reads ASCII as ASCII
        return QString::fromLatin1(bytes);
    return decodeWith(d, bytes);
}

std::optional<QString> decodeGuess(QByteArrayView bytes)
{
    if (auto t = decode(bytes, Encoding::Utf8))
        return t;
    return decode(bytes, Encoding::Gb18030);
}

QByteArray encode(QStringView text, Encoding e)
{
    if (e == Encoding::Utf8)
        return text.toUtf8();
    QStringEncoder enc(kGb18030, QStringEncoder::Flag::Stateless);
    return enc.encode(text);
}

} // namespace exchange
