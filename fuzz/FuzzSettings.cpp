// The settings store on a hostile file: reading never fails and never sees
// a value above the length limit; writing keeps the other values.
#include "FuzzSupport.h"
#include "platform/settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = paxid::fuzz::ScratchFolder() + "/settings.ini";
    paxid::fuzz::WriteBytes(path, data, size);
    paxid::TSettingsStore store(path);
    for (const char* name : {"jpgQ", "", "ThumbWidth", "Language"}) {
        const auto value = store.ReadString("Settings", name);
        if (value && value->size() > paxid::TSettingsStore::kMaxValueLength) {
            __builtin_trap();
        }
    }
    const auto before = store.ReadString("Pos", "WndLeft");
    if (store.WriteString("Settings", "FuzzProbe", "1")) {
        if (store.ReadString("Settings", "FuzzProbe") != "1" || store.ReadString("Pos", "WndLeft") != before) {
            __builtin_trap();
        }
    }
    return 0;
}
