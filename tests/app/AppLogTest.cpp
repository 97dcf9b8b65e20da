#include "base/AppLog.h"

#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// Each test logs into a private file with the environment it sets up.
class AppLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("ORVELLE_ENABLE_LOGS");
        unsetenv("ORVELLE_VERBOSE");
        path = home.path() + "/Tarnwick.log";
    }
    void TearDown() override
    {
        unsetenv("ORVELLE_ENABLE_LOGS");
        unsetenv("ORVELLE_VERBOSE");
    }
    void start() { AppLog::testing::reset(path); }
    std::string contents()
    {
        AppLog::flush();
        return TempHome::readFile(path);
    }

    TempHome home;
    std::string path;
};

}

TEST_F(AppLogTest, DefaultsWriteInfoWarnErrorButNotDebugInTheLineFormat)
{
    start();
    AppLog::debug("hidden");
    AppLog::info("hello world");
    AppLog::warn("careful");
    AppLog::error("broken");
    AppLog::info("");
    EXPECT_FALSE(AppLog::verboseEnabled());
    auto written = lines(contents());
    ASSERT_EQ(written.size(), 4u);
    std::regex format(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z \[(INFO|WARN|ERROR)\] .*)");
    for (const auto& line : written)
        EXPECT_TRUE(std::regex_match(line, format)) << line;
    EXPECT_NE(written[0].find(" [INFO] hello world"), std::string::npos);
    EXPECT_NE(written[1].find(" [WARN] careful"), std::string::npos);
    EXPECT_NE(written[2].find(" [ERROR] broken"), std::string::npos);
    EXPECT_EQ(written[3].substr(written[3].size() - 2), "] ");
}

TEST_F(AppLogTest, EnableLogsAcceptsOneOrTrueInAnyCaseAndNothingElse)
{
    for (std::string on : {"1", "true", "TRUE", "tRuE"}) {
        setenv("ORVELLE_ENABLE_LOGS", on.c_str(), 1);
        std::filesystem::remove(path);
        start();
        AppLog::info("on");
        EXPECT_NE(contents().find("[INFO] on"), std::string::npos) << on;
    }
    for (std::string off : {"0", "false", "yes", ""}) {
        setenv("ORVELLE_ENABLE_LOGS", off.c_str(), 1);
        std::filesystem::remove(path);
        start();
        AppLog::info("off");
        AppLog::error("off");
        EXPECT_FALSE(TempHome::exists(path)) << "value '" << off << "'";
    }
}

TEST_F(AppLogTest, DisabledLoggingNeitherDeletesTheOldFileNorHonoursVerbose)
{
    TempHome::writeFile(path, "earlier run\n");
    setenv("ORVELLE_ENABLE_LOGS", "0", 1);
    setenv("ORVELLE_VERBOSE", "1", 1);
    start();
    AppLog::clearFile();
    AppLog::debug("x");
    EXPECT_FALSE(AppLog::verboseEnabled());
    EXPECT_EQ(contents(), "earlier run\n");
}

TEST_F(AppLogTest, VerboseTrueInAnyCaseWritesDebugLines)
{
    setenv("ORVELLE_VERBOSE", "True", 1);
    start();
    EXPECT_TRUE(AppLog::verboseEnabled());
    AppLog::debug("details");
    EXPECT_NE(contents().find(" [DEBUG] details"), std::string::npos);
}

TEST_F(AppLogTest, LogFileVariableNamesTheFileAndEmptyOrUnsetMeansTheDefault)
{
    setenv("TARNWICK_LOG_FILE", path.c_str(), 1);
    AppLog::testing::reset();
    AppLog::info("elsewhere");
    EXPECT_EQ(AppLog::filePath(), path);
    EXPECT_NE(contents().find("[INFO] elsewhere"), std::string::npos);
    setenv("TARNWICK_LOG_FILE", "", 1);
    AppLog::testing::reset();
    EXPECT_EQ(AppLog::filePath(), "/tmp/Tarnwick.log");
    unsetenv("TARNWICK_LOG_FILE");
    AppLog::testing::reset();
    EXPECT_EQ(AppLog::filePath(), "/tmp/Tarnwick.log");
}

TEST_F(AppLogTest, ClearFileDeletesAndALaterLineRecreatesAFileDeletedByOthers)
{
    TempHome::writeFile(path, "earlier run\n");
    start();
    AppLog::clearFile();
    EXPECT_FALSE(TempHome::exists(path));
    AppLog::info("first");
    AppLog::flush();
    std::filesystem::remove(path);
    AppLog::info("second");
    auto written = lines(contents());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].find("second"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AppLogTest, NeverFollowsALinkPlantedAtTheLogPath)
{
    std::string target = home.path() + "/victim";
    TempHome::writeFile(target, "precious\n");
    std::filesystem::create_symlink(target, path);
    start();
    AppLog::info("must not land in the victim");
    AppLog::flush();
    EXPECT_EQ(TempHome::readFile(target), "precious\n");
    AppLog::clearFile();
    EXPECT_EQ(TempHome::readFile(target), "precious\n");
}

TEST_F(AppLogTest, LeavesAFileOwnedBySomebodyElseAndADirectoryAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "changing a file's owner needs root";
    TempHome::writeFile(path, "someone else's\n");
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    start();
    AppLog::clearFile();
    AppLog::info("not here");
    EXPECT_EQ(contents(), "someone else's\n");

    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    AppLog::clearFile();
    AppLog::info("nowhere to go");
    AppLog::flush();
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(AppLogTest, ConcurrentThreadsNeverInterleaveAndKeepTheirOwnOrder)
{
    start();
    constexpr int threads = 8, perThread = 10000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                AppLog::info("thread=" + std::to_string(t) + " line=" + std::to_string(i) + " end");
        });
    }
    for (auto& w : workers)
        w.join();
    auto written = lines(contents());
    ASSERT_EQ(written.size(), static_cast<std::size_t>(threads * perThread));
    std::vector<int> next(threads, 0);
    std::regex shape(R"(.* \[INFO\] thread=(\d) line=(\d+) end)");
    for (const auto& line : written) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        int t = std::stoi(m[1]);
        ASSERT_EQ(std::stoi(m[2]), next[t]++) << "thread " << t;
    }
}
