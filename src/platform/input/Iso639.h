#pragma once

#include <string>

// ISO 639 language codes, from the iso-codes tables installed with the system.
namespace Iso639 {

// The two-letter code of a three-letter one ("deu" and "ger" give "de"); any
// code without a two-letter form comes back unchanged ("yue").
std::string shortestCode(const std::string& code);

}
