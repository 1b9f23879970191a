// The socket folders of the bridge and the virtual instrument: made private,
// and never one that belongs to someone else or leads elsewhere.
#include "platform/private_folder.h"
#include "platform/unix_socket.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tola::os {
namespace {

namespace fs = std::filesystem;

unsigned mode_of(const fs::path& p) {
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(PrivateFolder, EveryFolderMadeOrKeptIsPrivateAndForeignOnesAreRefused) {
    char pattern[] = "/tmp/tola-private-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(pattern));
    const fs::path base = pattern;
    ::chmod(base.c_str(), 0755);  // like /tmp or a runtime folder: not ours to change
    std::string error;

    // Missing folders are made private on the way; the existing base is left as it was.
    ASSERT_TRUE(make_private_folder(base / "tola" / "usb", error)) << error;
    EXPECT_EQ(0700u, mode_of(base / "tola"));
    EXPECT_EQ(0700u, mode_of(base / "tola" / "usb"));
    EXPECT_EQ(0755u, mode_of(base));

    // An own folder that others could enter is closed (and the result checked).
    fs::create_directory(base / "open");
    ::chmod((base / "open").c_str(), 0777);
    ASSERT_TRUE(make_private_folder(base / "open", error)) << error;
    EXPECT_EQ(0700u, mode_of(base / "open"));

    const struct {
        const char* name;
        std::function<bool(const fs::path&)> make;  // false: cannot be set up here
        const char* message;
    } refused[] = {
        {"link", [&](const fs::path& p) { fs::create_directory_symlink(base / "open", p); return true; },
         "is a symbolic link"},
        {"file", [&](const fs::path& p) { return ::close(::creat(p.c_str(), 0600)) == 0; }, "is not a folder"},
        {"foreign", [&](const fs::path& p) {
             return ::getuid() == 0 && fs::create_directory(p) && ::chown(p.c_str(), 65534, 65534) == 0;
         }, "belongs to another user (uid 65534)"},
    };
    for (const auto& c : refused) {
        const fs::path p = base / c.name;
        if (!c.make(p)) continue;
        error.clear();
        EXPECT_FALSE(make_private_folder(p, error)) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.message)) << c.name << ": " << error;
        // No socket is made there either.
        std::string why;
        EXPECT_FALSE(listen_at(p / "sock", why)) << c.name;
    }
    fs::remove_all(base);
}

}  // namespace
}  // namespace tola::os
