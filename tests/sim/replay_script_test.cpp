// The matching of a replayed record: what a host may send differently from the
// recording (timing-dependent repeats, liveness reads, its clock) and what it may not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>

#include "sim/replay_script.h"
#include "sim/replay_server.h"

namespace tola::sim::replay {
namespace {

const char* const kUsbRecord =
    "TOLA-RECORD 1\n"
    "# command: tolactl info\n"
    "0 usb open {00873FDF-61A8-11D1-AA5E-00C04FB1728B}/dev0\n"
    "1 usb req 0022240C 18 - -\n"                              // line 4: descriptor read
    "1 usb rep 1 18 12010002ff000040a7e16250030101020301\n"
    "2 usb req 00222405 0 0102 -\n"                            // 5: status poll
    "2 usb rep 1 2 -\n"
    "3 usb req 00222402 4 - -\n"                               // 7
    "3 usb rep 1 4 aabbccdd\n"
    // 9: a setup block with the host's time and date, read back by the next request
    "4 usb req 00222405 0 0031363a30323a34300000446f2031302e2044657a20323032360000 -\n"
    "4 usb rep 1 28 -\n"
    "5 usb req 00222402 27 - -\n"
    "5 usb rep 1 27 31363a30323a34300000446f2031302e2044657a20323032360000\n"
    "6 usb req 00222402 8 - -\n"                               // 13: lost reply
    "9 usb rep lost\n"
    "9 usb id device=Chromatik%AE%20V firmware=511vLE serial=H51234 interface=CK0A.00.31.00\n";

UsbRequest req(std::uint32_t code, std::uint32_t capacity, std::vector<std::uint8_t> in = {}) {
    return UsbRequest{code, capacity, std::move(in), {}};
}

std::vector<std::uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> setup_block(const std::string& time, const std::string& date) {
    std::vector<std::uint8_t> b{0x00};
    auto t = text(time);
    b.insert(b.end(), t.begin(), t.end());
    b.insert(b.end(), {0, 0});
    auto d = text(date);
    b.insert(b.end(), d.begin(), d.end());
    b.resize(28, 0);
    return b;
}

TEST(ReplayScript, ReadsTheRecordAndRefusesBrokenOnes) {
    std::string error;
    const auto s = load_script(kUsbRecord, &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->link, Link::Usb);
    EXPECT_EQ(s->target, "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}/dev0");
    EXPECT_EQ(s->command, "tolactl info");
    ASSERT_EQ(s->exchanges.size(), 6u);
    EXPECT_EQ(s->exchanges[1].line, 6u);
    EXPECT_TRUE(s->exchanges[5].reply.lost);
    EXPECT_NE(s->identity.find("serial=H51234"), std::string::npos);
}

unsigned mode_of(const std::filesystem::path& p) {
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Records that are malformed, or that name something outside the replay's
// folders, are refused with the line to blame, and the replay makes nothing:
// no folder, no socket, and a file the record names elsewhere stays as it was.
TEST(ReplayScript, BrokenAndHostileRecordsAreRefusedBeforeAnythingIsMade) {
    char pattern[] = "/tmp/tola-replay-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(pattern));
    const std::filesystem::path base = pattern;
    const std::filesystem::path outside = base / "outside";
    std::filesystem::create_directory(outside);
    ::chmod(outside.c_str(), 0755);
    std::ofstream(outside / "file") << "keep me\n";
    const std::string head = "TOLA-RECORD 1\n# command: tolactl info\n";
    const std::string usb = "TOLA-RECORD 1\n0 usb open dev0\n";
    const std::string bt = "TOLA-RECORD 1\n0 bt open 00:80:25:AB:CD:01\n";
    const std::string req = "1 usb req 00222402 4 - -\n";
    const struct {
        std::string text;  // "@" stands for the test's folder
        std::string why;
    } broken[] = {
        {"TOLA-RECORD 2\n0 usb open x\n", "record line 1: record version 2"},
        {"something else\n", "not a record"},
        {"", "the file is empty"},
        {"TOLA-RECORD 1\n0 usb open x\n1 usb rep 1 0 -\n", "without its request"},
        {"TOLA-RECORD 1\n0 usb open x\n1 usb req 00222405 0 0g -\n", "record line 3: request bytes are hex"},
        {"TOLA-RECORD 1\n0 com open COM3\n1 usb req 00222405 0 - -\n", "one link"},
        {"TOLA-RECORD 1\n1 com tx 01\n", "no \"open\""},
        {usb + "1 usb req 00222402 2 - -\n1 usb rep 1 3 aabbcc\n", "record line 4: a reply larger than its request's capacity"},
        // What is opened must be a name in the replay's own folder.
        {head + "0 usb open @/outside/file\n" + req, "record line 3: the socket \"/tmp/"},
        {head + "0 usb open ../outside/file\n" + req, "record line 3: the socket \"../outside/file\" is not a name"},
        {head + "0 usb open {00873FDF-61A8-11D1-AA5E-00C04FB1728B}/../../outside/file\n", "record line 3: the socket"},
        {head + "0 usb open {00873FDF-61A8-11D1-AA5E-00C04FB1728B}\n", "record line 3: the socket"},
        {head + "0 usb open .tola-usbd.lock\n", "record line 3: the socket"},
        {head + "0 usb open ..\n", "record line 3: the socket"},
        {head + "0 usb open dev\x1b[2J\n", "record line 3: the socket \"dev%1B[2J\""},
        {head + "0 usb open " + std::string(kMaxTargetName + 1, 'd') + "\n", "record line 3: the socket"},
        {usb + "1 usb close\n2 usb open @/outside/file\n", "record line 4: the socket"},
        {"TOLA-RECORD 1\n0 bt open ../outside/file\n", "record line 2: the address \"../outside/file\" is not a name"},
        {"TOLA-RECORD 1\n0 bt open\n", "record line 2: bt open needs what was opened"},
        {"TOLA-RECORD 1\n0 com open /dev/sda\n", "record line 2: \"/dev/sda\" is not a serial port COM<n>"},
        // Malformed lines: the replay once crashed on an empty write.
        {bt + "1 bt tx -\n", "record line 3: bt tx needs its bytes in hex"},
        {bt + "1 bt rx 0\n", "record line 3: bt rx needs its bytes"},
        {bt + "1 bt tx 0g\n", "record line 3: bt tx needs its bytes"},
        {bt + "1 bt rx " + std::string(2 * (std::size_t{1} << 20) + 2, 'a') + "\n", "record line 3: bt rx needs"},
        {usb + "1 usb req 00222402 4 - -", "record line 3: the file ends inside this line"},
        {usb + "1 usb req 00222402\n", "record line 3: a request is"},
        {usb + req + "1 usb rep 1\n", "record line 4: a reply is"},
        {usb + "1 usb req 00222402 4294967295 - -\n", "record line 3: capacity 4294967295 is beyond"},
        {usb + "1 usb req 00222405 0 " + std::string(2 * 65537, '0') + " -\n", "record line 3: request bytes"},
        {usb + req + "1 usb rep 1 4 " + std::string(2 * 65537, '0') + "\n", "record line 4: reply bytes"},
        {usb + "1 usb poke 00\n", "record line 3: unknown event \"usb poke\""},
        {bt + "1 bt req 00222402 4 - -\n", "record line 3: unknown event \"bt req\""},
        {usb + "1 serial tx 01\n", "record line 3: unknown link serial"},
        {usb + "x usb close\n", "record line 3: bad time x"},
        {usb + "1 usb close now\n", "record line 3: usb close takes no fields"},
        {usb + "1 usb id serial\n", "record line 3: usb id: \"serial\" is not <key>=<value>"},
    };
    for (const auto& b : broken) {
        std::string text = b.text;
        if (const auto at = text.find('@'); at != std::string::npos) text.replace(at, 1, base.string());
        std::string error;
        const bool loaded = load_script(text, &error).has_value();
        EXPECT_FALSE(loaded) << text.substr(0, 200);
        EXPECT_NE(error.find(b.why), std::string::npos) << error;
        if (loaded) continue;  // the replay would serve it until stopped

        std::ofstream(base / "record.rec", std::ios::trunc) << text;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(2, tola::sim::run_replay({base / "record.rec", base / "usb", base / "bt"}, out, err));
        EXPECT_NE(err.str().find(b.why), std::string::npos) << err.str();
        EXPECT_FALSE(std::filesystem::exists(base / "usb")) << b.why;
        EXPECT_FALSE(std::filesystem::exists(base / "bt")) << b.why;
        EXPECT_EQ(mode_of(outside), static_cast<unsigned>(S_IFDIR | 0755)) << b.why;
        EXPECT_TRUE(S_ISREG(mode_of(outside / "file"))) << b.why;
    }
    std::filesystem::remove_all(base);
}

TEST(ReplayScript, UsbRequestsMatchInOrderWithTheTimingLooseningsOnly) {
    const auto s = load_script(kUsbRecord, nullptr);
    ASSERT_TRUE(s);
    UsbMatcher m(s->exchanges);
    // The recorded descriptor read is skipped; the poll is answered twice (it ran once more).
    auto r = m.answer(req(0x222405, 0, {1, 2}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->returned, 2u);
    ASSERT_TRUE(m.answer(req(0x222405, 0, {1, 2})));
    // A liveness read the recording host did not send is answered with the recorded descriptor.
    r = m.answer(req(0x22240C, 18));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data.size(), 18u);
    r = m.answer(req(0x222402, 4));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data, (std::vector<std::uint8_t>{0xaa, 0xbb, 0xcc, 0xdd}));
    // Another clock and day: matched, and the read-back carries what this host wrote.
    const auto now = setup_block("09:41:07", "Fr 1. Jan 2027");
    ASSERT_TRUE(m.answer(req(0x222405, 0, now)));
    r = m.answer(req(0x222402, 27));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data, std::vector<std::uint8_t>(now.begin() + 1, now.end()));
    r = m.answer(req(0x222402, 8));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->lost);
    EXPECT_EQ(m.pending(), nullptr);
    // Past the end nothing is loose any more.
    EXPECT_FALSE(m.answer(req(0x222405, 0, {9})));
    ASSERT_TRUE(m.difference());
    EXPECT_EQ(m.difference()->expected, "nothing more (the record ends)");
}

TEST(ReplayScript, TheFirstDifferentUsbRequestIsReportedWithItsPlace) {
    const auto s = load_script(kUsbRecord, nullptr);
    ASSERT_TRUE(s);
    const struct {
        UsbRequest request;
        std::size_t answered_before;  // matching requests sent first
    } cases[] = {
        {req(0x222405, 0, {1, 3}), 0},                                      // one byte of the input
        {req(0x222405, 1, {1, 2}), 0},                                      // the capacity
        {req(0x222402, 4), 0},                                              // a request left out
        {req(0x222405, 0, setup_block("09:41:07", "Fr 1. Jan 2027")), 0},  // out of order
    };
    for (const auto& c : cases) {
        UsbMatcher m(s->exchanges);
        EXPECT_FALSE(m.answer(c.request));
        ASSERT_TRUE(m.difference());
        EXPECT_EQ(m.difference()->line, 6u);
        EXPECT_EQ(m.difference()->index, 3u);
        EXPECT_EQ(m.difference()->expected, "usb req 00222405 0 0102 -");
        EXPECT_EQ(m.difference()->got, describe(c.request));
        EXPECT_FALSE(m.answer(req(0x222405, 0, {1, 2}))) << "a replay that differed stays stopped";
    }
    // Text that is no clock is compared byte for byte.
    UsbMatcher m(s->exchanges);
    ASSERT_TRUE(m.answer(req(0x222405, 0, {1, 2})));
    ASSERT_TRUE(m.answer(req(0x222402, 4)));
    auto block = setup_block("16:02:40", "Do 10. Dez 2026");
    block[0] = 0x02;
    EXPECT_FALSE(m.answer(req(0x222405, 0, block)));
}

TEST(ReplayScript, StreamBytesGoOutOnceEverythingWrittenBeforeThemCame) {
    const char* record =
        "TOLA-RECORD 1\n"
        "0 com open COM3\n"
        "1 com rx 55\n"        // sent unasked at the start
        "2 com tx 0102\n"
        "2 com tx 03\n"        // one write in two pieces
        "3 com rx aa\n"
        "3 com rx bb\n"        // one answer read in two pieces
        "4 com tx 04\n"
        "5 com rx cc\n";
    const auto s = load_script(record, nullptr);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->link, Link::Serial);
    EXPECT_EQ(s->target, "COM3");
    StreamMatcher m(s->chunks);
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(m.take({}, out));
    EXPECT_EQ(out, std::vector<std::uint8_t>{0x55});
    out.clear();
    const std::uint8_t first[] = {1, 2};
    ASSERT_TRUE(m.take(first, out));
    EXPECT_TRUE(out.empty());
    const std::uint8_t rest[] = {3, 4};
    ASSERT_TRUE(m.take(rest, out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0xaa, 0xbb, 0xcc}));
    EXPECT_EQ(m.pending(), nullptr);

    StreamMatcher wrong(s->chunks);
    out.clear();
    const std::uint8_t differs[] = {1, 2, 7};
    EXPECT_FALSE(wrong.take(differs, out));
    ASSERT_TRUE(wrong.difference());
    EXPECT_EQ(wrong.difference()->line, 4u);
    EXPECT_EQ(wrong.difference()->index, 2u);
    EXPECT_EQ(wrong.difference()->expected, "tx 03 (byte 2 of 3 written from this line on)");
    EXPECT_EQ(wrong.difference()->got, "tx 07 (1 byte(s))");
}

}  // namespace
}  // namespace tola::sim::replay
