#include "language/LanguageDetector.h"

#include "base/AppLog.h"

#include <algorithm>
#include <string_view>

namespace {

struct Keyword {
    std::string_view text;
    std::string_view code;
};

// Tried in order, first match wins: a keyword that contains another comes
// before it ("itabc" before "abc", "russian" before "us").
constexpr Keyword fallbackKeywords[] = {
    {"itabc", "zh-hans"},     {"abc", "en"},          {"russian", "ru"},       {"us", "en"},
    {"english", "en"},        {"dutch", "nl"},        {"nederlands", "nl"},    {"nederland", "nl"},
    {"netherlands", "nl"},    {"flemish", "nl"},      {"vlaams", "nl"},        {"belgian", "nl"},
    {"ukrainian", "uk"},      {"german", "de"},       {"french", "fr"},        {"spanish", "es"},
    {"italian", "it"},        {"portuguese", "pt"},   {"japanese", "ja"},      {"kotoeri", "ja"},
    {"korean", "ko"},         {"hangul", "ko"},       {"scim", "zh-hans"},     {"wubi", "zh-hans"},
    {"shuangpin", "zh-hans"}, {"simplified", "zh-hans"}, {"pinyin", "zh-hans"}, {"tcim", "zh-hant"},
    {"cangjie", "zh-hant"},   {"zhuyin", "zh-hant"},  {"traditional", "zh-hant"}, {"chinese", "zh"},
};

std::string fallbackCode(const std::string& sourceID, const std::string& name)
{
    std::string text = sourceID + " " + name;
    std::replace(text.begin(), text.end(), '_', '-');
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    for (const Keyword& keyword : fallbackKeywords)
        if (text.find(keyword.text) != std::string::npos)
            return std::string(keyword.code);
    return "unknown";
}

}

LanguageDetector::LanguageDetector(InputSourceService& inputSources) : inputSources_(inputSources) {}

LanguageState LanguageDetector::detect() const
{
    std::optional<InputSource> source = inputSources_.currentKeyboardInputSource();
    if (!source) {
        AppLog::warn("LanguageDetector: no current keyboard input source");
        return LanguageState{InputLanguage::unknown()};
    }
    // The same source types the same language; only its debug line would
    // tell the two apart.
    bool known = lastSource_ && lastSource_->localizedName == source->localizedName &&
                 lastSource_->identifier == source->identifier && lastSource_->languages == source->languages;
    if (known && !AppLog::verboseEnabled())
        return lastState_;
    std::string name = source->localizedName.value_or("Unknown");
    std::string sourceID = source->identifier.value_or("unknown");
    std::string code;
    if (source->languages && !source->languages->empty() && !source->languages->front().empty()) {
        const std::string& raw = source->languages->front();
        code = InputLanguage::normalizedCode(raw);
        AppLog::debug("LanguageDetector via input languages: sourceID=" + sourceID + " name=" + name + " raw=" + raw +
                      " normalized=" + code);
    } else {
        code = fallbackCode(sourceID, name);
        AppLog::debug("LanguageDetector via fallback: sourceID=" + sourceID + " name=" + name + " code=" + code);
    }
    lastState_ = LanguageState{InputLanguage::make(code, name, sourceID)};
    lastSource_ = std::move(source);
    return lastState_;
}
