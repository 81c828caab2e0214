#include "platform/localecharset.h"

#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>

namespace {

// One conversion descriptor for one call; iconv descriptors must not be shared between threads.
class Converter
{
public:
    Converter(const char* to, const char* from) : descriptor(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(descriptor);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return descriptor != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return descriptor; }

private:
    iconv_t descriptor;
};

} // namespace

LocaleCharset::LocaleCharset(QByteArray codeset) : codeset(std::move(codeset)) {}

LocaleCharset LocaleCharset::ofUserLocale()
{
    std::setlocale(LC_ALL, "");
    return LocaleCharset(QByteArray(nl_langinfo(CODESET)));
}

std::optional<QByteArray> LocaleCharset::encode(const QString& text) const
{
    Converter converter(codeset.constData(), "UTF-8");
    if (!converter.valid())
        return std::nullopt;

    QByteArray input = text.toUtf8();
    QByteArray output;
    // No character set of a locale takes more than four bytes for one UTF-8 byte, plus room for
    // a closing shift sequence.
    output.resize(input.size() * 4 + 16);
    char* in = input.data();
    size_t inLeft = static_cast<size_t>(input.size());
    char* out = output.data();
    size_t outLeft = static_cast<size_t>(output.size());

    // A non-zero count means characters were replaced by look-alikes: refused as well.
    if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) != 0)
        return std::nullopt;
    if (iconv(converter.get(), nullptr, nullptr, &out, &outLeft) != 0)
        return std::nullopt;
    output.truncate(output.size() - static_cast<qsizetype>(outLeft));
    return output;
}

QString LocaleCharset::decode(QByteArrayView bytes) const
{
    Converter converter("UTF-8", codeset.constData());
    if (!converter.valid())
        return QString(bytes.size(), QChar::ReplacementCharacter);

    QByteArray input(bytes.data(), bytes.size());
    QByteArray output;
    output.resize(input.size() * 4 + 16);
    char* in = input.data();
    size_t inLeft = static_cast<size_t>(input.size());
    char* out = output.data();
    size_t outLeft = static_cast<size_t>(output.size());
    QString result;

    auto flush = [&] {
        result +=
            QString::fromUtf8(output.constData(), output.size() - static_cast<qsizetype>(outLeft));
        out = output.data();
        outLeft = static_cast<size_t>(output.size());
    };

    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            flush();
            continue;
        }
        // An invalid or incomplete sequence: mark it and go on with the next byte.
        flush();
        result += QChar::ReplacementCharacter;
        ++in;
        --inLeft;
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    flush();
    return result;
}
