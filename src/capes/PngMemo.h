#pragma once

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/ImageKey.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The PNG files of images already encoded, found again by their pixels. A set
// saved again nearly always holds the images of its last save, and encoding
// them anew costs far more than hashing them.
class PngMemo {
public:
    using Images = std::vector<CFRef<CGImageRef>>;
    struct File {
        CFRef<CGImageRef> image;
        // Shared with the memo: a set's files are some 200 KB.
        std::shared_ptr<const std::string> png;
        // fastHash64 of png, worked out once per encoding.
        std::uint64_t pngHash = 0;
    };

    // For every list, the PNG files of its images that encode, in order.
    // Images not remembered are encoded (in parallel); afterwards the memo
    // holds, for setKey, exactly the images of this call.
    std::vector<std::vector<File>> encode(const std::string& setKey, const std::vector<const Images*>& lists);

    void clear()
    {
        sets_.clear();
        heldImages_.clear();
    }

private:
    using PixelKey = ImageKey;
    struct Encoded {
        std::shared_ptr<const std::string> png;
        std::uint64_t hash = 0;
    };
    // Nothing for an image that did not encode.
    using Encodings = std::map<PixelKey, std::optional<Encoded>>;

    // The images of a set by address, held so that an address always means
    // the same pixels.
    using HeldImages = std::map<CGImageRef, std::pair<CFRef<CGImageRef>, PixelKey>>;

    const std::optional<Encoded>* remembered(const PixelKey& key) const;
    PixelKey keyOf(const CFRef<CGImageRef>& image, HeldImages& held) const;

    // Per set, the encodings of its last save and the images it held.
    std::map<std::string, Encodings> sets_;
    std::map<std::string, HeldImages> heldImages_;
};
