#pragma once

#include <optional>
#include <string>
#include <vector>

// The languages an input method names for itself (IBus's "language" field,
// Fcitx 5's language code): "vi", "zh_CN", "rus", "other", "".
namespace InputMethodLanguages {

// The tag with its base in two-letter form where ISO 639 has one ("rus"
// gives "ru", "zh_CN" gives "zh-CN"); nothing when it names no language, so
// that the input method's names decide.
std::optional<std::vector<std::string>> fromTag(const std::string& tag);

}
