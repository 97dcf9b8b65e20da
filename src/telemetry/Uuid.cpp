#include "telemetry/Uuid.h"

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

}
