#include "platform/system/Uuid.h"

#include <uuid/uuid.h>

namespace Uuid {

std::string random()
{
    uuid_t bytes;
    uuid_generate_random(bytes);
    char text[37];
    uuid_unparse_upper(bytes, text);
    return text;
}

bool isValid(const std::string& text)
{
    uuid_t bytes;
    return text.size() == 36 && uuid_parse(text.c_str(), bytes) == 0;
}

}
