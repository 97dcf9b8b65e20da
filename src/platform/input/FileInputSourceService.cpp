#include "platform/input/FileInputSourceService.h"

#include "base/AppLog.h"
#include "platform/files/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <sys/inotify.h>
#include <unistd.h>

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
    if (inotifyFd_ >= 0)
        close(inotifyFd_);
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
    std::filesystem::path file(path_);
    std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0)
        return false;
    // The folder, not the file: editors and atomic writers replace the file.
    constexpr uint32_t changes = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
    if (inotify_add_watch(inotifyFd_, folder.c_str(), changes) < 0) {
        close(inotifyFd_);
        inotifyFd_ = -1;
        return false;
    }
    watch_ = RunLoop::main().watchReadable(inotifyFd_, [this] { readChanges(); });
    return true;
}

void FileInputSourceService::readChanges()
{
    const std::string name = std::filesystem::path(path_).filename().string();
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t length = read(inotifyFd_, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && name == event->name)
                changed = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (changed)
        observers_.notifyAll();
}
