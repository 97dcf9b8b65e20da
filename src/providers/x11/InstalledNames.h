#pragma once

#include "providers/x11/CursorFollower.h"
#include "providers/x11/CursorFrames.h"
#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorRecord.h"
#include "providers/x11/CursorTheme.h"
#include "providers/x11/X11Connection.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The provider's cursors installed under X names with
// XFixesChangeCursorByName, what each was made of, and the X names waiting
// for the registration whose cursor they are to show. Every window showing
// an X name shows its new cursor once it is installed, and the follower
// brings it to windows opened afterwards. The caller serialises every call.
class InstalledNames {
public:
    // What a registration makes its X names show.
    struct Source {
        const CursorRecord& record;
        int pixelsPerPoint;
        const CursorFrames& frames;
        const std::vector<std::uint64_t>& hashes;
        const std::vector<std::uint64_t>& themeHashes;
    };

    explicit InstalledNames(X11Connection& connection) : connection_(connection) {}

    // The X names are to show owner's cursor: the last registration of an X
    // name is the one it shows.
    void await(CursorNameMap::XNames xNames, const std::string& owner);
    bool waiting(const std::string& xName) const { return waiting_.contains(xName); }
    // The waiting X names among xNames (every one when empty), taken, by the
    // registration they wait for.
    std::map<std::string, std::vector<std::string>> takeWaiting(CursorNameMap::XNames xNames);

    // Whether the X name shows a cursor made of these very images at this
    // density; it counts as owner's from now on.
    bool shows(const std::string& xName, const std::string& owner, const CursorRecord& record, int pixelsPerPoint);
    // Installs owner's cursor for each X name, in order, from one upload.
    void install(const std::vector<std::string>& xNames, const std::string& owner, const Source& source);
    std::vector<std::string> namesShowing(const std::string& owner) const;
    // The cursor installed for the first of the X names that has one; None
    // when none has.
    Cursor cursorOf(CursorNameMap::XNames xNames) const;

    // Puts the theme's cursor back for the X name; following ends with the
    // last one.
    void putBack(const std::string& xName, CursorTheme& theme);
    // The same for every X name; waiting ones are forgotten.
    void putAllBack(CursorTheme& theme);

    // The cursor the provider last defined on the root window, kept as
    // installs replace it; None when not known.
    Cursor rootCursor() const { return rootCursor_; }
    void setRootCursor(Cursor cursor) { rootCursor_ = cursor; }

    CursorFollower& follower() { return follower_; }

private:
    struct Installed {
        Cursor cursor = None;
        CursorNameMap::XNames group;
        // The registered name whose cursor this is, and what it was made of.
        std::string owner;
        CursorRecord record;
        int pixelsPerPoint = 1;
    };

    // Cursors of programs that name none, which the follower adopted as
    // showing the X name, are changed to the cursor too.
    void changeAdopted(const std::vector<Cursor>& adopted, Cursor cursor);
    void putThemeBack(const std::string& xName, const Installed& installed, CursorTheme& theme);

    X11Connection& connection_;
    std::map<std::string, Installed> installed_;
    // X name -> the registration whose cursor it is to show.
    std::map<std::string, std::string> waiting_;
    Cursor rootCursor_ = None;
    // Last, so that its worker ends before anything else goes.
    CursorFollower follower_;
};
