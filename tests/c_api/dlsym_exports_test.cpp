// Every name of the export list resolves with dlsym in the shared library, as
// a program that loads the library at run time finds it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

TEST(SharedLibrary, EveryExportResolvesByName) {
    void* library = ::dlopen(TOLA_COMM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << ::dlerror();
    std::ifstream map(TOLA_EXPORT_MAP);
    // Export lines are four spaces, a name and a semicolon.
    int names = 0;
    for (std::string line; std::getline(map, line);) {
        if (line.size() < 6 || line.compare(0, 4, "    ") != 0 || line.back() != ';' || line == "    *;") continue;
        const std::string name = line.substr(4, line.size() - 5);
        ++names;
        EXPECT_NE(nullptr, ::dlsym(library, name.c_str())) << name;
    }
    EXPECT_EQ(55, names);
    EXPECT_EQ(nullptr, ::dlsym(library, "_ZN4tola8bStr_cpyEPcPKcm")) << "internals stay hidden";
    ::dlclose(library);
}
