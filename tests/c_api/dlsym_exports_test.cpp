// Every name of the export list resolves with dlsym in the shared library, as
// a program that loads the library at run time finds it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

TEST(SharedLibrary, EveryExportResolvesByName) {
    void* library = ::dlopen(TOLA_COMM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << ::dlerror();
    std::ifstream map(TOLA_EXPORT_MAP);
    const std::regex entry("^    ([A-Za-z_0-9]+);$");
    int names = 0;
    for (std::string line; std::getline(map, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, entry)) continue;
        ++names;
        EXPECT_NE(nullptr, ::dlsym(library, m[1].str().c_str())) << m[1];
    }
    EXPECT_EQ(55, names);
    EXPECT_EQ(nullptr, ::dlsym(library, "_ZN4tola8bStr_cpyEPcPKcm")) << "internals stay hidden";
    ::dlclose(library);
}
