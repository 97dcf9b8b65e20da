#pragma once

#include "base/SerialQueue.h"
#include "capes/PngMemo.h"
#include "platform/files/FileIdentity.h"
#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"
#include "runtime/CursorSnapshot.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The on-disk cache of generated cursor sets ("capes"): one binary property
// list per language and style, holding every cursor of the set as PNG images
// with its size, hot spot and timing. Saves and removals are serialised on the
// store's queue; loads run on the caller's thread and rely on the atomic
// writes to never see half a file.
//
// Loads and saves are cheap when nothing changed: a cape read before is
// answered from memory while its file is the same file, and the PNG files of
// images saved before are reused. A set just written is remembered for the
// next load as the images written, sharing their pixels. The PNG memory is
// touched only by saves (and removeAllCapes), the loaded capes under their
// own lock, so loads and saves may come from two threads.
class CursorCapeStore {
public:
    struct CursorPayload {
        CursorSnapshot snapshot;
        // The same images as snapshot.images.
        std::vector<CFRef<CGImageRef>> images;
    };
    // Cursor identifier -> the metadata to store and the images to store with it.
    using Cursors = std::map<std::string, std::pair<CursorSnapshot, std::vector<CFRef<CGImageRef>>>>;

    // What a cape file may cost to load. Real capes are far below these; the
    // limits keep a damaged or hostile file from exhausting memory or time.
    static constexpr std::size_t maxFileBytes = 16u << 20;
    static constexpr std::size_t maxImagePixels = 4u << 20;
    static constexpr std::size_t maxCapePixels = 16u << 20;

    // The program's one store, created on first use.
    static CursorCapeStore& shared();

    // A store in "Tarnwick/capes" of the Application Support folder as it is
    // now (tests make their own in a temporary home).
    CursorCapeStore();
    CursorCapeStore(const CursorCapeStore&) = delete;
    CursorCapeStore& operator=(const CursorCapeStore&) = delete;

    // Writes the cape, or confirms that the file already holds exactly this
    // content; the cape's path, or nothing on failure or with nothing to save.
    // Blocks while the store's queue writes.
    std::optional<std::string> saveCape(const std::string& languageCode, const std::string& styleCode,
                                        const Cursors& cursors);
    // The cached set keyed by cursor identifier, or nothing when the cape is
    // missing, unreadable or of another version.
    std::optional<std::map<std::string, CursorPayload>> loadCape(const std::string& languageCode,
                                                                 const std::string& styleCode);
    // Deletes every cape file; returns once they are gone.
    void removeAllCapes();

    const std::optional<std::string>& capesDirectory() const { return capesDirectory_; }

    // Lower case letters, digits, '.', '_' and '-' pass; every run of other
    // characters becomes one '-'; '-' is trimmed from both ends; "unknown"
    // when nothing is left.
    static std::string sanitizeComponent(std::string_view component);

private:
    struct CapeName {
        std::string language;
        std::string style;
        std::string identifier;
        std::string path;
        std::string hashKey() const { return language + "|" + style; }
    };
    CapeName nameFor(const std::string& languageCode, const std::string& styleCode) const;
    struct LoadedCape {
        FileIdentity identity;
        std::map<std::string, CursorPayload> payloads;
        // Read from the file, with pixels of its own rather than shared.
        bool decoded = false;
    };
    std::optional<std::map<std::string, CursorPayload>> readCape(const CapeName& name, const std::string& fileName);
    std::optional<std::map<std::string, CursorPayload>> remembered(const std::string& path,
                                                                   const std::optional<FileIdentity>& identity);
    void remember(const std::string& path, const FileIdentity& identity, std::map<std::string, CursorPayload> payloads);
    void forgetSavedHash(const std::string& hashKey);
    // A set's cape document, and what a load of it gives.
    struct Document {
        std::uint64_t inputs = 0;
        std::string bytes;
        std::uint64_t hash = 0;
        std::size_t entryCount = 0;
        std::map<std::string, CursorPayload> written;
    };
    const Document* documentFor(const CapeName& name, const Cursors& cursors,
                                const std::vector<std::vector<PngMemo::File>>& pngs);

    std::optional<std::string> capesDirectory_;
    // Per file path, what its last successful load or save gave. Saves fill
    // it from the queue, loads read it on the caller's thread.
    std::mutex loadedMutex_;
    std::map<std::string, LoadedCape> loadedCapes_;
    PngMemo pngMemo_;
    // Per set, its last document; like the PNG memory, touched by saves only.
    std::map<std::string, Document> documents_;
    // Touched only on queue_.
    std::map<std::string, std::uint64_t> lastSavedHashes_;
    // Last, so that it is stopped (running what is still queued) while the
    // state its work touches is alive.
    SerialQueue queue_;
};
