#pragma once

#include "effects/EffectModel.h"

#include <chrono>
#include <functional>
#include <string>

// The profile files: a card's LedProfile in the Windows private-profile format
// ("Profile0.Prf" in the data folder, and ".KV6" export files of the same form).
// Integers are decimal text, layers and other blocks hex pairs with a checksum.
namespace effects {

// The data folder below the configuration home, where Lumenstra and
// lumenstra-cli keep "config.ini" and the profiles.
inline constexpr char kDataFolder[] = "/Ostmar/Ostmar Pellan KV 6000 Series RGB LED/";

// data folder (ending with '/') + "Profile<index>.Prf"
std::string ProfileFilePath(const std::string& dataFolder, int index);

// Missing integers take their defaults; missing or damaged blocks leave the
// profile's fields as they were. False only when the file cannot be read.
bool ReadProfileFile(const std::string& path, LedProfile& profile);
// Every key but the mirage block, in one replacement of the file.
bool WriteProfileFile(const std::string& path, const LedProfile& profile);
bool ReadSyncBlock(const std::string& path, LedProfile& profile);
bool WriteSyncBlock(const std::string& path, const LedProfile& profile);

// The selected index from "config.ini", then the profile file and its mirage block.
void LoadProfiles(LedProfileSet& set, const std::string& dataFolder);
// The selected index to "config.ini", then the profile file without the mirage block.
bool SaveProfiles(const LedProfileSet& set, const std::string& dataFolder);

// The start-up load of one family's set: defaults, the files, then the
// corrections every loaded set gets (index 0 or 1, no Chroma sync, per-zone effects).
void LoadStartupProfileSet(LedProfileSet& set, const std::string& dataFolder);

// The lock on the data folder that Lumenstra and lumenstra-cli hold while they
// read, change and write the saved profile, so that two changes at once both
// land. Whoever also drives the controllers takes their lock first.
std::string ProfileLockPath(const std::string& dataFolder);
inline constexpr std::chrono::seconds kProfileLockWait{10};

enum class ProfileUpdate { Saved, Unchanged, Busy, NotSaved };
// Loads the saved set as at start-up into `set`, lets `change` edit it and
// saves it, all under the data folder's lock. `change` returns false to leave
// the files alone (Unchanged); Busy when another program kept the lock for
// `lockWait` (the files untouched); NotSaved when the save failed.
ProfileUpdate UpdateSavedProfiles(const std::string& dataFolder, LedProfileSet& set,
                                  const std::function<bool(LedProfileSet&)>& change,
                                  std::chrono::milliseconds lockWait = kProfileLockWait);

// Writes a copy of the profile, named after the file, with its mirage block.
bool ExportProfile(const LedProfile& profile, const std::string& path);
// Reads the file over the profile, names it after the file and makes it run
// per-zone effects. Keys the file lacks keep the profile's values, as the
// window's import does. False, with the profile unchanged, when the file
// cannot be read or holds no profile (see IsProfileFile).
bool ImportProfile(LedProfile& profile, const std::string& path);
// True when the file holds a profile: its [EFFECT] section has at least one
// value that reads, an integer key with a value or a block (an effect layer,
// the system status, a Morse text) whose length and checksum match. An empty
// file, another kind of file, or one whose blocks are all damaged is none.
bool IsProfileFile(const std::string& path);

// The file's name without folder and extension.
std::u16string ProfileNameFromPath(const std::string& path);

}  // namespace effects
