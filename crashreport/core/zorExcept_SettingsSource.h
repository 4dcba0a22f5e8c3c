// zorExcept settings source: the readable form the settings resource is built
// from. One key a line: its name, its type and its value; "#" starts a
// comment line.
//
//   Enabled     bool   on
//   SmtpPort    int    25
//   BugTrDescr  text   "error details: \r\n%errorDetails%"
//
// The types bool, int and text pick the smallest encoding of the value; a
// value type number (2 3 4 6 7 8 9 12 18 20) asks for that encoding itself
// (8 and 9 take no value). Texts are quoted, UTF-8, with the escapes \\ \"
// \r \n \t and \uXXXX (one UTF-16 unit).
//
// Later sources lay their keys over the first: a key already there gets the
// new value in its place (the first entry of that name), a new key is added
// at the end. The first source may name a key twice; the first one wins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_Settings.h"

struct TSettingsSourceEntry {
    std::string Name;
    uint8_t Type = 0; // the value type written
    TSettingValue Value;
};

// Reads one source into the entries; overlay makes it replace keys that are
// there. False with "line n: reason" on a fault.
bool ParseSettingsSource(const std::string& source, bool overlay, std::vector<TSettingsSourceEntry>& entries,
                         std::string& error);
// The resource: the signature, the entries, the end mark.
std::string WriteSettingsResource(const std::vector<TSettingsSourceEntry>& entries);
// The first source with the others laid over it; the error names the source
// by its index from 1.
bool CompileSettingsSources(const std::vector<std::string>& sources, std::string& resource, std::string& error);

// An assistant form's source: its objects, each opened by "object <class>
// <name>" and closed by "end", with property lines (name, type, value, as
// above) before its child objects.
//
//   object TZXDetailsForm DetailsForm
//     Message  text  "Error Details"
//     object INVEdit DetailsMemo
//       Lines  int  9
//     end
//   end
//
// The resource: "TPF0" and the root object (class, name, properties ended by
// 0, children ended by 0). False with "line n: reason" on a fault.
bool CompileFormSource(const std::string& source, std::string& resource, std::string& error);
