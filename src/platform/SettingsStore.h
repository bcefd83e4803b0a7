#pragma once
// The per-user settings: one small file, the program's settings key. The key exists
// exactly when the file exists. Values are byte strings under names, one "name=value" line each;
// the file is rewritten whole, atomically, at every change.
//
// A file that someone else wrote or that was cut short is read for every line that parses; the
// rest is ignored, and before such a file is replaced its bytes are kept as settings.bak beside
// it. A settings file that is a symbolic link stays one: writes go to the file it names.
//
// Two programs may share the key (two windows, say): every change reads, modifies and writes the
// file while holding an exclusive lock on settings.lock beside it, so that neither loses the
// other's values. Readers need no lock, since the file is only ever replaced whole.

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
    // terminating zero is absent, as is a value whose line does not parse.
    [[nodiscard]] std::optional<std::string> QueryValue(const std::string& name,
                                                        std::size_t bufferSize = 512) const;
    // Sets one value, keeping the others that parse. Fails when the key does not exist, cannot be
    // read, or the file (or, for a file that did not parse whole, its backup) cannot be written;
    // the old file is then intact.
    bool SetValue(const std::string& name, const std::string& value);

    [[nodiscard]] std::string BackupPath() const { return m_strFolder + "/settings.bak"; }
    // The file whose lock every change holds. It is made once and left in place: removing it
    // would let two programs lock two different files.
    [[nodiscard]] std::string LockPath() const { return m_strFolder + "/settings.lock"; }

    // A file larger than this is not a settings file of ours: none of it is read as values.
    static constexpr std::size_t kMaxFileSize = 64 * 1024;

private:
    struct Contents {
        std::map<std::string, std::string> values;  // every line that parsed
        bool bComplete = true;                      // every line parsed
    };
    // The file's values; nothing when it cannot be opened or read.
    [[nodiscard]] std::optional<Contents> Load() const;

    std::string m_strFolder;
    std::string m_strFile;
};
