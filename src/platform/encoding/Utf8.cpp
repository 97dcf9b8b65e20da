#include "platform/encoding/Utf8.h"

#include <QByteArrayView>

namespace Utf8 {

bool isValid(std::string_view bytes)
{
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())).isValidUtf8();
}

}
