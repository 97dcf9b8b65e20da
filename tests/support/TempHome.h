#pragma once

#include <string>

// A fresh temporary home for one test: HOME and the XDG folders point into it
// while the object lives, and it is removed afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    std::string configHome() const { return path_ + "/.config"; }
    std::string applicationSupport() const { return path_ + "/.local/share"; }

    static std::string readFile(const std::string& path);
    static void writeFile(const std::string& path, const std::string& bytes);
    static bool exists(const std::string& path);

private:
    std::string path_;
    std::string savedHome_, savedConfig_, savedData_;
    bool hadHome_, hadConfig_, hadData_;
};
