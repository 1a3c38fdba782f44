// The data delivered with the program: dimmer movies, sample effects and the demo playlist, built
// beside the program's binary and copied into the program folder on its first start.
#pragma once
#include <string>

namespace player {

// Copies "Dimmer", "Effekts" and the playlists (*.bpl) from the assets folder into the program
// folder: every dimmer movie and playlist that is missing there, and the sample effects when the
// effects folder is missing or empty (the operator's own effects and playlists are never
// touched). Returns the number of files copied; problems go to the log.
int installAssets(const std::string& destFolder, const std::string& assetsFolder);

// "assets" in the folder of the running program.
std::string defaultAssetsFolder();

}  // namespace player
