#pragma once
// The per-user settings: a small file that stands for the program's registry key. The key exists
// exactly when the file exists. Values are byte strings under names; the file is rewritten whole,
// atomically, at every change, and anything that does not parse reads as no values at all.

#include <map>
#include <optional>
#include <string>

class SettingsStore {
public:
    // Uses $XDG_CONFIG_HOME/Quillory (or ~/.config/Quillory) as the key's folder.
    SettingsStore();
    // Uses the given folder; for tests.
    explicit SettingsStore(std::string folder);

    [[nodiscard]] const std::string& FilePath() const { return m_strFile; }

    // True when the key (the file) exists.
    [[nodiscard]] bool KeyExists() const;
    // Creates the key with no values; true on success. An existing key is left as it is.
    bool CreateKey();
    // The value read through a buffer of bufferSize bytes: a value that does not fit with its
    // terminating zero is absent, as is any value of a missing or garbled file.
    [[nodiscard]] std::optional<std::string> QueryValue(const std::string& name,
                                                        std::size_t bufferSize = 512) const;
    // Sets one value, keeping the others. Fails when the key does not exist or the file cannot be
    // replaced; the old file is then intact.
    bool SetValue(const std::string& name, const std::string& value);

    // A file larger than this is not a settings file of ours: it reads as garbled.
    static constexpr std::size_t kMaxFileSize = 64 * 1024;

private:
    [[nodiscard]] std::optional<std::map<std::string, std::string>> Load() const;

    std::string m_strFolder;
    std::string m_strFile;
};
