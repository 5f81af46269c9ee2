#pragma once
// The private settings file (SITEDX.INI): sections of "key=value" lines, read and written one value
// at a time, the way the desktop's private-profile functions behave.
//
// Guarantees: every read and every write goes straight to the file (nothing is cached), so the last
// write of a key wins, also between windows and between two copies of the program. Section and key
// names are compared without regard to ASCII case. A write keeps every other line of the file, its
// comments and its order, and replaces the file in one rename so that a reader never sees half of
// it. A missing, unreadable or read-only file is never reported: reads give their default and writes
// have no effect. Values are read up to 1024 bytes (cut at a character boundary).
//
// Callers: any layer (no Qt here); the window layer, the data layer and the command line alike.

#include <optional>
#include <string>
#include <string_view>

namespace sitedex::runtime {

// The name the application always gives.
inline constexpr std::string_view kSettingsFileName = "SITEDX.INI";

// The longest value a read returns, in bytes.
inline constexpr std::size_t kMaxSettingLength = 1024;

// The folder of the settings file: $SITEDEX_CONFIG_DIR if set, else $XDG_CONFIG_HOME/sitedex, else
// ~/.config/sitedex. Looked up on every call, so a test may point it elsewhere with setenv.
std::string settingsDirectory();

// The path a file name stands for: a name with a slash is taken as it is; a bare name lies in
// settingsDirectory(); an empty name means the general settings file "sitedex.ini" there.
std::string settingsFilePath(std::string_view fileName);

// Reads section/key. A value written in matching single or double quotes is returned without them;
// blanks around keys and values are not part of them. Missing key, section or file: the default.
std::string readSetting(std::string_view section, std::string_view key, std::string_view defaultValue = {},
                        std::string_view fileName = kSettingsFileName);

// Writes section/key=value, creating the folder, the file, the section and the key as needed.
// No value (std::nullopt) removes the key. Returns false when the file could not be written (callers
// of the application never look; tests do).
bool writeSetting(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                  std::string_view fileName = kSettingsFileName);

// Removes a whole section with its keys.
bool removeSettingsSection(std::string_view section, std::string_view fileName = kSettingsFileName);

// The number a settings text stands for: blanks around it are ignored; an optional sign, digits and
// an optional decimal part make a number; empty text, or text with anything else in it, is 0.
double settingNumber(std::string_view text);

// Decimal text of a whole number, as numbers are written to the file.
std::string settingText(long value);

}  // namespace sitedex::runtime
