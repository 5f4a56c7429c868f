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

bool isGbName(QByteArrayView name)
{
    for (const char* gb : {"GB2312", "GBK", "CP936", "GB18030", "X-GBK", "GB_2312-80", "EUC-CN",
                           "MS936", "WINDOWS-936"})
        if (name.compare(gb, Qt::CaseInsensitive) == 0)
            return true;
    return false;
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

std::optional<QStringConverter::Encoding> utf16Of(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    // Without a mark: UTF-16 has a zero byte beside every ASCII character (after it at the
    // little end, before it at the big end); UTF-8 and GB18030 text has none there. The file
    // begins with two ASCII characters (BEGIN:, a heading), or its first bytes are mostly
    // such characters.
    if (bytes.size() < 4)
        return std::nullopt;
    auto ascii = [&](qsizetype i) {
        return bytes[i] != 0 && static_cast<unsigned char>(bytes[i]) < 0x80;
    };
    if (ascii(0) && bytes[1] == 0 && ascii(2) && bytes[3] == 0)
        return QStringConverter::Utf16LE;
    if (bytes[0] == 0 && ascii(1) && bytes[2] == 0 && ascii(3))
        return QStringConverter::Utf16BE;
    const qsizetype n = qMin<qsizetype>(bytes.size(), 256) & ~qsizetype(1);
    int evenZero = 0, oddZero = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenZero += bytes[i] == 0;
        oddZero += bytes[i + 1] == 0;
    }
    const int pairs = int(n / 2);
    if (oddZero * 3 >= pairs && evenZero * 8 < oddZero)
        return QStringConverter::Utf16LE;
    if (evenZero * 3 >= pairs && oddZero * 8 < evenZero)
        return QStringConverter::Utf16BE;
    return std::nullopt;
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
        return decodeGuess(bytes);
    if (isGbName(charset))
        return decode(bytes, Encoding::Gb18030);
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
