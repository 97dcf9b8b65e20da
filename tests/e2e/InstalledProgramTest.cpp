#include "ProgramOnXServer.h"

#include "support/dbus/TestStatusNotifierWatcher.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

using Watcher = TestStatusNotifierWatcher;

// This build installed into a temporary prefix by `cmake --install`, the way
// a user installs it from source, removed afterwards.
class InstalledBuild {
public:
    InstalledBuild()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-prefix-XXXXXX").string();
        prefix_ = mkdtemp(pattern.data()) ? pattern : "";
        std::string command = std::string(TARNWICK_CMAKE_COMMAND) + " --install " + TARNWICK_BINARY_DIR +
                              " --prefix " + prefix_ + " > " + prefix_ + ".out 2>&1";
        installed_ = !prefix_.empty() && std::system(command.c_str()) == 0;
    }
    ~InstalledBuild()
    {
        std::error_code ignored;
        std::filesystem::remove_all(prefix_, ignored);
        std::filesystem::remove(prefix_ + ".out", ignored);
    }

    ::testing::AssertionResult installed() const
    {
        if (installed_)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "cmake --install failed: " << TempHome::readFile(prefix_ + ".out");
    }
    std::string program() const { return prefix_ + "/bin/tarnwick"; }
    std::string desktopEntry() const { return prefix_ + "/share/applications/com.tarnwick.app.desktop"; }

private:
    std::string prefix_;
    bool installed_ = false;
};

std::string autostartExec(const ProgramOnXServer& session)
{
    std::istringstream lines(TempHome::readFile(session.home().configHome() + "/autostart/com.tarnwick.app.desktop"));
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("Exec="))
            return line.substr(5);
    return "";
}

// Starts the program, waits for its badge on the live cursor and its tray
// item, and turns "Launch at Login" on.
void startAndEnableLaunchAtLogin(ProgramOnXServer& session, Watcher& watcher, ChildProcess& program)
{
    std::optional<Watcher::Item> item = watcher.waitForItem(30);
    ASSERT_TRUE(item) << session.log() << program.standardError();
    EXPECT_TRUE(waitUntil(10, [&] { return opaquePixelsNear(session.live(), letterBadgeFill("en")) >= 20; }))
        << session.log();
    ASSERT_TRUE(watcher.click(*item, "Launch at Login"));
    ASSERT_TRUE(session.waitForLog("Launch at Login enabled", 5)) << session.log();
}

void quit(Watcher& watcher, ChildProcess& program)
{
    std::optional<Watcher::Item> item = watcher.waitForItem(5);
    ASSERT_TRUE(item);
    ASSERT_TRUE(watcher.click(*item, "Quit"));
    EXPECT_EQ(program.wait(10), 0) << program.standardError();
}

}

TEST(InstalledProgramTest, TheInstalledProgramBadgesTheCursorAndStartsItselfFromWhereItIsInstalled)
{
    const char* packaged = std::getenv("TARNWICK_INSTALLED_PROGRAM");
    std::optional<InstalledBuild> build;
    if (!packaged) {
        build.emplace();
        ASSERT_TRUE(build->installed());
    }
    const std::string installed = packaged ? packaged : build->program();
    ProgramOnXServer session;
    ASSERT_TRUE(session.ready());
    Watcher watcher(session.busAddress());
    ASSERT_TRUE(watcher.isRunning());
    auto program = session.launch({}, installed);
    // The provider came from the private library folder, not the build tree.
    EXPECT_TRUE(session.waitForLog("/tarnwick/libtarnwick_provider_x11.so", 10)) << session.log();

    startAndEnableLaunchAtLogin(session, watcher, *program);
    EXPECT_EQ(autostartExec(session), "\"" + installed + "\"");
    EXPECT_TRUE(session.waitForLog("program=" + installed + "\n", 5)) << session.log();
    if (build) {
        EXPECT_EQ(std::system(("desktop-file-validate " + build->desktopEntry()).c_str()), 0);
    }
    // What the desktop entry's action "Quit Tarnwick" runs.
    EXPECT_EQ(session.command({"--quit"}, installed)->wait(0), 0);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
}

TEST(InstalledProgramTest, AProgramReplacedWhileRunningStartsTheReplacementAtLogin)
{
    InstalledBuild build;
    ASSERT_TRUE(build.installed());
    ProgramOnXServer session;
    ASSERT_TRUE(session.ready());
    Watcher watcher(session.busAddress());
    ASSERT_TRUE(watcher.isRunning());
    auto program = session.launch({}, build.program());
    ASSERT_TRUE(session.waitForLog("Window-server provider loaded", 10)) << session.log();

    // As an upgrade or a rebuild does: a new file renamed over the old one.
    std::filesystem::copy_file(build.program(), build.program() + ".new");
    std::filesystem::rename(build.program() + ".new", build.program());
    std::string link = std::filesystem::read_symlink("/proc/" + std::to_string(program->pid()) + "/exe").string();
    ASSERT_TRUE(link.ends_with(" (deleted)")) << link;

    startAndEnableLaunchAtLogin(session, watcher, *program);
    EXPECT_EQ(autostartExec(session), "\"" + build.program() + "\"");
    quit(watcher, *program);
}
