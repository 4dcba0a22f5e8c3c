// ScenarioDump: the text dump of a scenario file ("dmtool scenario").
#pragma once

#include <string>

// Loads the file and prints its header, sections, counts, every text, the
// localisation report, the repairs, a terrain summary and a CRC-32 of the
// loaded tables. False with the reason when the load refused the file.
bool DumpScenario(const std::string& file, std::string& error);
// Reads only the header preview and prints it.
bool DumpScenarioHeader(const std::string& file, std::string& error);
