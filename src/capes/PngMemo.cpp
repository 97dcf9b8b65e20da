#include "capes/PngMemo.h"

#include "platform/graphics/PngCodec.h"

const std::optional<std::string>* PngMemo::remembered(const PixelKey& key) const
{
    for (const auto& [set, encodings] : sets_) {
        if (auto found = encodings.find(key); found != encodings.end())
            return &found->second;
    }
    return nullptr;
}

std::vector<std::vector<std::string>> PngMemo::encode(const std::string& setKey, const std::vector<const Images*>& lists)
{
    Encodings current;
    std::vector<PixelKey> missingKeys;
    std::vector<CGImageRef> missingImages;
    std::vector<std::vector<PixelKey>> keys;
    for (const Images* images : lists) {
        auto& listKeys = keys.emplace_back();
        for (const auto& image : *images) {
            if (!image)
                continue;
            PixelKey key = ImageKey::of(image.get());
            listKeys.push_back(key);
            if (current.contains(key))
                continue;
            if (const std::optional<std::string>* known = remembered(key)) {
                current.emplace(key, *known);
            } else {
                current.emplace(key, std::nullopt);
                missingKeys.push_back(key);
                missingImages.push_back(image.get());
            }
        }
    }
    std::vector<std::optional<std::string>> encoded = PngCodec::encodeAll(missingImages);
    for (std::size_t i = 0; i < missingKeys.size(); ++i)
        current[missingKeys[i]] = std::move(encoded[i]);

    std::vector<std::vector<std::string>> files;
    for (const auto& listKeys : keys) {
        auto& listFiles = files.emplace_back();
        for (const PixelKey& key : listKeys) {
            if (const auto& png = current[key])
                listFiles.push_back(*png);
        }
    }
    sets_[setKey] = std::move(current);
    return files;
}
