#pragma once
// A hash of long texts (sequences of thousands of characters) for the
// tables that find identical texts: read eight bytes at a time in four
// independent lanes (the library's hash reads them byte by byte, and a
// sequence list hashes megabytes).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quintle {

struct TextHash {
    std::size_t operator()(std::string_view t) const noexcept {
        std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ t.size();
        std::uint64_t lane[4] = {h, h ^ 0x2545F4914F6CDD1DULL, h ^ 0xD6E8FEB86659FD93ULL, h ^ 0x94D049BB133111EBULL};
        std::size_t i = 0;
        for (; i + 32 <= t.size(); i += 32)
            for (int k = 0; k < 4; ++k) {
                std::uint64_t w;
                std::memcpy(&w, t.data() + i + 8 * k, 8);
                lane[k] = (lane[k] ^ w) * 0xFF51AFD7ED558CCDULL;
                lane[k] ^= lane[k] >> 32;
            }
        h = lane[0] ^ (lane[1] * 0x9E3779B97F4A7C15ULL) ^ (lane[2] * 0xC2B2AE3D27D4EB4FULL) ^
            (lane[3] * 0x165667B19E3779F9ULL);
        for (; i + 8 <= t.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, t.data() + i, 8);
            h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
            h ^= h >> 32;
        }
        std::uint64_t w = 0;
        if (i < t.size()) std::memcpy(&w, t.data() + i, t.size() - i);  // an empty view may have no data
        h = (h ^ w) * 0xC4CEB9FE1A85EC53ULL;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

}  // namespace quintle
