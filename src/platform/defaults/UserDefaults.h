#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The application's settings: an XML property list holding one dictionary.
// Every call sees the file as it is now (it is parsed again whenever its
// identity changed), so a value changed by another process is seen on the
// next read; every change rewrites the file atomically. Safe from
// any thread: read-modify-write cycles of all instances are serialised.
//
// A file that cannot be parsed is never overwritten unseen: its values read as
// missing, it is logged once, and the next change first keeps it beside itself
// as "<file>.corrupt".
class UserDefaults {
public:
    // $XDG_CONFIG_HOME/tarnwick/com.tarnwick.app.plist (default ~/.config),
    // resolved at each use so that a test's HOME counts.
    static UserDefaults& standard();

    explicit UserDefaults(std::string path);

    // Whether there is a settings file at all, readable or not.
    bool exists() const;
    bool contains(const std::string& key) const;

    // Numbers and booleans convert into each other; strings convert to a
    // boolean ("true", "yes", "1", "false", "no", "0", any case) or to a
    // number when they hold one entirely. Anything else reads as missing.
    std::optional<std::string> string(const std::string& key) const;
    // Several strings read from one version of the file, in the order asked.
    std::vector<std::optional<std::string>> strings(const std::vector<std::string>& keys) const;
    std::optional<bool> boolean(const std::string& key) const;
    std::optional<std::int64_t> integer(const std::string& key) const;
    std::optional<double> real(const std::string& key) const;

    void set(const std::string& key, const std::string& value);
    void set(const std::string& key, const char* value);
    void set(const std::string& key, bool value);
    void set(const std::string& key, std::int64_t value);
    void set(const std::string& key, double value);
    // Any other integer type, so that set(key, 5) is not ambiguous.
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, std::int64_t>)
    void set(const std::string& key, T value)
    {
        set(key, static_cast<std::int64_t>(value));
    }
    void remove(const std::string& key);

    // The file this store reads and writes at this moment.
    std::string path() const;
    // Changes whenever the file may have changed since it was last asked
    // about: what was read of it while the version stays holds still.
    std::uint64_t version() const;

private:
    UserDefaults() = default;

    std::string path_;
};
