// The files records go to: an existing name (a file, a link) is left alone and
// the record goes to the process's own name; parts end at the size limit, each
// a record of its own, and only the newest stay.
#include "platform/record_file.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace tola::os {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RecordFile, AnExistingNameIsNeverWrittenThroughAndPartsStayBounded) {
    char pattern[] = "/tmp/tola-record-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(pattern));
    const fs::path base = pattern;
    std::ofstream(base / "victim") << "someone's file\n";
    const std::string own = ".pid" + std::to_string(::getpid());
    const std::string opening = "TOLA-RECORD 1\n# command: test\n";

    const struct {
        const char* name;
        std::function<void(const fs::path&)> before;
        const char* expect;  // the first part's name after FILE, or nullptr: nothing recorded
    } cases[] = {
        {"new", [](const fs::path&) {}, ""},
        {"earlier-record", [](const fs::path& p) { std::ofstream(p) << "TOLA-RECORD 1\n# another process\n"; }, ".pid"},
        {"link", [&](const fs::path& p) { fs::create_symlink(base / "victim", p); }, ".pid"},
        {"dangling-link", [&](const fs::path& p) { fs::create_symlink(base / "nowhere", p); }, ".pid"},
        {"both-taken", [&](const fs::path& p) {
             std::ofstream(p) << "x\n";
             std::ofstream(p.string() + own) << "y\n";
         }, nullptr},
    };
    for (const auto& c : cases) {
        const fs::path file = base / c.name;
        c.before(file);
        const std::string before = read(file);
        RecordFile record;
        std::string error;
        const bool opened = record.open(file, 0, opening, error);
        if (c.expect == nullptr) {
            EXPECT_FALSE(opened) << c.name;
            EXPECT_NE(error.find(file.string() + own), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(opened) << c.name << ": " << error;
        const fs::path expected = file.string() + (*c.expect ? own : "");
        EXPECT_EQ(record.name(), expected) << c.name;
        record.write("0 usb close\n", true, [] { return std::string(); });
        record.close();
        EXPECT_EQ(read(expected), opening + "0 usb close\n") << c.name;
        struct stat st{};
        ASSERT_EQ(0, ::lstat(expected.c_str(), &st));
        EXPECT_EQ(st.st_mode & 0777, 0600u) << c.name;
        if (*c.expect) {
            EXPECT_EQ(read(file), before) << c.name << ": the existing name was written through";
        }
    }
    EXPECT_EQ(read(base / "victim"), "someone's file\n");
    EXPECT_FALSE(fs::exists(base / "nowhere"));

    // Parts of at most 1K (but for a line that may not begin one), each opened
    // as a record; a name taken by someone else is passed over and kept.
    const fs::path file = base / "long";
    std::ofstream(file.string() + ".3") << "not ours\n";
    RecordFile record;
    std::string error;
    ASSERT_TRUE(record.open(file, 1024, opening, error)) << error;
    const std::string line(99, 'a');
    const auto part_opening = [&] { return opening + "# part " + std::to_string(record.part()) + "\n"; };
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(record.write(line + "\n", i % 2 == 0, part_opening));
    record.close();
    EXPECT_EQ(read(file.string() + ".3"), "not ours\n");
    // 100 lines of 100 bytes in parts of 9 or 10 lines: about 11 parts, the newest four kept.
    const unsigned last = record.part();
    EXPECT_GE(last, 10u);
    EXPECT_FALSE(fs::exists(file));
    int kept = 0;
    for (unsigned n = 1; n <= last; ++n) {
        if (n == 3) continue;
        const fs::path part = file.string() + "." + std::to_string(n);
        if (!fs::exists(part)) continue;
        ++kept;
        const std::string text = read(part);
        const std::string head = opening + "# part " + std::to_string(n) + "\n";
        EXPECT_EQ(text.rfind(head, 0), 0u) << part;
        EXPECT_LE(text.size(), 1024u + line.size() + 1) << part;
        EXPECT_EQ((text.size() - head.size()) % 100, 0u) << part << ": not whole lines";
        EXPECT_EQ(text.find_first_not_of("a\n", head.size()), std::string::npos) << part;
    }
    EXPECT_EQ(kept, static_cast<int>(kRecordPartsKept));
    EXPECT_TRUE(fs::exists(file.string() + "." + std::to_string(last)));

    EXPECT_EQ(parse_record_size("64M"), 64u << 20);
    EXPECT_EQ(parse_record_size("512k"), 512u << 10);
    EXPECT_EQ(parse_record_size("0"), 0u);
    for (const char* bad : {"1023", "", "M", "12T", "-1", "99999999999999999999", "20000000000G"})
        EXPECT_FALSE(parse_record_size(bad)) << bad;
    fs::remove_all(base);
}

}  // namespace
}  // namespace tola::os
