#include "providers/x11/InstalledNames.h"

#include <X11/extensions/Xfixes.h>

void InstalledNames::await(CursorNameMap::XNames xNames, const std::string& owner)
{
    for (const char* xName : xNames)
        waiting_[xName] = owner;
}

std::map<std::string, std::vector<std::string>> InstalledNames::takeWaiting(CursorNameMap::XNames xNames)
{
    std::map<std::string, std::vector<std::string>> byOwner;
    auto take = [&](std::map<std::string, std::string>::iterator waiting) {
        byOwner[waiting->second].push_back(waiting->first);
        return waiting_.erase(waiting);
    };
    if (xNames.empty()) {
        for (auto waiting = waiting_.begin(); waiting != waiting_.end();)
            waiting = take(waiting);
    }
    for (const char* xName : xNames) {
        if (auto waiting = waiting_.find(xName); waiting != waiting_.end())
            take(waiting);
    }
    return byOwner;
}

bool InstalledNames::shows(const std::string& xName, const std::string& owner, const CursorRecord& record,
                           int pixelsPerPoint)
{
    auto installed = installed_.find(xName);
    if (installed == installed_.end() || installed->second.pixelsPerPoint != pixelsPerPoint ||
        !installed->second.record.sameAs(record))
        return false;
    installed->second.owner = owner;
    installed->second.group = CursorNameMap::xNames(owner);
    return true;
}

void InstalledNames::install(const std::vector<std::string>& xNames, const std::string& owner, const Source& source)
{
    Display* display = connection_.display();
    std::vector<const char*> names;
    for (const auto& xName : xNames)
        names.push_back(xName.c_str());
    std::vector<Cursor> cursors = source.frames.createCursors(display, names);
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        // Followed before it is shown, so the follower never puts back the
        // cursor this one replaces.
        follower_.follow(names[i], cursors[i], source.hashes, source.themeHashes);
        XFixesChangeCursorByName(display, cursors[i], names[i]);
        changeAdopted(follower_.adoptedAs(names[i]), cursors[i]);
        Installed& installed = installed_[names[i]];
        // Windows keep the replaced cursor alive in the server as long as
        // they show it; only the provider's handle goes. The root window's
        // cursor of this name has just been changed with the rest.
        if (installed.cursor != None) {
            if (rootCursor_ == installed.cursor)
                rootCursor_ = cursors[i];
            XFreeCursor(display, installed.cursor);
        }
        installed = {cursors[i], CursorNameMap::xNames(owner), owner, source.record, source.pixelsPerPoint};
    }
}

std::vector<std::string> InstalledNames::namesShowing(const std::string& owner) const
{
    std::vector<std::string> names;
    for (const auto& [xName, installed] : installed_) {
        if (installed.owner == owner)
            names.push_back(xName);
    }
    return names;
}

Cursor InstalledNames::cursorOf(CursorNameMap::XNames xNames) const
{
    for (const char* xName : xNames) {
        if (auto installed = installed_.find(xName); installed != installed_.end())
            return installed->second.cursor;
    }
    return None;
}

void InstalledNames::putBack(const std::string& xName, CursorTheme& theme)
{
    auto installed = installed_.find(xName);
    if (installed == installed_.end())
        return;
    putThemeBack(xName, installed->second, theme);
    installed_.erase(installed);
    if (installed_.empty())
        follower_.stop();
}

void InstalledNames::putAllBack(CursorTheme& theme)
{
    waiting_.clear();
    for (const auto& [xName, installed] : installed_)
        putThemeBack(xName, installed, theme);
    installed_.clear();
    follower_.stop();
}

// A program that has ended took its cursors with it, and its identifiers
// may be given to another's: such a cursor is dropped at its first error.
void InstalledNames::changeAdopted(const std::vector<Cursor>& adopted, Cursor cursor)
{
    for (Cursor foreign : adopted) {
        X11Connection::Trap trap(connection_);
        XFixesChangeCursor(connection_.display(), cursor, foreign);
        if (trap.finish() != 0)
            follower_.drop(foreign);
    }
}

void InstalledNames::putThemeBack(const std::string& xName, const Installed& installed, CursorTheme& theme)
{
    Display* display = connection_.display();
    std::vector<Cursor> adopted = follower_.forget(xName);
    // A theme without this very name gets the first name of the same meaning
    // it has, so no decorated cursor stays behind.
    const char* own[] = {xName.c_str()};
    auto frames = theme.frames(own);
    if (!frames)
        frames = theme.frames(installed.group);
    Cursor original = frames ? frames->createCursor(display, xName.c_str()) : None;
    if (original == None) {
        // The core cursor font still has the classic names.
        original = XcursorLibraryLoadCursor(display, xName.c_str());
        if (original != None)
            XFixesSetCursorName(display, original, xName.c_str());
    }
    if (original != None) {
        XFixesChangeCursorByName(display, original, xName.c_str());
        changeAdopted(adopted, original);
        XFreeCursor(display, original);
    }
    if (rootCursor_ == installed.cursor)
        rootCursor_ = None;
    XFreeCursor(display, installed.cursor);
}
