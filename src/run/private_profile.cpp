#include "run/private_profile.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "core/input_files.h"

namespace quintle {

namespace {

std::uint64_t characters_of(std::string_view text) {
    std::uint64_t bits = 0;
    for (char const c : text) bits |= std::uint64_t{1} << (static_cast<unsigned char>(c) % 64);
    return bits;
}

}  // namespace

PrivateProfile::PrivateProfile(char const* fileName) {
    if (fileName == nullptr) return;
    std::ifstream in;
    if (!open_input_file(in, fileName)) return;
    open_ = true;
    std::string line;
    while (static_cast<int>(lines_.size()) < profile_max_lines) {
        // A longer line is not read to its end: a file without line ends
        // would otherwise be held in memory whole.
        if (read_bounded_line(in, line, profile_max_line_length) != LineRead::line) break;
        // A file written with CR LF line ends reads like one written with LF.
        while (!line.empty() && line.back() == '\r') line.pop_back();
        holds_.push_back(characters_of(line));
        lines_.push_back(std::move(line));
        line.clear();
    }
}

bool PrivateProfile::lookup(std::string_view key, int window, std::string& value) const {
    value.clear();
    if (key.empty() || window <= 0) return false;
    auto const limit = static_cast<std::size_t>(window);
    std::uint64_t const needed = characters_of(key);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if ((holds_[i] & needed) != needed) continue;
        std::string const& line = lines_[i];
        if (line.find(key) == std::string::npos) continue;
        std::size_t const eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::size_t const first = eq + 1;
        if (first >= limit || first >= line.size()) continue;
        std::size_t const end = std::min(line.size(), limit);
        value.assign(line, first, end - first);
        return true;
    }
    return false;
}

int GetPrivateProfileString(char const* /*section*/, char const* key, char const* /*defaultString*/,
                            char* returned, int const& size, char const* fileName) {
    if (returned != nullptr && size > 0) returned[0] = '\0';
    if (key == nullptr || returned == nullptr || size <= 0) return 0;
    PrivateProfile const profile(fileName);
    std::string value;
    if (!profile.lookup(key, size, value)) return 0;
    // The window keeps the value shorter than `size`.
    std::memcpy(returned, value.data(), value.size());
    returned[value.size()] = '\0';
    return 1;
}

int GetPrivateProfileSection(char const* /*section*/, char* /*returned*/, int const& /*size*/,
                             char const* /*fileName*/) {
    return 1;
}

void Listen2World() {}

}  // namespace quintle
