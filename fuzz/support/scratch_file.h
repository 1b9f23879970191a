// A file of the fuzz process's own in a private folder: the readers under test
// take paths, so each input is written there first.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tola::fuzzing {

// A folder made once per process (under $TMPDIR, else /tmp).
inline const std::string& scratch_folder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tola-fuzz.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return folder;
}

// Replaces the file `name` in the scratch folder with the bytes; its path.
inline std::string write_scratch(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratch_folder() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

}  // namespace tola::fuzzing
