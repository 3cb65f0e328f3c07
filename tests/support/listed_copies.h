// The promise of songlist.ini in copy mode: every record names a copy in
// music/ holding byte for byte the song "artist/title.mp3" it lists.
#pragma once

#include <set>
#include <string>

namespace sorvil::test {

// The copies the list in `root` names, each expected (gtest) to hold its
// song; `what` names the case in a failure.
std::set<std::string> listedCopiesHoldingTheirSongs(const std::string& root, const std::string& what);

}  // namespace sorvil::test
