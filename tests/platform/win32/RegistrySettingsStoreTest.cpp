// The registry store under Wine's real registry: value types and formats,
// the fallback to the current user, the read order, damaged values, and the
// memories of an effect carried through it.
#define _WIN32_WINNT 0x0600
#include "platform/win32/RegistrySettingsStore.h"

#include <sddl.h>

#include "WinTestHarness.h"
#include "effect/Ambrel.h"
#include "presets/CPresetSystemEffect.h"

#include <cstring>

namespace {

// A key path of the tests' own, so the plug-in's real settings stay as they are.
const char* const kTestPath = "SOFTWARE\\NurwerkTest\\Ambrel20";
constexpr REGSAM kView = KEY_WOW64_32KEY;

void removeTestKeys()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY software = nullptr;
        if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_ALL_ACCESS | kView, &software) == ERROR_SUCCESS) {
            RegDeleteTreeA(software, "NurwerkTest");
            RegCloseKey(software);
        }
    }
}

struct RawValue {
    bool found = false;
    DWORD type = 0;
    std::vector<uint8_t> data;
};

RawValue rawValue(HKEY root, const std::string& path, const char* name)
{
    RawValue raw;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | kView, &key) != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &raw.type, nullptr, &size) == ERROR_SUCCESS) {
        raw.data.resize(size);
        raw.found = RegQueryValueExA(key, name, nullptr, &raw.type, raw.data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return raw;
}

void setRaw(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | kView, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

// A stand-in for HKEY_LOCAL_MACHINE as an ordinary user meets it: the
// settings key exists, holds what an administrator saved, and grants reading
// (and deleting, for the clean-up) but no writing.
const char* const kMachineStandIn = "SOFTWARE\\NurwerkTest\\Machine";

HKEY machineStandIn()
{
    HKEY root = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kMachineStandIn, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kView,
                    nullptr, &root, nullptr);
    return root;
}

void setAdministratorValue(HKEY machine, const char* name, const void* data, DWORD size)
{
    HKEY key = nullptr;
    RegCreateKeyExA(machine, kTestPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kView, nullptr, &key,
                    nullptr);
    RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KRSD;;;WD)", SDDL_REVISION_1, &readOnly,
                                                             nullptr)) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
        LocalFree(readOnly);
    }
    RegCloseKey(key);
}

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST_CASE(RegistryKeepsValueTypesAndFormats)
{
    removeTestKeys();
    RegistrySettingsStore store(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, kTestPath);
    CHECK_EQ(store.writeFloat("", "vuintegration", 0.5f), 0L);
    CHECK_EQ(store.write("MemoA", {{"param  7", SettingsStore::binaryFloat(0.25f)},
                                   {"name", SettingsStore::string("Mix Finalize 1")}}),
             0L);

    const RawValue vu = rawValue(HKEY_LOCAL_MACHINE, kTestPath, "vuintegration");
    CHECK(vu.found);
    CHECK_EQ(vu.type, static_cast<DWORD>(REG_BINARY));
    CHECK(vu.data == (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x3f}));
    const RawValue name = rawValue(HKEY_LOCAL_MACHINE, std::string(kTestPath) + "\\MemoA", "name");
    CHECK_EQ(name.type, static_cast<DWORD>(REG_SZ));
    CHECK_EQ(name.data.size(), std::strlen("Mix Finalize 1") + 1);

    CHECK(store.readFloat("", "vuintegration") == std::optional<float>(0.5f));
    const auto memo = store.read("MemoA", {"param  7", "name", "param  8"});
    CHECK(memo.has_value());
    CHECK_EQ(memo->size(), static_cast<size_t>(2));
    CHECK_EQ(SettingsStore::asString(*SettingsStore::find(*memo, "name")), std::string("Mix Finalize 1"));
    CHECK(!store.read("MemoB", {"name"}).has_value());
    removeTestKeys();
}

TEST_CASE(RegistryValuesOfTheWrongSizeReadAsMissing)
{
    removeTestKeys();
    const uint8_t eight[8] = {0, 0, 0, 0x3f, 0, 0, 0, 0};
    setRaw(HKEY_LOCAL_MACHINE, kTestPath, "ppmreturn", REG_BINARY, eight, 8);
    setRaw(HKEY_LOCAL_MACHINE, kTestPath, "knobmode", REG_BINARY, eight, 2);
    std::vector<uint8_t> huge(100000, 1);
    setRaw(HKEY_LOCAL_MACHINE, kTestPath, "overcounter", REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()));
    RegistrySettingsStore store(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, kTestPath);
    CHECK(!store.readFloat("", "ppmreturn").has_value());
    CHECK(!store.readFloat("", "knobmode").has_value());
    CHECK(!store.readFloat("", "overcounter").has_value());
    CHECK(!store.readFloat("", "vureference").has_value());
    removeTestKeys();
}

TEST_CASE(RegistryFallsBackToTheCurrentUserWhenTheMachineRefusesWrites)
{
    removeTestKeys();
    HKEY machine = machineStandIn();
    CHECK(machine != nullptr);
    const std::string machinePath = std::string(kMachineStandIn) + "\\" + kTestPath;

    // An administrator left a value on the machine: it is read while this user
    // has saved nothing of their own.
    setAdministratorValue(machine, "knobmode", "\x00\x00\x00\x00", 4);
    RegistrySettingsStore store(machine, HKEY_CURRENT_USER, kTestPath);
    CHECK(store.readFloat("", "knobmode") == std::optional<float>(0.0f));
    CHECK(store.readFloat("", "vureference") == std::nullopt);

    // The machine refuses the write: it lands under the current user, and
    // reads come from there from now on.
    CHECK_EQ(store.writeFloat("", "knobmode", 1.0f), 0L);
    CHECK(rawValue(HKEY_CURRENT_USER, kTestPath, "knobmode").found);
    CHECK(store.readFloat("", "knobmode") == std::optional<float>(1.0f));
    const RawValue untouched = rawValue(HKEY_CURRENT_USER, machinePath, "knobmode");
    CHECK(untouched.data == (std::vector<uint8_t>{0, 0, 0, 0}));
    CHECK_EQ(store.writeFloat("", "vureference", 0.25f), 0L);
    CHECK(store.readFloat("", "vureference") == std::optional<float>(0.25f));
    RegCloseKey(machine);

    // With neither root usable the write reports its failure.
    RegistrySettingsStore nowhere(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)),
                                  reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1238)), kTestPath);
    CHECK(nowhere.writeFloat("", "knobmode", 1.0f) != 0L);
    CHECK(!nowhere.read("", {"knobmode"}).has_value());
    removeTestKeys();
}

TEST_CASE(MemoriesGoThroughTheRegistry)
{
    removeTestKeys();
    {
        Ambrel first(silentHost, variants::kAmbrel2);
        first.setSettingsStore(std::make_unique<RegistrySettingsStore>(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
                                                                       kTestPath));
        first.selectPreset(20);
        CHECK_EQ(first.storeMemoA(), 0L);
        CHECK_EQ(first.saveEditorSettings(), 0L);
    }
    const RawValue drive = rawValue(HKEY_LOCAL_MACHINE, std::string(kTestPath) + "\\MemoA", "param  4");
    CHECK_EQ(drive.data.size(), static_cast<size_t>(4));

    Ambrel second(silentHost, variants::kAmbrel2);
    second.setSettingsStore(std::make_unique<RegistrySettingsStore>(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
                                                                    kTestPath));
    CHECK_EQ(second.recallMemoA(), 0L);
    CHECK_EQ(std::string(second.programs()[0].name()), std::string("Clean Guitar Track"));
    CHECK_EQ(second.getParameter(4), 0.625f);
    CHECK(second.readEditorSetting(ParamId::PpmReturn) == 0.5f);
    CHECK(second.recallMemoB() != 0L);
    removeTestKeys();
}

TEST_CASE(ThePlatformStoreUsesTheProductKey)
{
    const std::string path = SettingsStore::kKeyPath;
    CHECK_EQ(path, std::string("SOFTWARE\\Nurwerk\\Ambrel20"));
    CHECK(dynamic_cast<RegistrySettingsStore*>(makeSettingsStore().get()) != nullptr);
}
