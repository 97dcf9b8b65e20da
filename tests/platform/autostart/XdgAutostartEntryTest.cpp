#include "platform/autostart/XdgAutostartEntry.h"

#include "runtime/LogCapture.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

// Reads the Exec value back the way a session's autostart reader does: the
// string escapes first, then the quoting of the one argument.
std::optional<std::string> argumentOfExec(const std::string& value)
{
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            unescaped += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        std::map<char, char> escapes = {{'\\', '\\'}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'s', ' '}};
        if (!escapes.count(value[i]))
            return std::nullopt;
        unescaped += escapes[value[i]];
    }
    if (unescaped.size() < 2 || unescaped.front() != '"' || unescaped.back() != '"')
        return std::nullopt;
    std::string argument;
    for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
        char c = unescaped[i];
        if (c == '\\') {
            c = unescaped[++i];
            if (c != '"' && c != '`' && c != '$' && c != '\\')
                return std::nullopt;
        } else if (c == '"' || c == '`' || c == '$') {
            return std::nullopt;
        } else if (c == '%') {
            if (unescaped[++i] != '%')
                return std::nullopt;
        }
        argument += c;
    }
    return argument;
}

std::map<std::string, std::string> keysOf(const std::string& entry)
{
    std::map<std::string, std::string> keys;
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);)
        if (auto equals = line.find('='); equals != std::string::npos)
            keys[line.substr(0, equals)] = line.substr(equals + 1);
    return keys;
}

}

TEST(XdgAutostartEntry, OnWritesTheEntryAndOffRemovesIt)
{
    LogCapture log;
    TempHome home;
    XdgAutostartEntry entry;
    EXPECT_EQ(entry.path(), home.configHome() + "/autostart/com.tarnwick.app.desktop");
    EXPECT_FALSE(entry.exists());

    ASSERT_TRUE(entry.install("/opt/tarnwick/bin/tarnwick"));
    EXPECT_TRUE(entry.exists());
    std::string written = TempHome::readFile(entry.path());
    EXPECT_EQ(written.substr(0, 16), "[Desktop Entry]\n");
    auto keys = keysOf(written);
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Name"], "Tarnwick");
    EXPECT_EQ(keys["Exec"], "\"/opt/tarnwick/bin/tarnwick\"");
    EXPECT_EQ(keys["Terminal"], "false");
    EXPECT_EQ(keys["NoDisplay"], "true");
    EXPECT_EQ(keys["X-GNOME-Autostart-enabled"], "true");
    EXPECT_EQ(keys.count("Hidden"), 0u);
    struct stat st {};
    ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_TRUE(log.has("[INFO] Launch agent written: path=" + entry.path() + " program=/opt/tarnwick/bin/tarnwick"))
        << ::testing::PrintToString(log.lines());

    EXPECT_TRUE(entry.remove());
    EXPECT_FALSE(entry.exists());
    // Nothing to remove is not a failure.
    EXPECT_TRUE(entry.remove());
}

TEST(XdgAutostartEntry, FollowsXdgConfigHomeAndReplacesWhatIsThere)
{
    TempHome home;
    setenv("XDG_CONFIG_HOME", (home.path() + "/elsewhere").c_str(), 1);
    XdgAutostartEntry entry;
    EXPECT_EQ(entry.path(), home.path() + "/elsewhere/autostart/com.tarnwick.app.desktop");
    TempHome::writeFile(entry.path(), "[Desktop Entry]\nExec=other\n");
    ASSERT_TRUE(entry.install("/usr/bin/tarnwick"));
    EXPECT_EQ(keysOf(TempHome::readFile(entry.path()))["Exec"], "\"/usr/bin/tarnwick\"");
}

TEST(XdgAutostartEntry, AFileSomeoneElseCreatedCountsAsOnAndIsRemoved)
{
    TempHome home;
    XdgAutostartEntry entry;
    TempHome::writeFile(entry.path(), "not even a desktop entry");
    EXPECT_TRUE(entry.exists());
    EXPECT_TRUE(entry.remove());
    EXPECT_FALSE(entry.exists());
}

TEST(XdgAutostartEntry, AnUnwritableFolderLeavesTheOptionOffAndSaysWhy)
{
    LogCapture log;
    TempHome home;
    // Root may write anywhere; a file where the folder should be stops it.
    TempHome::writeFile(home.configHome() + "/autostart", "a file, not a folder");
    XdgAutostartEntry entry;
    EXPECT_FALSE(entry.install("/usr/bin/tarnwick"));
    EXPECT_FALSE(entry.exists());
    EXPECT_TRUE(log.has("[WARN] Launch agent not written: path=" + entry.path())) << ::testing::PrintToString(log.lines());
}

TEST(XdgAutostartEntry, ExecRunsExactlyTheGivenFileWhateverItsName)
{
    for (std::string path : {"/usr/bin/tarnwick", "/home/a b/My Apps/tarnwick", "/tmp/$HOME/`id`/x",
                             "/tmp/quote\"d/back\\slash", "/tmp/100%/%f", "/tmp/tab\there/new\nline",
                             "/tmp/semi;colon|pipe&amp(paren)#~'<>*?", "/tmp/Ünïcödé/тарнвик"}) {
        std::optional<std::string> exec = XdgAutostartEntry::execValue(path);
        ASSERT_TRUE(exec) << path;
        EXPECT_EQ(exec->find('\n'), std::string::npos) << path;
        EXPECT_EQ(argumentOfExec(*exec), path) << *exec;
    }
    EXPECT_EQ(XdgAutostartEntry::execValue("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(XdgAutostartEntry::execValue("/50%"), "\"/50%%\"");

    TempHome home;
    XdgAutostartEntry entry;
    for (std::string unusable : {std::string(), std::string("tarnwick"), std::string("./tarnwick"),
                                 std::string("/tmp/bell\a"), std::string("/tmp/nul\0x", 10)}) {
        EXPECT_FALSE(XdgAutostartEntry::execValue(unusable)) << unusable;
        EXPECT_FALSE(entry.install(unusable));
    }
    EXPECT_FALSE(entry.exists());
}
