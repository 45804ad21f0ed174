// The settings store in the Windows registry: the key "SOFTWARE\Nurwerk\Ambrel20"
// and its sub-keys, values as REG_BINARY (4-byte little-endian floats) and
// REG_SZ (zero-terminated names).
//
// The machine-wide key under HKEY_LOCAL_MACHINE is the home of the settings.
// Ordinary users may not write there; a write that cannot create or open the
// machine key for writing goes to the same path under HKEY_CURRENT_USER
// instead. Once a user has such a key of their own, it is where that key is
// written from then on, and read once it holds values, so a user never reads
// back older machine values after saving; until then, reads come from the
// machine key. The
// 32-bit registry view is used by every build, so that 32- and 64-bit hosts
// on one machine share their settings.
#pragma once

#include "platform/SettingsStore.h"

#include <windows.h>

class RegistrySettingsStore : public SettingsStore {
public:
    RegistrySettingsStore(HKEY machineRoot = HKEY_LOCAL_MACHINE, HKEY userRoot = HKEY_CURRENT_USER,
                          std::string keyPath = kKeyPath);

    std::optional<Values> read(const std::string& subkey, const std::vector<std::string>& names) override;
    long write(const std::string& subkey, const Values& values) override;

private:
    std::string pathOf(const std::string& subkey) const;

    HKEY machineRoot_;
    HKEY userRoot_;
    std::string keyPath_;
};
