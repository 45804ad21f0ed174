// The settings store as files below the user's configuration directory
// ($XDG_CONFIG_HOME, by default ~/.config): the key "SOFTWARE\Nurwerk\Ambrel20"
// becomes the directory Nurwerk/Ambrel20 there, a sub-key a directory below
// it, and each key's values live in a file named "values" in its directory.
//
// The file is text, one value per line after a header line:
//     binary<TAB>vuintegration<TAB>0000003f
//     string<TAB>name<TAB>44656661756c74
// the data in hexadecimal, exactly the bytes a registry value would hold (a
// float as 4 little-endian bytes, a string without its terminator). Lines
// that do not parse are skipped, so a damaged file reads as missing values.
//
// Writers take an exclusive lock on the store, read the key's file, merge
// their values and replace the file atomically, so concurrent instances never
// leave a torn file and never drop each other's values. A key file that
// exists but cannot be read (permissions, not a regular file, larger than
// 1 MiB) reads as a missing key and refuses writes with an error, so the
// user's file is never replaced by one that lacks its values. Reading parses
// the whole file once into a table by name: the cost is linear in its size.
#pragma once

#include "platform/SettingsStore.h"

#include <string>
#include <string_view>

class FileSettingsStore : public SettingsStore {
public:
    // Store below `configHome` (the directory that holds Nurwerk/).
    explicit FileSettingsStore(std::string configHome);

    // The configuration directory of the current user: $XDG_CONFIG_HOME when
    // it is an absolute path, else $HOME/.config; empty when neither is known.
    static std::string userConfigHome();

    std::optional<Values> read(const std::string& subkey, const std::vector<std::string>& names) override;
    long write(const std::string& subkey, const Values& values) override;

    // Directory and file of a key (empty when the sub-key is not a plain name).
    std::string keyDirectory(const std::string& subkey) const;
    std::string keyFile(const std::string& subkey) const;

    static constexpr const char* kHeader = "NurwerkSettings 1";

    // The values of a key file's text in file order, a later line of a name
    // replacing an earlier one and lines that do not parse skipped; with
    // `only`, just the values of those names. nullopt when the text is not a
    // key file (no header line). Linear in the size of the text.
    static std::optional<Values> parse(std::string_view text, const std::vector<std::string>* only = nullptr);
    // The text of a key file holding `values` (names must be valid).
    static std::string serialise(const Values& values);

private:
    std::string root_; // <configHome>/Nurwerk/Ambrel20
};
