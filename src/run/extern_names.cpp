#include "run/extern_names.h"

#include <ostream>

#include "core/Errors.h"
#include "run/settings.h"

namespace quintle {

namespace {

bool stands_alone(std::string_view name, ExternBase base) {
    if (base == ExternBase::ProjectFolder) return !name.empty() && name.front() == '/';
    return name.find_first_of("/\\") != std::string_view::npos;
}

}  // namespace

std::string extern_file_path(std::string_view name, std::string_view folder, ExternBase base) {
    std::string path;
    if (!stands_alone(name, base)) path = folder;
    path += name;
    return path;
}

std::string extern_file_path(std::string_view name, settings const* run, ExternBase base) {
    if (stands_alone(name, base)) return std::string(name);
    if (run == nullptr) {
        if (base == ExternBase::ResultFolder)
            *_AOS_ << "Pointer to project dir is not initialized. ERROR" << std::endl;
        return std::string(name);
    }
    my_string const& folder = base == ExternBase::ProjectFolder ? run->ProjectFolder : run->ResultFolder;
    return extern_file_path(name, std::string_view(folder.c_str()), base);
}

}  // namespace quintle
