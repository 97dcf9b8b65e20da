#include "platform/prefs/PreferenceDomain.h"

#include "base/AppLog.h"
#include "platform/prefs/PropertyListPrinting.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace std::string_literals;

class PreferenceDomainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = home.path() + "/test.log";
        AppLog::testing::reset(logPath);
        path = home.path() + "/Library/Preferences/org.example.pointer.plist";
    }
    std::string log()
    {
        AppLog::flush();
        return TempHome::readFile(logPath);
    }
    PropertyList stored() const { return PropertyList::readFile(path).value_or(PropertyList::string("absent")); }
    void store(const PropertyList& contents, PropertyList::Format format = PropertyList::Format::binary)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        TempHome::writeFile(path, contents.serialized(format));
    }
    static mode_t modeOf(const std::string& file)
    {
        struct stat status {};
        stat(file.c_str(), &status);
        return status.st_mode & 07777;
    }

    TempHome home;
    std::string logPath, path;
};

}

TEST_F(PreferenceDomainTest, ChangesAreSeenAtOnceAndWrittenTogetherBySynchronize)
{
    PreferenceDomain domain("org.example.pointer", path);
    EXPECT_FALSE(domain.copyValue("size"));
    domain.setValue("size", PropertyList::real(1.5));
    domain.setValue("colour", PropertyList::data("\x01\x02\x00"s));
    EXPECT_EQ(domain.copyValue("size"), PropertyList::real(1.5));
    EXPECT_FALSE(TempHome::exists(path)) << "nothing is written before synchronize";

    // Another process writes the domain meanwhile; its keys are kept.
    store(PropertyList::dictionary({{"other", PropertyList::string("theirs")}, {"size", PropertyList::integer(3)}}));
    EXPECT_TRUE(domain.synchronize());
    EXPECT_EQ(stored(), PropertyList::dictionary({{"other", PropertyList::string("theirs")},
                                                  {"size", PropertyList::real(1.5)},
                                                  {"colour", PropertyList::data("\x01\x02\x00"s)}}));

    domain.setValue("size", std::nullopt);
    EXPECT_FALSE(domain.copyValue("size"));
    EXPECT_TRUE(domain.synchronize());
    PreferenceDomain fresh("org.example.pointer", path);
    EXPECT_FALSE(fresh.copyValue("size"));
    EXPECT_EQ(fresh.copyValue("other"), PropertyList::string("theirs"));
    EXPECT_EQ(log(), "");
}

TEST_F(PreferenceDomainTest, FilesKeepTheirFormatAndPermissionsAndAreNotWrittenWithoutAChange)
{
    PreferenceDomain domain("org.example.pointer", path);
    domain.setValue("missing", std::nullopt);
    EXPECT_TRUE(domain.synchronize());
    EXPECT_FALSE(TempHome::exists(path)) << "removing a missing key creates no file";

    domain.setValue("flag", PropertyList::boolean(true));
    EXPECT_TRUE(domain.synchronize());
    EXPECT_EQ(PropertyList::formatOf(TempHome::readFile(path)), PropertyList::Format::binary);
    EXPECT_EQ(modeOf(path), 0600u);

    store(PropertyList::dictionary({{"flag", PropertyList::boolean(true)}}), PropertyList::Format::xml);
    chmod(path.c_str(), 0640);
    std::string before = TempHome::readFile(path);
    domain.setValue("flag", PropertyList::boolean(true));
    EXPECT_TRUE(domain.synchronize());
    EXPECT_EQ(TempHome::readFile(path), before) << "an unchanged domain is not rewritten";

    domain.setValue("flag", PropertyList::boolean(false));
    EXPECT_TRUE(domain.synchronize());
    EXPECT_EQ(PropertyList::formatOf(TempHome::readFile(path)), PropertyList::Format::xml);
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(stored(), PropertyList::dictionary({{"flag", PropertyList::boolean(false)}}));
}

TEST_F(PreferenceDomainTest, ACorruptOrWrongTypeFileReadsEmptyAndIsKeptAsideBeforeTheNextWrite)
{
    for (const std::string& damaged :
         {"\x00\x01 not a plist"s, PropertyList::string("a string root").serialized(PropertyList::Format::xml)}) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        TempHome::writeFile(path, damaged);
        std::filesystem::remove(path + ".corrupt");
        PreferenceDomain domain("org.example.pointer", path);
        EXPECT_FALSE(domain.copyValue("flag"));

        domain.setValue("flag", std::nullopt);
        EXPECT_TRUE(domain.synchronize());
        EXPECT_EQ(TempHome::readFile(path), damaged) << "no change, no write";
        EXPECT_FALSE(TempHome::exists(path + ".corrupt"));

        domain.setValue("flag", PropertyList::boolean(true));
        EXPECT_TRUE(domain.synchronize());
        EXPECT_EQ(TempHome::readFile(path + ".corrupt"), damaged);
        EXPECT_EQ(stored(), PropertyList::dictionary({{"flag", PropertyList::boolean(true)}}));
    }
    EXPECT_NE(log().find("[WARN] Preference domain org.example.pointer held no valid property list; kept it as " +
                         path + ".corrupt"),
              std::string::npos);
}

TEST_F(PreferenceDomainTest, SynchronizeReportsFailureAndReadsThenShowTheFile)
{
    // A folder where the file should be cannot be read, so it is not replaced.
    std::filesystem::create_directories(path);
    PreferenceDomain domain("org.example.pointer", path);
    domain.setValue("flag", PropertyList::boolean(true));
    EXPECT_FALSE(domain.synchronize());
    EXPECT_FALSE(domain.copyValue("flag")) << "a change that was not stored is not reported as stored";
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_NE(log().find("[ERROR] Preference domain org.example.pointer not written: cannot read " + path),
              std::string::npos);

    // Readable but not writable, even for root: the temporary file beside a
    // path this long would exceed PATH_MAX.
    std::string deep = home.path();
    while (deep.size() < 3900)
        deep += "/" + std::string(150, 'd');
    std::string longPath = deep + "/" + std::string(4090 - deep.size() - 1, 'p');
    std::filesystem::create_directories(deep);
    auto original = PropertyList::dictionary({{"flag", PropertyList::boolean(false)}});
    TempHome::writeFile(longPath, original.serialized(PropertyList::Format::binary));
    ASSERT_EQ(PropertyList::readFile(longPath), original);
    PreferenceDomain unwritable("org.example.pointer", longPath);
    unwritable.setValue("flag", PropertyList::boolean(true));
    EXPECT_FALSE(unwritable.synchronize());
    EXPECT_EQ(unwritable.copyValue("flag"), PropertyList::boolean(false));
    EXPECT_EQ(PropertyList::readFile(longPath), original);
    EXPECT_NE(log().find("[ERROR] Failed to write preference domain org.example.pointer to " + longPath + ": "),
              std::string::npos);
}
