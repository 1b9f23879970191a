// The list of known Bluetooth instruments, its file and the stored setting.
#include "update/bluetooth/known_devices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace ckupdate {
namespace {

TEST(KnownDeviceList, SortedCaseInsensitivelyEachPairOnce) {
    TKnownDeviceList list;
    EXPECT_TRUE(list.Add("TOLA-V 0002#00:80:25:AB:CD:02"));
    EXPECT_TRUE(list.Add("alpha#11"));
    EXPECT_TRUE(list.Add("TOLA-V 0001#00:80:25:AB:CD:01"));
    EXPECT_TRUE(list.Add("Beta#22"));
    EXPECT_FALSE(list.Add("tola-v 0001#00:80:25:ab:cd:01"));  // same pair in other letters
    EXPECT_FALSE(list.Add("Beta#22"));
    EXPECT_TRUE(list.Add("TOLA-V 0001#00:80:25:AB:CD:09"));  // same name, other address
    EXPECT_EQ((QStringList{"alpha#11", "Beta#22", "TOLA-V 0001#00:80:25:AB:CD:01", "TOLA-V 0001#00:80:25:AB:CD:09",
                           "TOLA-V 0002#00:80:25:AB:CD:02"}),
              list.Entries());
}

TEST(KnownDeviceList, RemovesTheEntryIgnoringCase) {
    TKnownDeviceList list;
    list.Add("TOLA A#1");
    list.Add("TOLA B#2");
    EXPECT_FALSE(list.Remove("TOLA A#"));
    EXPECT_TRUE(list.Remove("tola a#1"));
    EXPECT_EQ(QStringList{"TOLA B#2"}, list.Entries());
}

TEST(KnownDeviceList, RowsSkipEntriesWithoutANameOrHash) {
    TKnownDeviceList list;
    list.Add("#address only");
    list.Add("no hash at all");
    list.Add("Name#addr#with#hashes");
    list.Add("Empty address#");
    const QList<KnownDevice> rows = list.Rows();
    ASSERT_EQ(2, rows.size());
    EXPECT_EQ(QStringLiteral("Empty address"), rows[0].name);
    EXPECT_EQ(QString(), rows[0].address);
    EXPECT_EQ(QStringLiteral("Name"), rows[1].name);
    EXPECT_EQ(QStringLiteral("addr#with#hashes"), rows[1].address);
}

TEST(KnownDeviceList, FileIsWindows1252WithCrLfInSortedOrder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(kKnownDevicesFileName);
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older, longer list that must be replaced completely\r\n");
    }
    TKnownDeviceList list;
    list.Add(QStringLiteral("TOLA M\u00FCller \u20AC#00:80:25:AB:CD:02"));
    list.Add("TOLA A#00:80:25:AB:CD:01");
    list.SaveToFile(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QByteArray("TOLA A#00:80:25:AB:CD:01\r\nTOLA M\xFCller \x80#00:80:25:AB:CD:02\r\n"), f.readAll());
}

TEST(KnownDeviceList, EmptyListWritesAnEmptyFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(kKnownDevicesFileName);
    TKnownDeviceList().SaveToFile(path);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(0, QFileInfo(path).size());
}

TEST(KnownDeviceList, AFileThatCannotBeWrittenRaisesAndKeepsTheOldOne) {
    QTemporaryDir dir;
    TKnownDeviceList list;
    list.Add("TOLA A#1");
    const QString missing = dir.filePath("no/such/folder/") + kKnownDevicesFileName;
    try {
        list.SaveToFile(missing);
        FAIL() << "no error";
    } catch (const EKnownDevicesFile& e) {
        EXPECT_TRUE(e.Message().contains(missing)) << e.Message().toStdString();
    }
}

TEST(StoredBluetoothDevice, TenCharactersOrFewerNameNoDevice) {
    EXPECT_FALSE(ParseStoredBluetoothDevice(""));
    EXPECT_FALSE(ParseStoredBluetoothDevice("TOLA#12345"));  // 10
    const auto eleven = ParseStoredBluetoothDevice("TOLA#123456");
    ASSERT_TRUE(eleven);
    EXPECT_EQ(QStringLiteral("TOLA"), eleven->name);
}

TEST(StoredBluetoothDevice, NameFirstIsTakenUnchanged) {
    const auto d = ParseStoredBluetoothDevice("TOLA-V 0001#(00:80:25:AB:CD:01)");
    ASSERT_TRUE(d);
    EXPECT_EQ(QStringLiteral("TOLA-V 0001"), d->name);
    EXPECT_EQ(QStringLiteral("TOLA-V 0001#(00:80:25:AB:CD:01)"), d->entry);
}

TEST(StoredBluetoothDevice, AddressFirstIsRewrittenNameFirst) {
    const auto d = ParseStoredBluetoothDevice("(00:80:25:AB:CD:01)#TOLA-V 0001");
    ASSERT_TRUE(d);
    EXPECT_EQ(QStringLiteral("TOLA-V 0001"), d->name);
    EXPECT_EQ(QStringLiteral("TOLA-V 0001#(00:80:25:AB:CD:01)"), d->entry);
}

TEST(StoredBluetoothDevice, MalformedSettingsNameNoDevice) {
    EXPECT_FALSE(ParseStoredBluetoothDevice("a long text without any hash"));
    EXPECT_FALSE(ParseStoredBluetoothDevice("#00:80:25:AB:CD:01"));      // no name
    EXPECT_FALSE(ParseStoredBluetoothDevice("(00:80:25:AB:CD:01)#"));    // address first, no name
    EXPECT_FALSE(ParseStoredBluetoothDevice("(00:80:25:AB:CD:01) TOLA"));  // address first, no hash
}

TEST(SelectableDevice, OnlyNamesBeginningWithTolaInCapitals) {
    EXPECT_TRUE(IsSelectableDeviceName("TOLA"));
    EXPECT_TRUE(IsSelectableDeviceName("TOLA-V 0001"));
    EXPECT_FALSE(IsSelectableDeviceName("tola-V 0001"));
    EXPECT_FALSE(IsSelectableDeviceName(" TOLA"));
    EXPECT_FALSE(IsSelectableDeviceName("Chromatik V H51234"));
}

}  // namespace
}  // namespace ckupdate
