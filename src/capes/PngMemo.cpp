#include "capes/PngMemo.h"

#include "base/Text.h"
#include "platform/graphics/PngCodec.h"

#include <span>

const std::optional<PngMemo::Encoded>* PngMemo::remembered(const PixelKey& key) const
{
    for (const auto& [set, encodings] : sets_) {
        if (auto found = encodings.find(key); found != encodings.end())
            return &found->second;
    }
    return nullptr;
}

// Images never change, so an image held from a remembered set is not hashed
// again: the same object has the same pixels.
PngMemo::PixelKey PngMemo::keyOf(const CFRef<CGImageRef>& image, HeldImages& held) const
{
    for (const auto& [set, images] : heldImages_) {
        if (auto found = images.find(image.get()); found != images.end()) {
            held.insert(*found);
            return found->second.second;
        }
    }
    PixelKey key = ImageKey::of(image.get());
    held.emplace(image.get(), std::pair(image, key));
    return key;
}

std::vector<std::vector<PngMemo::File>> PngMemo::encode(const std::string& setKey, const std::vector<const Images*>& lists)
{
    Encodings current;
    HeldImages held;
    std::vector<PixelKey> missingKeys;
    std::vector<CGImageRef> missingImages;
    std::vector<std::vector<std::pair<PixelKey, CFRef<CGImageRef>>>> keys;
    for (const Images* images : lists) {
        auto& listKeys = keys.emplace_back();
        for (const auto& image : *images) {
            if (!image)
                continue;
            PixelKey key = keyOf(image, held);
            listKeys.emplace_back(key, image);
            if (current.contains(key))
                continue;
            if (const std::optional<Encoded>* known = remembered(key)) {
                current.emplace(key, *known);
            } else {
                current.emplace(key, std::nullopt);
                missingKeys.push_back(key);
                missingImages.push_back(image.get());
            }
        }
    }
    std::vector<std::optional<std::string>> encoded = PngCodec::encodeAll(missingImages);
    for (std::size_t i = 0; i < missingKeys.size(); ++i) {
        if (!encoded[i])
            continue;
        std::uint64_t hash =
            fastHash64(std::span(reinterpret_cast<const std::uint8_t*>(encoded[i]->data()), encoded[i]->size()));
        current[missingKeys[i]] = Encoded{std::make_shared<const std::string>(std::move(*encoded[i])), hash};
    }

    std::vector<std::vector<File>> files;
    for (const auto& listKeys : keys) {
        auto& listFiles = files.emplace_back();
        for (const auto& [key, image] : listKeys) {
            if (const auto& encoded = current[key])
                listFiles.push_back({image, encoded->png, encoded->hash});
        }
    }
    sets_[setKey] = std::move(current);
    heldImages_[setKey] = std::move(held);
    return files;
}
