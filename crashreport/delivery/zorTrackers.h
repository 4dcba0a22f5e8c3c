// zorTrackers: filing the report with a bug tracker over the HTTP client:
// the FogBugz XML interface, Bugzilla's XML-RPC and Mantis' SOAP interface.
// Each logs on, reads the tracker's lists to turn the configured names into
// valid values, opens the issue and attaches the delivery files; true only
// when the issue exists and every attachment was taken. Every value put
// between XML tags is escaped.
//
// Normal context: the delivery thread.
#pragma once

#include <string>

#include "crashreport/diagnostics/zorTypes.h"

class TWinHttp;
class IZXFields;

// The value becomes the listed entry it equals (any case; its id when ids
// are given): found. Otherwise the first entry (or its id) when the list has
// one: not found.
bool MatchInList(std::u16string& value, const TDAUnicodeString& list, const TDAUnicodeString* ids = nullptr);
// The same over the entries of one project; with none of that project the
// value stays.
bool MatchInProject(std::u16string& value, const TDAUnicodeString& list, const TDAUnicodeString& projects,
                    const std::u16string& project, const TDAUnicodeString* ids = nullptr);

bool FogBugzDelivery(TWinHttp& http, const std::u16string& title, const std::u16string& description,
                     const TDAUnicodeString& fieldNames, const TDAUnicodeString& sendAsNames,
                     const TDAUnicodeString& paths, IZXFields* fields, const std::u16string& callstackCrc,
                     const std::u16string& sender, const std::u16string& computerName, const std::u16string& version,
                     const std::u16string& assignTo, const std::u16string& area, const std::u16string& project);
bool BugzillaDelivery(TWinHttp& http, const std::u16string& title, const std::u16string& description,
                      const TDAUnicodeString& fieldNames, const TDAUnicodeString& sendAsNames,
                      const TDAUnicodeString& paths, const std::u16string& callstackCrc,
                      const std::u16string& operatingSystem, const std::u16string& version,
                      const std::u16string& assignTo, const std::u16string& area, const std::u16string& project);
bool MantisDelivery(TWinHttp& http, const std::u16string& title, const std::u16string& description,
                    const TDAUnicodeString& fieldNames, const TDAUnicodeString& sendAsNames,
                    const TDAUnicodeString& paths, const std::u16string& callstackCrc,
                    const std::u16string& operatingSystem, const std::u16string& version,
                    const std::u16string& assignTo, const std::u16string& area, const std::u16string& project);

// The id of the last issue Mantis opened (process-wide).
std::u16string LastMantisIssueId();
