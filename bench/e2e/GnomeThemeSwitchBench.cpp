// The program in a GNOME Wayland session (GSettings on its keyfile backend in
// a temporary home, a private X server standing in for XWayland, a
// WAYLAND_DISPLAY that nothing answers): how long an input-source change
// takes to become the new theme name in the desktop's cursor-theme setting.
//
// A switch is timed from the moment the new mru-sources is in the settings
// file (as GNOME Shell writes it) until the file names the new language's
// theme, read every half millisecond. Warm: both languages' themes are on
// disk already. Cold: the target language's theme folder is removed first,
// so the switch writes it.

#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string readAll(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Session {
public:
    Session()
    {
        if (!server_.running())
            return;
        fs::create_directories(fs::path(keyfile()).parent_path());
        std::ofstream(keyfile()) << "[org/gnome/desktop/interface]\ncursor-theme='DMZ-White'\n\n"
                                    "[org/gnome/desktop/input-sources]\nmru-sources=[('xkb', 'us')]\n";
        program_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{ChildProcess::programPath()},
            std::map<std::string, std::string>{{"DISPLAY", server_.display()},
                                               {"TARNWICK_LOG_FILE", home_.path() + "/Tarnwick.log"},
                                               {"WAYLAND_DISPLAY", "wayland-tarnwick-nobody"},
                                               {"XDG_SESSION_TYPE", "wayland"},
                                               {"XDG_CURRENT_DESKTOP", "GNOME"},
                                               {"GSETTINGS_BACKEND", "keyfile"},
                                               {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"},
                                               {"QT_QPA_PLATFORM", ""},
                                               {"TARNWICK_WINDOW_SERVER", ""},
                                               {"TARNWICK_INPUT_SOURCE", ""}});
        started_ = waitForTheme("Tarnwick-en-", 30) >= 0;
        // The first apply's re-activations and stabilization pass first.
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }

    ~Session()
    {
        if (program_) {
            program_->signal(SIGTERM);
            program_->wait(10);
        }
    }

    bool started() const { return started_; }

    // Seconds from the new source in the file to the new theme in the
    // setting; negative when it did not come within five seconds.
    double switchTo(const std::string& layout, const std::string& language, bool cold)
    {
        if (cold)
            removeThemes(language);
        std::string text = std::regex_replace(readAll(keyfile()), std::regex("mru-sources=.*"),
                                              "mru-sources=[('xkb', '" + layout + "')]");
        std::ofstream(keyfile() + ".new") << text;
        fs::rename(keyfile() + ".new", keyfile(), ignored_);
        return waitForTheme("Tarnwick-" + language + "-", 5);
    }

private:
    std::string keyfile() const { return home_.configHome() + "/glib-2.0/settings/keyfile"; }

    double waitForTheme(const std::string& prefix, double seconds)
    {
        auto start = Clock::now();
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            if (readAll(keyfile()).find("cursor-theme='" + prefix) != std::string::npos)
                return std::chrono::duration<double>(Clock::now() - start).count();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return -1;
    }

    void removeThemes(const std::string& language)
    {
        for (const auto& entry : fs::directory_iterator(home_.applicationSupport() + "/icons", ignored_))
            if (entry.path().filename().string().starts_with("Tarnwick-" + language + "-"))
                fs::remove_all(entry.path(), ignored_);
    }

    TempHome home_;
    XvfbServer server_;
    std::unique_ptr<ChildProcess> program_;
    std::error_code ignored_;
    bool started_ = false;
};

Session& session()
{
    static Session instance;
    return instance;
}

void switchBack(benchmark::State& state, bool cold)
{
    if (!session().started()) {
        state.SkipWithError("the program did not select its theme");
        return;
    }
    bool russian = false;
    for (auto _ : state) {
        russian = !russian;
        double seconds = session().switchTo(russian ? "ru" : "us", russian ? "ru" : "en", cold);
        if (seconds < 0) {
            state.SkipWithError("the theme did not follow the input source");
            return;
        }
        state.SetIterationTime(seconds);
        // Past the delayed re-activations of this switch.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
}

void BM_InputSourceToThemeSettingWarm(benchmark::State& state)
{
    switchBack(state, false);
}

void BM_InputSourceToThemeSettingCold(benchmark::State& state)
{
    switchBack(state, true);
}

}

BENCHMARK(BM_InputSourceToThemeSettingWarm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_InputSourceToThemeSettingCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

BENCHMARK_MAIN();
