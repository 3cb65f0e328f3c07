#include "app/run_tally.h"

#include "app/console.h"

namespace sorvil {

std::string closingNote(const RunTally& tally, bool noCopy, int listed) {
    const std::string list = listed < 0    ? "no list written"
                             : listed == 1 ? "1 song listed"
                                           : std::to_string(listed) + " songs listed";
    if (noCopy) return formatLine("NOTE: %s, %d failed", list.c_str(), tally.failures);
    return formatLine("NOTE: %s: %d copied, %d kept (%d moved), %d removed, %d failed", list.c_str(), tally.copied,
                      tally.kept, tally.moved, tally.removed, tally.failures);
}

}  // namespace sorvil
