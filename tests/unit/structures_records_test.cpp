// Host command block, norm, data, display text, the additional records and
// the word-18 record.
#include <gtest/gtest.h>

#include "structures_test_support.h"

namespace {

using namespace structures_test;

// ---- COMM_USB_HOST ----------------------------------------------------------

using UsbHostConversion = EitherOrder;

// Target with t_i = 0x100 + i; host with w_i = 0x200 + i.
Bytes numbered_target(std::size_t words, ByteOrder order) {
    Bytes t(words * 4, 0);
    for (std::uint32_t i = 0; i < words; ++i) put32(t, 4 * i, 0x100 + i, order);
    return t;
}
Bytes numbered_host() {
    Bytes h(64, 0);
    for (std::uint32_t i = 0; i < 16; ++i) host32(h, 4 * i, 0x200 + i);
    return h;
}
std::vector<std::uint32_t> host_words(const Bytes& h) {
    std::vector<std::uint32_t> w;
    for (std::size_t i = 0; i < 16; ++i) w.push_back(host32(h, 4 * i));
    return w;
}
std::vector<std::uint32_t> target_words(const Bytes& t, ByteOrder order) {
    std::vector<std::uint32_t> w;
    for (std::size_t i = 0; i < t.size() / 4; ++i) w.push_back(get32(t, 4 * i, order));
    return w;
}

TEST_P(UsbHostConversion, SameFrom24On) {
    for (unsigned number : {24u, 25u, 26u, 27u, 28u, 29u, 30u, 31u, 32u}) {
        Bytes target = numbered_target(16, order()), host(64, 0);
        ASSERT_TRUE(upload(StructureKind::UsbHost, number, order(), host, target));
        EXPECT_EQ(0x10Fu, host32(host, 60));
        Bytes out(64, 0);
        ASSERT_TRUE(download(StructureKind::UsbHost, number, order(), host, out));
        EXPECT_EQ(target, out);
    }
}

TEST_P(UsbHostConversion, Releases22And23Use19Words) {
    for (unsigned number : {22u, 23u}) {
        SCOPED_TRACE(number);
        Bytes target = numbered_target(19, order());
        put32(target, 8, 0x1, order());
        put32(target, 12, 0x4, order());
        Bytes host(64, 0xEE);
        ASSERT_TRUE(upload(StructureKind::UsbHost, number, order(), host, target));
        const std::vector<std::uint32_t> up{0x100, 0x101, 0x5,   0x104, 0x105, 0x106, 0x107, 0x108,
                                            0x10B, 0x10C, 0x10E, 0x10F, 0x110, 0x111, 0x112, 0x10A};
        EXPECT_EQ(up, host_words(host));

        Bytes out(76, 0xEE);
        Bytes h = numbered_host();
        ASSERT_TRUE(download(StructureKind::UsbHost, number, order(), h, out));
        const std::vector<std::uint32_t> down{0x200, 0x201, 0x202, 0x202, 0x203, 0x204, 0x205, 0x206, 0x207, 0,
                                              0,     0x208, 0x209, 0,     0x20A, 0x20B, 0x20C, 0x20D, 0x20E};
        EXPECT_EQ(down, target_words(out, order()));
    }
}

TEST_P(UsbHostConversion, Release20Uses11Words) {
    Bytes target = numbered_target(11, order()), host(64, 0xEE);
    ASSERT_TRUE(upload(StructureKind::UsbHost, 20, order(), host, target));
    const std::vector<std::uint32_t> up{0x100, 0x101, 0x102, 0x103, 0, 0x104, 0, 0,
                                        0x107, 0x108, 0x109, 0,     0x10A, 0, 0, 0x106};
    EXPECT_EQ(up, host_words(host));

    Bytes out(44, 0xEE), h = numbered_host();
    ASSERT_TRUE(download(StructureKind::UsbHost, 20, order(), h, out));
    const std::vector<std::uint32_t> down{0x200, 0x201, 0x202, 0x203, 0x205, 1, 0, 0x208, 0x209, 0x20A, 0x20C};
    EXPECT_EQ(down, target_words(out, order()));
}

TEST_P(UsbHostConversion, Releases14To19Use9Words) {
    for (unsigned number : {14u, 15u, 16u, 17u, 18u, 19u}) {
        SCOPED_TRACE(number);
        Bytes target = numbered_target(9, order()), host(64, 0xEE);
        ASSERT_TRUE(upload(StructureKind::UsbHost, number, order(), host, target));
        const std::vector<std::uint32_t> up{0x100, 0x101, 0x102, 0x103, 0, 0, 0, 0,
                                            0x106, 0x107, 0x108, 0,     0, 0, 0, 0x105};
        EXPECT_EQ(up, host_words(host));

        Bytes out(36, 0xEE), h = numbered_host();
        ASSERT_TRUE(download(StructureKind::UsbHost, number, order(), h, out));
        const std::vector<std::uint32_t> down{0x200, 0x201, 0x202, 0x203, 1, 0, 0x208, 0x209, 0x20A};
        EXPECT_EQ(down, target_words(out, order()));
    }
}

STRUCTURES_BOTH_ORDERS(UsbHostConversion);

// ---- norm, data block, display text -----------------------------------------

using RecordConversion = EitherOrder;

TEST_P(RecordConversion, NormKeepsTheGainRowsOnlyBefore29) {
    for (unsigned number : kAllReleases) {
        const bool full = number >= 29, gains = number >= 24 && number <= 28;
        if (!full && !gains) continue;
        SCOPED_TRACE(number);
        Bytes target(256, 0), host(256, 0xEE);
        put32(target, 124, 0x1111, order());  // qfGain_outer[15]
        put32(target, 252, 0x2222, order());  // last word of the further data
        ASSERT_TRUE(upload(StructureKind::Norm, number, order(), host, target));
        EXPECT_EQ(0x1111u, host32(host, 124));
        EXPECT_EQ(full ? 0x2222u : 0u, host32(host, 252));

        host32(host, 252, 0x3333);
        Bytes out(256, 0xEE);
        ASSERT_TRUE(download(StructureKind::Norm, number, order(), host, out));
        EXPECT_EQ(0x1111u, get32(out, 124, order()));
        EXPECT_EQ(full ? 0x3333u : 0xEEEEEEEEu, get32(out, 252, order()));  // cleared over 128 bytes only
    }
}

TEST_P(RecordConversion, DataBlockIsHalfWordsThenWords) {
    for (unsigned number : {22u, 24u, 28u, 32u}) {
        Bytes target(168, 0), host(168, 0xEE);
        put16(target, 62, 0xA1B2, order());
        put32(target, 64, 0xC3D4E5F6, order());
        put32(target, 164, 0x01020304, order());
        ASSERT_TRUE(upload(StructureKind::Data, number, order(), host, target));
        EXPECT_EQ(0xA1B2u, host16(host, 62));
        EXPECT_EQ(0xC3D4E5F6u, host32(host, 64));
        EXPECT_EQ(0x01020304u, host32(host, 164));
        Bytes out(168, 0xEE);
        ASSERT_TRUE(download(StructureKind::Data, number, order(), host, out));
        EXPECT_EQ(target, out);
    }
}

TEST_P(RecordConversion, DisplayTextWritesOnlyWhatItMaps) {
    for (unsigned number : {14u, 20u, 22u, 32u}) {
        Bytes target(216, 0xEE), host(216, 0x77);
        put32(target, 8, 3, order());
        put_text(target, 12, "Hello");
        ASSERT_TRUE(upload(StructureKind::DisplayText, number, order(), host, target));
        EXPECT_EQ(3u, host32(host, 8));
        EXPECT_EQ("Hello", text_at(host, 12));
        EXPECT_EQ(0xEE, host[211]);
        EXPECT_EQ(0x77, host[212]);  // nothing cleared, the last 4 bytes not moved

        Bytes out(216, 0x55);
        ASSERT_TRUE(download(StructureKind::DisplayText, number, order(), host, out));
        EXPECT_EQ(3u, get32(out, 8, order()));
        EXPECT_EQ(0x55, out[212]);
    }
}

// ---- additional records -----------------------------------------------------

TEST_P(RecordConversion, Add2Is7WordsANameTwoWordsAndFourBytes) {
    Bytes target(68, 0), host(68, 0x77);
    put32(target, 24, 0xAAAA, order());
    put_text(target, 28, "Chairside");
    put32(target, 60, 0xBBBB, order());
    target[64] = 1, target[67] = 4;
    for (unsigned number : {25u, 32u}) {
        ASSERT_TRUE(upload(StructureKind::Add2, number, order(), host, target));
        EXPECT_EQ(0xAAAAu, host32(host, 24));
        EXPECT_EQ("Chairside", text_at(host, 28));
        EXPECT_EQ(0xBBBBu, host32(host, 60));
        EXPECT_EQ(4, host[67]);
        Bytes out(68, 0);
        ASSERT_TRUE(download(StructureKind::Add2, number, order(), host, out));
        EXPECT_EQ(0xBBBBu, get32(out, 60, order()));
        EXPECT_EQ("Chairside", text_at(out, 28));
    }
    // .24 holds bytes 0..55 only; what it lacks keeps its previous host value.
    Bytes host24(68, 0x77), out24(68, 0x55);
    ASSERT_TRUE(upload(StructureKind::Add2, 24, order(), host24, target));
    EXPECT_EQ(0xAAAAu, host32(host24, 24));
    EXPECT_EQ(0x77777777u, host32(host24, 60));
    ASSERT_TRUE(download(StructureKind::Add2, 24, order(), host24, out24));
    EXPECT_EQ(0x55, out24[56]);
    // Older releases succeed without moving anything.
    Bytes host23(68, 0x77), out23(68, 0x55);
    EXPECT_TRUE(upload(StructureKind::Add2, 23, order(), host23, target));
    EXPECT_TRUE(download(StructureKind::Add2, 11, order(), host23, out23));
    EXPECT_EQ(Bytes(68, 0x77), host23);
    EXPECT_EQ(Bytes(68, 0x55), out23);
}

TEST_P(RecordConversion, Add3AndAdd4AreWordArrays) {
    Bytes target3(2676, 0), host3(2676, 0xEE);
    put32(target3, 2672, 0x40490FDB, order());  // value 668
    ASSERT_TRUE(upload(StructureKind::Add3, 30, order(), host3, target3));
    EXPECT_EQ(0x40490FDBu, host32(host3, 2672));
    EXPECT_EQ(0u, host32(host3, 0));
    Bytes out3(2676, 0xEE);
    ASSERT_TRUE(download(StructureKind::Add3, 32, order(), host3, out3));
    EXPECT_EQ(target3, out3);

    Bytes target4(576, 0), host4(576, 0xEE);
    put32(target4, 572, 0x1234, order());
    ASSERT_TRUE(upload(StructureKind::Add4, 29, order(), host4, target4));
    EXPECT_EQ(0x1234u, host32(host4, 572));
    Bytes out4(576, 0xEE);
    ASSERT_TRUE(download(StructureKind::Add4, 31, order(), host4, out4));
    EXPECT_EQ(target4, out4);
}

TEST_P(RecordConversion, ShortResultRecordUnits) {
    for (unsigned number : {31u, 32u}) {
        Bytes target(624, 0), host(624, 0xEE);
        target[0] = 'S', target[99] = 0x99;
        put16(target, 100, 0x1234, order());
        put16(target, 170, 0x5678, order());
        put32(target, 172, 0x9ABCDEF0, order());
        target[236] = 0x36;
        put32(target, 312, 0x312, order());
        put32(target, 452, 0x452, order());
        target[589] = 0x89;
        put16(target, 592, 0x592, order());
        put16(target, 594, 0x594, order());
        put16(target, 596, 0x596, order());  // not a unit
        put16(target, 604, 0x604, order());
        put32(target, 616, 0x616, order());
        put32(target, 620, 0x620, order());  // not a unit
        ASSERT_TRUE(upload(StructureKind::ShortResult, number, order(), host, target));
        EXPECT_EQ('S', host[0]);
        EXPECT_EQ(0x99, host[99]);
        EXPECT_EQ(0x1234u, host16(host, 100));
        EXPECT_EQ(0x5678u, host16(host, 170));
        EXPECT_EQ(0x9ABCDEF0u, host32(host, 172));
        EXPECT_EQ(0x36, host[236]);
        EXPECT_EQ(0x312u, host32(host, 312));
        EXPECT_EQ(0x452u, host32(host, 452));
        EXPECT_EQ(0x89, host[589]);
        EXPECT_EQ(0x592u, host16(host, 592));
        EXPECT_EQ(0x594u, host16(host, 594));
        EXPECT_EQ(0u, host16(host, 596));
        EXPECT_EQ(0x604u, host16(host, 604));
        EXPECT_EQ(0x616u, host32(host, 616));
        EXPECT_EQ(0u, host32(host, 620));
    }
}

TEST_P(RecordConversion, Word18RecordTravelsUnchangedInEitherOrder) {
    const Bytes target{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    Bytes host(11, 0), in = target;
    ASSERT_TRUE(upload(StructureKind::TableWord18, 32, order(), host, in));
    EXPECT_EQ(target, host);
    Bytes out(11, 0);
    ASSERT_TRUE(download(StructureKind::TableWord18, 32, order(), host, out));
    EXPECT_EQ(target, out);
}

TEST_P(RecordConversion, StructureTablesAre24IndependentWords) {
    for (StructureKind kind : {StructureKind::StructureTable, StructureKind::StructureSizes}) {
        Bytes target(96, 0), host(96, 0);
        for (std::uint32_t i = 0; i < 24; ++i) put32(target, 4 * i, 0x20000000 + 0x100 * i, order());
        ASSERT_TRUE(tola::structures::convert(kind, Direction::Upload, "CK0A.00.21.00", order(), host, target));
        for (std::uint32_t i = 0; i < 24; ++i) EXPECT_EQ(0x20000000 + 0x100 * i, host32(host, 4 * i));
    }
}

STRUCTURES_BOTH_ORDERS(RecordConversion);

}  // namespace
