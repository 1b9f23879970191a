#include "update/binding/comm_binding.h"

#include "comm/platform/named_mutex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ckupdate {
namespace {

std::string format(const char* pattern, const std::string& a) {
    std::string out(std::strlen(pattern) + a.size() + 16, '\0');
    const int n = std::snprintf(out.data(), out.size(), pattern, a.c_str());
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

void copy_text(TNAME& field, const char* text) { std::snprintf(field, sizeof field, "%s", text); }

}  // namespace

const std::array<const char*, 13> kCommDllSearchList = {
    "./libTOLA_comm.so",         "./libTOLA_commR.so",         "./libTOLA_commD.so",
    "./Debug/libTOLA_comm.so",   "./Debug/libTOLA_commR.so",   "./Debug/libTOLA_commD.so",
    "./Release/libTOLA_comm.so", "./Release/libTOLA_commR.so", "./Release/libTOLA_commD.so",
    "./Build_Binaries/libTOLA_comm.so", "./Build_Binaries/libTOLA_commR.so", "./Build_Binaries/libTOLA_commD.so",
    kNoCommDll,
};

DLL_VERSION DefaultDllVersion() {
    DLL_VERSION v{};
    v.dMajor = 1;
    v.dMinor = 0;
    v.dRelease = 39;
    v.dBuild = 36;
    copy_text(v.snVersion, "1.0.39.36");
    copy_text(v.snDate, "2010-02-25");
    copy_text(v.snTime, "12:08:19");
    return v;
}

std::string InterfaceMutexName() {
    const char* name = std::getenv("TOLA_MUTEX_NAME");
    return (name != nullptr && *name != '\0') ? std::string(name) : std::string("CKP_InterfaceMutex");
}

CommBinding::CommBinding(std::unique_ptr<DynamicLibraryApi> api)
    : api_(std::move(api)), mutex_(std::make_unique<tola::platform::NamedMutex>(InterfaceMutexName())) {}

CommBinding::~CommBinding() {
    sink_ = nullptr;
    UnloadCommDll();
}

bool CommBinding::InterfaceMutexOpen() const { return mutex_ != nullptr; }

void CommBinding::Trace(const std::string& text) const {
    if (sink_) sink_(text);
}

void CommBinding::SetCommTraceSink(TraceSink sink) {
    sink_ = std::move(sink);
    // The mutex has no numeric handle here: 1 stands for an open one.
    Trace("DebugAusgabe für CKP_Helper Interface aktiviert. Mutex=" + std::to_string(InterfaceMutexOpen() ? 1 : 0));
}

bool CommBinding::UnloadCommDll() {
    table_ = CommFunctions{};
    if (module_ == nullptr) return false;
    api_->Close(module_);
    module_ = nullptr;
    Trace("Verbindung beendet, Dll entladen.");
    return true;
}

bool CommBinding::LoadCommDll(std::string& path) {
    path_.clear();
    directory_ = api_->CurrentDirectory();
    UnloadCommDll();

    // The twelve relative places, then (a program started from a desktop menu
    // runs in the home folder) the library installed with the program.
    std::vector<std::string> candidates(kCommDllSearchList.begin(), kCommDllSearchList.end() - 1);
    if (const std::string installed = api_->InstalledLibraryPath(); !installed.empty()) candidates.push_back(installed);

    for (const std::string& candidate : candidates) {
        path = candidate;
        if (!api_->FileExists(candidate)) {
            Trace(format("Chromatik Dll \"%s\" nicht gefunden.", candidate));
            continue;
        }
        module_ = api_->Open(candidate);
        if (module_ == nullptr)
            throw ECommDllError(QString::fromStdString("\r\nFehler beim laden der DLL: <" + candidate + ">" + "\r\n" +
                                                       api_->LastErrorText()));
        path_ = candidate;
        directory_ = api_->CurrentDirectory();
        Trace(format("Aktuelles Verzeichnis \"%s\"", directory_));
        Trace(format("Chromatik Dll \"%s\" geladen.", candidate));
        const bool bound = BindCommFunctions();
        if (bound) path_ = candidate;
        return bound;
    }
    path = kNoCommDll;
    return false;
}

bool CommBinding::BindCommFunctions() {
    if (module_ == nullptr) return false;
    bool ex_found = false;
    for (int i = 0; i < kBindOrderCount; ++i) {
        const BindEntry& e = kBindOrder[i];
        if (e.kind == BindKind::Plain && ex_found) continue;
        void* p = api_->Symbol(module_, e.name);
        e.store(table_, p);
        switch (e.kind) {
            case BindKind::ExFirst:
            case BindKind::ExAlone:
                ex_found = p != nullptr;
                if (!ex_found) Trace(format("Fehler bei GetProgadressEx() von <%s>", e.name));
                break;
            case BindKind::Required:
            case BindKind::Plain:
                if (p == nullptr) {
                    Trace(format("Fehler bei GetProcAdress() von <%s>", e.name));
                    Trace("Chromatik Portivo Port wird geschlossen.");
                    const std::string text = std::string("Funktion <") + e.name + "> \r\nin Dll <" + path_ +
                                             "> nicht gefunden.\r\n\r\n*** Dll nicht geladen ***";
                    throw ECommDllError(QString::fromStdString(text));
                }
                break;
            case BindKind::Silent:
                break;
        }
    }
    return true;
}

void CommBinding::GetCommDllVersion(DLL_VERSION& version) const {
    if (table_.TOLA_Get_Dll_version_ex) {
        table_.TOLA_Get_Dll_version_ex(&version, static_cast<std::int32_t>(sizeof(DLL_VERSION)));
    } else if (table_.TOLA_Get_Dll_version) {
        table_.TOLA_Get_Dll_version(&version);
    } else {
        version = DefaultDllVersion();
    }
}

}  // namespace ckupdate
