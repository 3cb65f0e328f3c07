#include "app/entry_order.h"

#include <allegro.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/collection_names.h"
#include "app/console.h"
#include "app/utf8.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// The library's folding, as for UTF-8 text; any byte that is not UTF-8 is
// read as Latin-1 (the library's own reading turns it into '^' or takes it
// for the name's end).
bool comesBefore(const runtime::FolderEntry& a, const runtime::FolderEntry& b) {
    auto* left = reinterpret_cast<const unsigned char*>(a.name.c_str());
    auto* right = reinterpret_cast<const unsigned char*>(b.name.c_str());
    for (;;) {
        int folded = utolower(nextCharacter(left)) - utolower(nextCharacter(right));
        if (folded != 0) return folded < 0;
        if (left[-1] == '\0') break;
    }
    return a.name < b.name;
}

bool mightBeWanted(bool isStartFolder, const char* name) {
    return !isHidden(name) && !(isStartFolder && isMusicFolderName(name));
}

}  // namespace

bool forEachEntryInOrder(SongListRun& run, int folder, const std::string& folderShown, bool isStartFolder,
                         EntryCallback callback, void* parameter, std::vector<std::string>* messages) {
    std::vector<runtime::FolderEntry> entries;
    if (runtime::listFolder(folder, entries) != 0) return false;
    std::sort(entries.begin(), entries.end(), comesBefore);
    for (const runtime::FolderEntry& entry : entries) {
        const char* name = entry.name.c_str();
        if (entry.error != 0) {
            if (mightBeWanted(isStartFolder, name)) {
                const std::string message = formatLine("ERROR: Cannot examine %s%s: %s", folderShown.c_str(),
                                                       printable(name).c_str(), std::strerror(entry.error));
                if (messages) messages->push_back(message);
                else consoleLine("%s", message.c_str());
                ++run.tally.failures;
            }
            continue;
        }
        const int attributes = entry.isFolder ? FA_DIREC : entry.isRegular ? FA_ARCH : 0;
        if (callback(name, attributes, parameter) != 0) break;
    }
    return true;
}

}  // namespace sorvil
