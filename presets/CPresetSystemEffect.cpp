#include "presets/CPresetSystemEffect.h"

#include "presets/BuildMapping.h"
#include "presets/FactoryPresets.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Value holding the name of the build that stored a memory, so that the other
// build can carry its values by parameter rather than by index.
constexpr const char* kMemoBuildValue = "build";
constexpr const char* kMemoNameValue = "name";
constexpr float kEditorSettingDefault = 0.5f;

// Editor settings in the order they are saved.
constexpr ParamId kEditorSettingsSaveOrder[] = {ParamId::VuIntegr,  ParamId::VuRefer,  ParamId::PpmIntegr,
                                                ParamId::PpmReturn, ParamId::KnobMode, ParamId::OverIndic};

// Store operations run in the destructor and on behalf of the host and the
// editor, where nothing may be thrown: a store that throws (out of memory)
// has failed, and says so with this code.
constexpr long kStoreThrew = -1;

template <typename Operation>
long withoutThrowing(Operation operation)
{
    try {
        return operation();
    } catch (...) {
        return kStoreThrew;
    }
}

} // namespace

CPresetSystemEffect::CPresetSystemEffect(audioMasterCallback audioMaster, const Variant& variant)
    : AudioEffectX(audioMaster, 1, variant.numParams), variant_(variant)
{
    curProgram = 0;
    // Without memory for the slots the effect keeps no programs; every store
    // operation checks for them.
    try {
        programs_.reset(new CProgram[kNumSlots]);
    } catch (const std::bad_alloc&) {
        programs_.reset();
    }
    if (programs_) {
        for (int i = 0; i < kNumSlots; ++i)
            programs_[i].reset(variant);
        loadFactoryPresets();
    }
}

CPresetSystemEffect::~CPresetSystemEffect() = default;

void CPresetSystemEffect::setParameter(VstInt32 index, float value)
{
    if (!programs_ || index < 0 || index >= variant_.numParams || selecting_)
        return;
    programs_[currentPreset_].setParameter(index, value);
    programs_[0].setParameter(index, value);
}

void CPresetSystemEffect::storeInAllSlots(VstInt32 index, float value)
{
    if (!programs_)
        return;
    for (int i = 0; i < kNumSlots; ++i)
        programs_[i].setParameter(index, value);
}

void CPresetSystemEffect::getProgramName(char* name)
{
    if (!name)
        return;
    if (programs_)
        programs_[0].getName(name);
    else
        *name = 0;
}

bool CPresetSystemEffect::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text)
{
    if (index != 0 || !text || !programs_)
        return false;
    programs_[0].getName(text);
    return true;
}

void CPresetSystemEffect::setPresetName(const char* name)
{
    if (!programs_)
        return;
    char cut[CProgram::kNameSize] = {};
    if (name)
        std::memcpy(cut, name, strnlen(name, CProgram::kMaxNameLength));
    programs_[currentPreset_].setName(cut);
    programs_[0].setName(cut);
    if (presetDisplay_)
        presetDisplay_->showPresetName(cut);
}

void CPresetSystemEffect::editPresetName(const char* name)
{
    if (!programs_)
        return;
    programs_[currentPreset_].setName(name);
    programs_[0].setName(name);
    updateDisplay();
}

void CPresetSystemEffect::selectPreset(int index)
{
    if (!programs_ || index < 0 || index >= kNumSlots)
        return;
    selecting_ = true;
    currentPreset_ = index;
    for (int i = 0; i < variant_.numParams; ++i) {
        setParameterNotified(i, programs_[index].getParameter(i));
        // Read again: a global parameter may have been rewritten in every
        // slot while the engine, editor and host were told.
        programs_[0].setParameter(i, programs_[index].getParameter(i));
    }
    char name[CProgram::kNameSize];
    programs_[index].getName(name);
    programs_[0].setName(name);
    selecting_ = false;
    updateDisplay();
}

void CPresetSystemEffect::setParameterNotified(VstInt32 index, float value)
{
    setParameter(index, value);
    if (audioMaster) {
        beginEdit(index);
        callHost(audioMasterAutomate, index, 0, nullptr, getParameter(index));
        callHost(audioMasterAutomate, index, 0, nullptr, value);
        endEdit(index);
    }
}

void CPresetSystemEffect::loadFactoryPresets()
{
    if (!programs_)
        return;
    const FactoryPresetTable table = factoryPresets(variant_);
    for (int r = 0; r < kNumSlots; ++r) {
        const FactoryPreset& row = table[static_cast<size_t>(r)];
        programs_[r].setName(row.name);
        for (int i = 0; i < variant_.numParams; ++i)
            programs_[r].setParameter(i, row.values[static_cast<size_t>(i)]);
    }
}

SettingsStore& CPresetSystemEffect::settingsStore()
{
    if (!settings_)
        settings_ = makeSettingsStore();
    return *settings_;
}

const char* CPresetSystemEffect::editorSettingName(ParamId id)
{
    switch (id) {
    case ParamId::VuIntegr:
        return "vuintegration";
    case ParamId::VuRefer:
        return "vureference";
    case ParamId::PpmIntegr:
        return "ppmintegration";
    case ParamId::PpmReturn:
        return "ppmreturn";
    case ParamId::OverIndic:
        return "overcounter";
    case ParamId::KnobMode:
        return "knobmode";
    default:
        return nullptr;
    }
}

float CPresetSystemEffect::readEditorSetting(ParamId id)
{
    return readEditorSettings({id}).front();
}

std::vector<float> CPresetSystemEffect::readEditorSettings(const std::vector<ParamId>& ids)
{
    std::vector<float> result(ids.size(), kEditorSettingDefault);
    withoutThrowing([&] {
        std::vector<std::string> names;
        for (ParamId id : ids)
            if (const char* name = editorSettingName(id))
                names.emplace_back(name);
        if (names.empty())
            return 0L;
        const std::optional<SettingsStore::Values> values = settingsStore().read("", names);
        if (!values)
            return 0L;
        for (size_t i = 0; i < ids.size(); ++i) {
            const char* name = editorSettingName(ids[i]);
            const SettingsStore::Value* stored = name ? SettingsStore::find(*values, name) : nullptr;
            const std::optional<float> value = stored ? SettingsStore::asFloat(*stored) : std::nullopt;
            // A garbled store must not feed NaN into the meter engine.
            if (value && *value == *value)
                result[i] = *value;
        }
        return 0L;
    });
    return result;
}

long CPresetSystemEffect::saveEditorSettings()
{
    return withoutThrowing([&] {
        SettingsStore::Values values;
        for (ParamId id : kEditorSettingsSaveOrder)
            values.emplace_back(editorSettingName(id), SettingsStore::binaryFloat(getParameter(variant_.index(id))));
        return settingsStore().write("", values);
    });
}

std::string CPresetSystemEffect::memoValueName(int index)
{
    char name[16];
    std::snprintf(name, sizeof(name), "param%3d", index);
    return name;
}

long CPresetSystemEffect::storeMemoA()
{
    return withoutThrowing([&] { return storeMemo(kMemoA); });
}

long CPresetSystemEffect::storeMemoB()
{
    return withoutThrowing([&] { return storeMemo(kMemoB); });
}

long CPresetSystemEffect::recallMemoA()
{
    return withoutThrowing([&] { return recallMemo(kMemoA); });
}

long CPresetSystemEffect::recallMemoB()
{
    return withoutThrowing([&] { return recallMemo(kMemoB); });
}

long CPresetSystemEffect::storeMemo(const char* subkey)
{
    SettingsStore::Values values;
    for (int i = 0; i < variant_.numParams; ++i)
        values.emplace_back(memoValueName(i), SettingsStore::binaryFloat(getParameter(i)));
    char name[CProgram::kNameSize] = {};
    if (programs_)
        programs_[currentPreset_].getName(name);
    values.emplace_back(kMemoNameValue, SettingsStore::string(name));
    values.emplace_back(kMemoBuildValue, SettingsStore::string(variant_.effectName));
    return settingsStore().write(subkey, values);
}

long CPresetSystemEffect::recallMemo(const char* subkey)
{
    std::vector<std::string> names;
    for (int i = 0; i < kMaxParams; ++i)
        names.push_back(memoValueName(i));
    names.push_back(kMemoNameValue);
    names.push_back(kMemoBuildValue);
    const std::optional<SettingsStore::Values> values = settingsStore().read(subkey, names);
    if (!values)
        return 1;

    // A memory without a build mark (from an older version) is taken as this
    // build's: by index, as it was always read.
    const Variant* writer = &variant_;
    int writerCount = variant_.numParams;
    if (const SettingsStore::Value* build = SettingsStore::find(*values, kMemoBuildValue)) {
        if (const Variant* named = buildNamed(SettingsStore::asString(*build))) {
            writer = named;
            writerCount = named->numParams;
        }
    }

    for (int i = 0; i < variant_.numParams; ++i) {
        const int source = sourceIndexOf(*writer, writerCount, variant_, i);
        if (source < 0)
            continue;
        const SettingsStore::Value* stored = SettingsStore::find(*values, memoValueName(source));
        // A missing or wrongly sized value leaves the parameter as it is.
        const std::optional<float> v = stored ? SettingsStore::asFloat(*stored) : std::nullopt;
        if (!v || !(*v == *v))
            continue;
        setParameterAutomated(i, *v);
    }
    if (const SettingsStore::Value* name = SettingsStore::find(*values, kMemoNameValue))
        setPresetName(SettingsStore::asString(*name).c_str());
    updateDisplay();
    return 0;
}
