#pragma once

#include "platform/files/FileChangeWatch.h"
#include "platform/input/InputSourceService.h"
#include "platform/input/SourceChangeObservers.h"

#include <memory>
#include <string>

// Input sources described by a text file, for headless runs and tests. The
// file is read on every query:
//
//     name=Russian
//     id=xkb:ru
//     languages=ru,en
//
// A missing or empty file means no current source; a missing line, a missing
// property. Observers hear of every change to the file (inotify on its folder).
class FileInputSourceService : public InputSourceService {
public:
    explicit FileInputSourceService(std::string path);
    ~FileInputSourceService() override;
    FileInputSourceService(const FileInputSourceService&) = delete;
    FileInputSourceService& operator=(const FileInputSourceService&) = delete;

    std::optional<InputSource> currentKeyboardInputSource() override;
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) override;

    static std::optional<InputSource> parse(const std::string& contents);

private:
    bool startWatching();

    std::string path_;
    SourceChangeObservers observers_;
    std::unique_ptr<FileChangeWatch> changes_;
    std::shared_ptr<RunLoop::Handle> watch_;
};
