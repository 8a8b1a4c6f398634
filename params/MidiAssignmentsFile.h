#pragma once

// The text file that records the MIDI controller assignments whenever they change. It is
// only ever written: every instance starts with an empty map.
//
// One line per map entry, in map order: the parameter index, a blank, the controller number.
// The file lives in the maker's folder under the machine-wide application-data folder:
//   Windows: the folder Zendrik in "%ALLUSERSPROFILE%\Application Data";
//   elsewhere: $XDG_DATA_HOME/Zendrik/, or ~/.local/share/Zendrik/ without XDG_DATA_HOME.
// It is written through its full path (the process's current directory is never touched),
// first into a temporary file beside it that is then renamed over it, so a reader sees either
// the old or the new content, never half a file. Failures are silent: nothing is reported to
// the user and the map in memory is unaffected.

#include <cstdint>
#include <string>
#include <vector>

// One assignment: a MIDI controller number (0..127) driving a parameter index.
struct MidiMapEntry
{
    std::int8_t controller;
    std::int32_t parameter;

    bool operator==(const MidiMapEntry&) const = default;
};

class MidiAssignmentsFile
{
public:
    static constexpr const char* kFileName = "Morvek2 MIDI Assignments.txt";

    // The machine-wide maker folder, resolved from the environment now (not at write time).
    MidiAssignmentsFile();
    // Any folder, for tests and tools. An empty folder makes every save fail.
    explicit MidiAssignmentsFile(std::string folder);

    const std::string& getFolder() const { return folder; }
    // Full path of the file; empty when no folder could be determined.
    std::string getPath() const;

    // Creates the folder when missing and writes the whole map. The result is for tests;
    // callers in the plug-in ignore it.
    bool save(const std::vector<MidiMapEntry>& entries) const; // [any]

    // The exact text of the file for these entries, with "\n" line ends (text mode turns
    // them into "\r\n" on Windows).
    static std::string format(const std::vector<MidiMapEntry>& entries);

    // The maker folder with a trailing separator, or empty when it cannot be determined.
    static std::string defaultFolder();

private:
    std::string folder;
};

// Writes the assignments file for a map into the machine-wide maker folder.
void saveMidiAssignments(const std::vector<MidiMapEntry>& entries); // [any]
