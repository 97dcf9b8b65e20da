#include "platform/encoding/Base64.h"

#include <QByteArray>

namespace Base64 {

std::string encode(const std::string& bytes)
{
    QByteArray encoded = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    return std::string(encoded.constData(), static_cast<std::size_t>(encoded.size()));
}

std::optional<std::string> decode(const std::string& text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                                  QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::string(decoded.decoded.constData(), static_cast<std::size_t>(decoded.decoded.size()));
}

}
