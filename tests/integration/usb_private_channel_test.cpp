// The library uses a channel socket only in a private folder of this user and
// only when this user (or root) serves it: anything else could pose as an
// instrument.
#include "comm/platform/diagnostics.h"
#include "comm/platform/usb_channel.h"
#include "platform/private_folder.h"
#include "sim_fixture.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tola::testing {
namespace {

namespace fs = std::filesystem;

class UsbPrivateChannelTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        platform::set_message_box_sink([this](std::string_view, std::string_view text) { said_ += std::string(text) + "\n"; });
    }
    void TearDown() override {
        platform::set_message_box_sink({});
        SimTest::TearDown();
    }
    std::string said_;
};

TEST_F(UsbPrivateChannelTest, ASocketFolderThatIsNotPrivateOrNotOwnIsRefusedWithAMessage) {
    start(config(4));
    const auto sockets = platform::usb_class_devices();
    ASSERT_EQ(1u, sockets.size());
    const fs::path folder = fs::path(sockets[0]).parent_path();
    struct stat st{};
    ASSERT_EQ(0, ::stat(folder.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777) << "the virtual instrument made its folder private";
    const int good = platform::usb_open_path(sockets[0]);
    EXPECT_GE(good, 0);
    platform::usb_close(good);

    const struct {
        const char* what;
        std::function<bool()> spoil;  // false: cannot be set up here
        const char* message;
    } cases[] = {
        {"open to the group", [&] { return ::chmod(folder.c_str(), 0750) == 0; }, "is open to other users (mode 0750)"},
        {"open to others", [&] { return ::chmod(folder.c_str(), 0701) == 0; }, "is open to other users (mode 0701)"},
        {"another user's", [&] { return ::getuid() == 0 && ::chown(folder.c_str(), 65534, 65534) == 0; },
         "belongs to another user (uid 65534)"},
        {"a symbolic link", [&] {
             fs::rename(folder, folder.string() + ".real");
             fs::create_directory_symlink(folder.string() + ".real", folder);
             return true;
         }, "is a symbolic link"},
    };
    for (const auto& c : cases) {
        said_.clear();
        if (!c.spoil()) continue;
        EXPECT_EQ(-1, platform::usb_open_path(sockets[0])) << c.what;
        EXPECT_NE(std::string::npos, said_.find(c.message)) << c.what << ": " << said_;
        // Restore the folder for the next case.
        if (fs::is_symlink(folder)) {
            fs::remove(folder);
            fs::rename(folder.string() + ".real", folder);
        }
        ASSERT_EQ(0, ::chown(folder.c_str(), ::getuid(), ::getgid()));
        ASSERT_EQ(0, ::chmod(folder.c_str(), 0700));
        const int again = platform::usb_open_path(sockets[0]);
        EXPECT_GE(again, 0) << "after " << c.what;
        platform::usb_close(again);
    }
}

TEST_F(UsbPrivateChannelTest, ASocketServedByAnotherUserIsRefusedWithAMessage) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to serve a socket as another user";
    const fs::path folder = dir_ / "usb";
    std::string error;
    ASSERT_TRUE(tola::os::make_private_folder(folder, error)) << error;
    const fs::path path = folder / "Chrmtk0-0";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(0, ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    // The peer's credentials are those of the process that listens.
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0 || ::listen(listener, 4) != 0)
            ::_exit(1);
        (void)!::write(ready[1], "x", 1);
        for (;;) ::pause();  // until the test ends it
    }
    ::close(ready[1]);
    char c = 0;
    const bool listening = ::read(ready[0], &c, 1) == 1;
    if (!listening) ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(listening) << "the other user's server did not start";
    EXPECT_EQ(-1, platform::usb_open_named("Chrmtk0-0"));
    EXPECT_NE(std::string::npos, said_.find("served by another user (uid 65534)")) << said_;
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(listener);
}

}  // namespace
}  // namespace tola::testing
