// The registry store in Wine's real registry: value types, formats and
// sizes, and the fallback to the current user.
#include "platform/win32/RegistrySettingsStore.h"

#include "WinTestHarness.h"

#include <sddl.h>

namespace {

// A key path of the tests' own, so the plug-in's settings stay as they are.
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

// Type and bytes of a value as the registry holds it (type 0: missing).
std::pair<DWORD, std::vector<uint8_t>> raw(HKEY root, const std::string& path, const char* name)
{
    HKEY key = nullptr;
    DWORD type = 0, size = 64;
    std::vector<uint8_t> data(size);
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | kView, &key) != ERROR_SUCCESS)
        return {0, {}};
    if (RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        type = size = 0;
    RegCloseKey(key);
    data.resize(size);
    return {type, data};
}

// Creates the key below `root` and sets a binary value; `readOnly` then
// leaves it readable (and deletable) but not writable, as HKEY_LOCAL_MACHINE
// is for an ordinary user.
void setRaw(HKEY root, const char* name, const void* data, DWORD size, bool readOnly = false)
{
    HKEY key = nullptr;
    RegCreateKeyExA(root, kTestPath, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (readOnly && ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KRSD;;;WD)", SDDL_REVISION_1, &sd,
                                                                         nullptr)) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
        LocalFree(sd);
    }
    RegCloseKey(key);
}

} // namespace

TEST_CASE(RegistryKeepsValueTypesFormatsAndSizes)
{
    removeTestKeys();
    RegistrySettingsStore store(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, kTestPath);
    CHECK(store.writeFloat("", "vuintegration", 0.5f) == 0);
    CHECK(store.write("MemoA", {{"name", SettingsStore::string("Mix")}}) == 0);
    CHECK(raw(HKEY_LOCAL_MACHINE, kTestPath, "vuintegration") ==
          std::make_pair(DWORD(REG_BINARY), std::vector<uint8_t>{0x00, 0x00, 0x00, 0x3f}));
    CHECK(raw(HKEY_LOCAL_MACHINE, std::string(kTestPath) + "\\MemoA", "name") ==
          std::make_pair(DWORD(REG_SZ), std::vector<uint8_t>{'M', 'i', 'x', 0}));
    CHECK(store.readFloat("", "vuintegration") == 0.5f);
    CHECK(SettingsStore::asString(store.read("MemoA", {"name"})->at(0).second) == "Mix");
    CHECK(!store.read("MemoB", {"name"}));

    // Values of another size than 4 bytes read as missing.
    const uint8_t eight[8] = {0, 0, 0, 0x3f};
    std::vector<uint8_t> huge(100000, 1);
    setRaw(HKEY_LOCAL_MACHINE, "ppmreturn", eight, 8);
    setRaw(HKEY_LOCAL_MACHINE, "knobmode", eight, 2);
    setRaw(HKEY_LOCAL_MACHINE, "overcounter", huge.data(), static_cast<DWORD>(huge.size()));
    CHECK(!store.readFloat("", "ppmreturn") && !store.readFloat("", "knobmode") && !store.readFloat("", "overcounter"));
    removeTestKeys();
}

TEST_CASE(RegistryFallsBackToTheCurrentUserWhenTheMachineRefusesWrites)
{
    removeTestKeys();
    // A stand-in for the machine root whose settings key an administrator
    // left readable only.
    HKEY machine = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\NurwerkTest\\Machine", 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                    nullptr, &machine, nullptr);
    setRaw(machine, "knobmode", "\0\0\0\0", 4, true);
    RegistrySettingsStore store(machine, HKEY_CURRENT_USER, kTestPath);
    CHECK(store.readFloat("", "knobmode") == 0.0f);

    CHECK(store.writeFloat("", "knobmode", 1.0f) == 0);
    CHECK(raw(HKEY_CURRENT_USER, kTestPath, "knobmode").first == REG_BINARY);
    CHECK(store.readFloat("", "knobmode") == 1.0f); // from now on the user's key
    CHECK(raw(machine, kTestPath, "knobmode").second == std::vector<uint8_t>(4, 0));
    RegCloseKey(machine);

    RegistrySettingsStore nowhere(reinterpret_cast<HKEY>(0x1234), reinterpret_cast<HKEY>(0x1238), kTestPath);
    CHECK(nowhere.writeFloat("", "knobmode", 1.0f) != 0);
    removeTestKeys();
}

TEST_CASE(AMemoryStoredUnderTheUserLeavesTheMachineSettingsReadable)
{
    removeTestKeys();
    HKEY machine = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\NurwerkTest\\Machine", 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                    nullptr, &machine, nullptr);
    setRaw(machine, "knobmode", "\0\0\0\0", 4);
    // A memory the user stored where the machine key was refused: its key
    // brings the user's settings key above it, empty.
    HKEY memo = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kTestPath) + "\\MemoA").c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS | kView, nullptr, &memo, nullptr);
    RegSetValueExA(memo, "name", 0, REG_SZ, reinterpret_cast<const BYTE*>("Mix"), 4);
    RegCloseKey(memo);

    RegistrySettingsStore store(machine, HKEY_CURRENT_USER, kTestPath);
    CHECK(store.readFloat("", "knobmode") == 0.0f);
    CHECK(SettingsStore::asString(store.read("MemoA", {"name"})->at(0).second) == "Mix");
    RegCloseKey(machine);
    removeTestKeys();
}
