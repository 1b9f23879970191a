// Finding, loading and binding the communication library; the wrappers.
#include "update/binding/comm_binding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

namespace ckupdate {
namespace {

using ::testing::ElementsAre;

std::int32_t Fake1() { return 1; }

// A file system and loader the test describes: which files exist, which load,
// and which names each library exports.
class FakeDynamicLibraries final : public DynamicLibraryApi {
public:
    std::set<std::string> files;
    std::map<std::string, std::set<std::string>> exports;  // path -> names (a missing path does not load)
    std::vector<std::string> opened;
    std::string installed;

    bool FileExists(const std::string& p) override { return files.count(p) != 0; }
    void* Open(const std::string& p) override {
        opened.push_back(p);
        auto it = exports.find(p);
        return it == exports.end() ? nullptr : &it->second;
    }
    std::string LastErrorText() override { return "invalid ELF header"; }
    void* Symbol(void* module, const char* name) override {
        auto* names = static_cast<std::set<std::string>*>(module);
        return names->count(name) != 0 ? reinterpret_cast<void*>(&Fake1) : nullptr;
    }
    void Close(void*) override {}
    std::string CurrentDirectory() override { return "/home/user"; }
    std::string InstalledLibraryPath() override { return installed; }
};

std::set<std::string> AllNames() {
    std::set<std::string> names;
    for (int i = 0; i < kBindOrderCount; ++i) names.insert(kBindOrder[i].name);
    return names;
}

struct Loader {
    FakeDynamicLibraries* fs;
    CommBinding binding;
    std::vector<std::string> traces;
    Loader() : fs(new FakeDynamicLibraries), binding(std::unique_ptr<DynamicLibraryApi>(fs)) {
        binding.SetCommTraceSink([this](const std::string& t) { traces.push_back(t); });
        traces.clear();
    }
};

TEST(SearchList, TwelvePlacesAndThePlaceholder) {
    EXPECT_STREQ("./libTOLA_comm.so", kCommDllSearchList[0]);
    EXPECT_STREQ("./Release/libTOLA_commD.so", kCommDllSearchList[8]);
    EXPECT_STREQ("./Build_Binaries/libTOLA_commD.so", kCommDllSearchList[11]);
    EXPECT_STREQ("--DLL--", kCommDllSearchList[12]);
}

TEST(LoadCommDll, OnlyTheFirstExistingFileIsTried) {
    Loader l;
    l.fs->files = {"./Release/libTOLA_commD.so", "./Build_Binaries/libTOLA_comm.so"};
    l.fs->exports["./Release/libTOLA_commD.so"] = AllNames();
    std::string path;
    EXPECT_TRUE(l.binding.LoadCommDll(path));
    EXPECT_EQ("./Release/libTOLA_commD.so", path);
    EXPECT_THAT(l.fs->opened, ElementsAre("./Release/libTOLA_commD.so"));
    EXPECT_EQ("Chromatik Dll \"./libTOLA_comm.so\" nicht gefunden.", l.traces.front());
    EXPECT_EQ("Chromatik Dll \"./Release/libTOLA_commD.so\" geladen.", l.traces[9]);
    EXPECT_TRUE(l.binding.Api().Loaded());
}

TEST(LoadCommDll, MissingRequiredNameNamesItAndThePath) {
    Loader l;
    l.fs->files = {"./libTOLA_comm.so", "./libTOLA_commR.so"};
    auto names = AllNames();
    names.erase("bTOLA_comm_reset");
    l.fs->exports["./libTOLA_comm.so"] = names;
    l.fs->exports["./libTOLA_commR.so"] = AllNames();
    std::string path;
    try {
        l.binding.LoadCommDll(path);
        FAIL() << "loaded without bTOLA_comm_reset";
    } catch (const ECommDllError& e) {
        EXPECT_EQ(QStringLiteral("Funktion <bTOLA_comm_reset> \r\nin Dll <./libTOLA_comm.so> nicht "
                                 "gefunden.\r\n\r\n*** Dll nicht geladen ***"),
                  e.Message());
    }
    EXPECT_THAT(l.fs->opened, ElementsAre("./libTOLA_comm.so"));
    EXPECT_EQ("Chromatik Portivo Port wird geschlossen.", l.traces.back());
    EXPECT_EQ("Fehler bei GetProcAdress() von <bTOLA_comm_reset>", l.traces[l.traces.size() - 2]);
}

TEST(LoadCommDll, PlainNameStandsInForAMissingExName) {
    Loader l;
    l.fs->files = {"./libTOLA_comm.so"};
    auto names = AllNames();
    names.erase("bTOLA_comm_send_command_ex");
    names.erase("TOLA_Get_CKNG_CalMat_ex");
    l.fs->exports["./libTOLA_comm.so"] = names;
    std::string path;
    ASSERT_TRUE(l.binding.LoadCommDll(path));
    EXPECT_EQ(nullptr, l.binding.Functions().bTOLA_comm_send_command_ex);
    EXPECT_NE(nullptr, l.binding.Functions().bTOLA_comm_send_command);
    EXPECT_EQ(nullptr, l.binding.Functions().TOLA_Get_CKNG_CalMat_ex);
    EXPECT_NE(l.traces.end(), std::find(l.traces.begin(), l.traces.end(),
                                        "Fehler bei GetProgadressEx() von <bTOLA_comm_send_command_ex>"));
    // With the _ex name present, its plain partner is not looked up.
    EXPECT_EQ(nullptr, l.binding.Functions().bTOLA_comm_poll_measurements);
}

TEST(LoadCommDll, NoLibraryGivesThePlaceholderAndNeutralWrappers) {
    Loader l;
    std::string path;
    EXPECT_FALSE(l.binding.LoadCommDll(path));
    EXPECT_EQ("--DLL--", path);
    EXPECT_EQ(12u, l.traces.size());
    const CommApi api = l.binding.Api();
    PXM_COMM comm{};
    EXPECT_EQ(0, api.CKPcomm_poll_initialize(&comm));
    EXPECT_FALSE(api.CKPcomm_test());
    EXPECT_FALSE(api.CKPRenesas_command(11, 0));
    api.CKPcomm_close();
    DLL_VERSION v{};
    l.binding.GetCommDllVersion(v);
    EXPECT_STREQ("1.0.39.36", v.snVersion);
    EXPECT_EQ(39u, v.dRelease);
    EXPECT_FALSE(l.binding.UnloadCommDll());
}

TEST(LoadCommDll, TheInstalledLibraryComesAfterTheTwelvePlaces) {
    Loader l;
    l.fs->installed = "/opt/tola/lib/libTOLA_comm.so";
    l.fs->files = {l.fs->installed};
    l.fs->exports[l.fs->installed] = AllNames();
    std::string path;
    EXPECT_TRUE(l.binding.LoadCommDll(path));
    EXPECT_EQ(l.fs->installed, path);
}

TEST(LoadCommDll, FileThatDoesNotLoadRaisesTheSystemText) {
    Loader l;
    l.fs->files = {"./libTOLA_comm.so"};
    std::string path;
    try {
        l.binding.LoadCommDll(path);
        FAIL();
    } catch (const ECommDllError& e) {
        EXPECT_EQ(QStringLiteral("\r\nFehler beim laden der DLL: <./libTOLA_comm.so>\r\ninvalid ELF header"), e.Message());
    }
}

TEST(Wrappers, ControllerCommandPassesOnlyNineToTwelve) {
    static std::vector<std::int32_t> seen;
    CommFunctions t;
    t.bTOLA_USB_Renesas_command = [](std::int32_t c, std::int32_t) {
        seen.push_back(c);
        return 1;
    };
    const CommApi api(&t);
    EXPECT_FALSE(api.CKPRenesas_command(13, 0));
    EXPECT_FALSE(api.CKPRenesas_command(8, 0));
    EXPECT_TRUE(api.CKPRenesas_command(9, 4));
    EXPECT_TRUE(api.CKPRenesas_command(0x1000C, 0));  // low 16 bits: 12
    EXPECT_THAT(seen, ElementsAre(9, 0x1000C));
}

TEST(Wrappers, SendCommandFallsBackToThePlainForm) {
    static int ex_calls = 0, plain_calls = 0;
    CommFunctions t;
    t.bTOLA_comm_send_command = [](COMM_USB_HOST*) {
        ++plain_calls;
        return 1;
    };
    COMM_USB_HOST h{};
    EXPECT_TRUE(CommApi(&t).CKPcomm_send_command(&h));
    t.bTOLA_comm_send_command_ex = [](COMM_USB_HOST*, std::int32_t size) {
        ++ex_calls;
        return size == 64 ? 1 : 0;
    };
    EXPECT_TRUE(CommApi(&t).CKPcomm_send_command(&h));
    EXPECT_EQ(1, plain_calls);
    EXPECT_EQ(1, ex_calls);
}

// The real library, loaded from the working directory as the program loads it.
TEST(RealLibrary, LoadsBindsAndUnloads) {
    QTemporaryDir dir;
    std::filesystem::copy_file(TOLA_COMM_LIBRARY, dir.path().toStdString() + "/libTOLA_comm.so");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path().toStdString());
    {
        CommBinding binding;
        std::string path;
        EXPECT_TRUE(binding.LoadCommDll(path));
        EXPECT_EQ("./libTOLA_comm.so", path);
        EXPECT_NE(nullptr, binding.Functions().TOLA_Get_CKNG_CalMat_ex);
        EXPECT_NE(nullptr, binding.Functions().bTOLA_USB_Renesas_write);
        DLL_VERSION v{};
        binding.GetCommDllVersion(v);
        EXPECT_STRNE("1.0.39.36", v.snVersion);
        EXPECT_TRUE(binding.UnloadCommDll());
    }
    std::filesystem::current_path(before);
}

TEST(RealLibrary, AFileThatIsNoLibraryIsAClearError) {
    QTemporaryDir dir;
    {
        std::FILE* f = std::fopen((dir.path().toStdString() + "/libTOLA_comm.so").c_str(), "w");
        std::fputs("not a library", f);
        std::fclose(f);
    }
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path().toStdString());
    CommBinding binding;
    std::string path;
    try {
        binding.LoadCommDll(path);
        ADD_FAILURE() << "a text file loaded";
    } catch (const ECommDllError& e) {
        EXPECT_TRUE(e.Message().startsWith("\r\nFehler beim laden der DLL: <./libTOLA_comm.so>\r\n"));
    }
    std::filesystem::current_path(before);
}

}  // namespace
}  // namespace ckupdate
