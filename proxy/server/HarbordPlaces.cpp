#include "proxy/server/HarbordPlaces.h"

#include "foundation/Fail.h"
#include "foundation/FileSystem.h"
#include "foundation/ProgramPath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

const char REPORTER[] = "HarbordPlaces ";

// mkdir -p, one level at a time; says which it made.
bool make_directory(const Str& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return true;
        fail_new(REPORTER, "'" + path + "' is not a directory");
        return false;
    }
    int32_t slash = path.rfind('/');
    if (slash > 0 && !make_directory(path.substr(0, uint32_t(slash)))) return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        fail_new(REPORTER, "unable to make the directory '" + path + "': " + std::strerror(errno));
        return false;
    }
    std::fprintf(stderr, "made the directory '%s'\n", path.c_str());
    return true;
}

} // namespace

HarbordPlaces harbord_places(const Str& program_name) {
    HarbordPlaces places;
    if (in_build_tree()) {
        places.setup_file = program_name + ".cfg";
        places.token_file = program_name + ".token";
        places.help_root = dir_part(program_name, '/');
        return places;
    }
    places.installed = true;
    Str config = xdg_home("XDG_CONFIG_HOME", ".config");
    if (config.empty()) return places;
    Str cache = xdg_home("XDG_CACHE_HOME", ".cache");
    if (cache.empty()) return places;
    places.setup_file = config + "/quaylo/harbord.cfg";
    places.token_file = config + "/quaylo/harbord.token";
    places.help_root = dir_part(dir_part(program_name, '/'), '/') + "/share/quaylo";
    places.data_root = cache + "/quaylo";
    return places;
}

bool make_places(const HarbordPlaces& places) {
    if (!places.installed) return true;
    struct stat status {};
    if (::stat(places.setup_file.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        fail_new(REPORTER, "the setup file '" + places.setup_file + "' is a directory");
        return false;
    }
    for (const Str& directory : {dir_part(places.setup_file, '/'), places.data_root + "/cache",
                                 places.data_root + "/export", places.data_root + "/import"})
        if (!make_directory(directory)) return false;
    return true;
}
