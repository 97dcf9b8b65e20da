#include "platform/input/FileInputSourceService.h"

#include "base/AppLog.h"
#include "platform/files/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace {

std::string trimmed(const std::string& text)
{
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), isSpace);
    auto end = std::find_if_not(text.rbegin(), std::make_reverse_iterator(begin), isSpace).base();
    return std::string(begin, end);
}

std::vector<std::string> languageList(const std::string& value)
{
    std::vector<std::string> languages;
    std::istringstream in(value);
    for (std::string entry; std::getline(in, entry, ',');)
        if (std::string tag = trimmed(entry); !tag.empty())
            languages.push_back(tag);
    return languages;
}

}

FileInputSourceService::FileInputSourceService(std::string path) : path_(std::move(path)) {}

FileInputSourceService::~FileInputSourceService()
{
    if (watch_)
        watch_->cancel();
}

std::optional<InputSource> FileInputSourceService::currentKeyboardInputSource()
{
    std::optional<std::string> contents = AtomicFile::read(path_, 1 << 20);
    if (!contents)
        return std::nullopt;
    return parse(*contents);
}

std::optional<InputSource> FileInputSourceService::parse(const std::string& contents)
{
    if (trimmed(contents).empty())
        return std::nullopt;
    InputSource source;
    std::istringstream in(contents);
    for (std::string line; std::getline(in, line);) {
        auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = trimmed(line.substr(0, equals));
        std::string value = trimmed(line.substr(equals + 1));
        if (key == "name")
            source.localizedName = value;
        else if (key == "id")
            source.identifier = value;
        else if (key == "languages")
            source.languages = languageList(value);
    }
    return source;
}

std::shared_ptr<RunLoop::Handle> FileInputSourceService::observeSelectedSourceChanged(std::function<void()> callback)
{
    if (!watch_ && !startWatching())
        AppLog::warn("Input sources: cannot watch " + path_ + " for changes");
    return observers_.add(std::move(callback));
}

bool FileInputSourceService::startWatching()
{
    // The folder, not the file: editors and atomic writers replace the file.
    changes_ = std::make_unique<FileChangeWatch>(path_);
    if (!changes_->watching()) {
        changes_.reset();
        return false;
    }
    // The first ask answers yes by itself; what counts is what comes after it.
    changes_->mayHaveChanged();
    watch_ = RunLoop::main().watchReadable(changes_->descriptor(), [this] {
        if (changes_->mayHaveChanged())
            observers_.notifyAll();
    });
    return true;
}
