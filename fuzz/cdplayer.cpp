// A Windows CD Player file merged into an empty catalogue (the import).
#include "FuzzUtil.h"

#include "compilation/CDPlayer.h"
#include "platform/IniFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TMemIniFile player("");
    player.SetStrings(fuzzutil::AsString(data, size));
    TMemIniFile catalogue("");
    try {
        cdplayer::MergeInto(player, catalogue);
        cdplayer::FillFromCatalogue(catalogue, player);
    } catch (const std::exception &) {
    }
    return 0;
}
