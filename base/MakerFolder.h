// Where the plug-in keeps the files it writes for the whole machine: the maker's folder inside
// the system's machine-wide application-data folder.
#pragma once

#include <string>

// With a trailing separator, or empty when the folder cannot be determined.
//   Windows: "%ALLUSERSPROFILE%\Application Data" expanded, then "\Zendrik\";
//   elsewhere: $XDG_DATA_HOME/Zendrik/, or ~/.local/share/Zendrik/ without XDG_DATA_HOME.
// Resolved from the environment on every call; nothing is created.
std::string makerDataFolder();
