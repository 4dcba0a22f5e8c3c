// SaveDump: the text dumps of a saved game ("dmtool save") and of a
// telemetry log file ("dmtool telemetry").
#pragma once

#include <string>

// The head's fields, the sections (name, element size, count), the scenario
// lines and a digest of the world sections. False with the reason when the
// file is no saved game.
bool DumpSave(const std::string& file, std::string& error);
// One line per record: offset, size, kind and its decoded fields; an army
// dump lists its personages and items on lines of their own. A damaged tail
// is reported and ends the dump.
bool DumpTelemetry(const std::string& file, std::string& error);
