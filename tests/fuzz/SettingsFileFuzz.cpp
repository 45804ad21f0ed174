// Fuzz target: the per-user settings file (a key's "values" file), as
// anything may put in its place. Whatever the text: a parse for a few names
// finds exactly what a whole parse finds for them, the values carry valid,
// unique names, and what the store would write for them parses back to the
// same values.
#include "FuzzTarget.h"

#include "platform/linux/FileSettingsStore.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

bool sameValue(const SettingsStore::Value& a, const SettingsStore::Value& b)
{
    return a.type == b.type && a.data == b.data;
}

bool sameValues(const SettingsStore::Values& a, const SettingsStore::Values& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.first == y.first && sameValue(x.second, y.second); });
}

bool validName(const std::string& name)
{
    return !name.empty() && name.find_first_of(std::string_view("\t\n\r\0", 4)) == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<SettingsStore::Values> all = FileSettingsStore::parse(text);

    std::vector<std::string> names = {"vuintegration", "vureference", "ppmintegration", "ppmreturn",
                                      "overcounter",   "knobmode",    "name",           "param  0"};
    if (all)
        for (size_t i = 0; i < all->size() && i < 8; i += 2)
            names.push_back((*all)[i].first);
    const std::optional<SettingsStore::Values> some = FileSettingsStore::parse(text, &names);
    FUZZ_CHECK(all.has_value() == some.has_value());
    if (!all)
        return 0;

    std::unordered_set<std::string> seen;
    for (const auto& [name, value] : *all) {
        FUZZ_CHECK(validName(name));
        FUZZ_CHECK(seen.insert(name).second);
    }
    for (const auto& [name, value] : *some)
        FUZZ_CHECK(std::find(names.begin(), names.end(), name) != names.end());
    for (const std::string& name : names) {
        const SettingsStore::Value* whole = SettingsStore::find(*all, name);
        const SettingsStore::Value* part = SettingsStore::find(*some, name);
        FUZZ_CHECK((whole == nullptr) == (part == nullptr));
        FUZZ_CHECK(!whole || sameValue(*whole, *part));
    }

    const std::optional<SettingsStore::Values> again = FileSettingsStore::parse(FileSettingsStore::serialise(*all));
    FUZZ_CHECK(again && sameValues(*again, *all));
    return 0;
}
