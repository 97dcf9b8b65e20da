#include "support/TempHome.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

bool save(const char* name, std::string& value)
{
    const char* current = std::getenv(name);
    if (current)
        value = current;
    return current != nullptr;
}

void restore(const char* name, bool had, const std::string& value)
{
    if (had)
        setenv(name, value.c_str(), 1);
    else
        unsetenv(name);
}

}

TempHome::TempHome()
{
    hadHome_ = save("HOME", savedHome_);
    hadConfig_ = save("XDG_CONFIG_HOME", savedConfig_);
    hadData_ = save("XDG_DATA_HOME", savedData_);
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-home-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    setenv("HOME", path_.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
}

TempHome::~TempHome()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
    restore("HOME", hadHome_, savedHome_);
    restore("XDG_CONFIG_HOME", hadConfig_, savedConfig_);
    restore("XDG_DATA_HOME", hadData_, savedData_);
}

std::string TempHome::readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void TempHome::writeFile(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

bool TempHome::exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}
