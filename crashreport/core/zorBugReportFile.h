// The bug report file: finished reports appended to one UTF-8 text file
// (no byte-order mark, reports separated by one empty line). An earlier copy
// of the same failure is removed and counted ("count" after "callstack crc"),
// and the oldest reports are cut to keep the file under its size limit.
//
// The file is locked while it is read and rewritten; another process that
// finds it locked writes to the user's own copy instead. The new content
// replaces the file through a temporary file, so a crash half-way never
// loses the reports already stored.
#pragma once

#include <cstdint>
#include <string>

#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/diagnostics/zorTools.h"

// The value of the first header line with that label (a prefix match) that
// follows a CR LF; empty when there is none.
std::u16string ReportHeaderValue(const std::u16string& report, const std::u16string& label);
// The text of the first section of that name, untrimmed; empty when absent.
std::u16string ReportSectionText(const std::u16string& report, const std::u16string& name);
bool SameReportHeaderValue(const std::u16string& a, const std::u16string& b, const std::u16string& label);
// Adds a line after the line of "after", its label padded to that line's
// label column; no change when there is no such line.
void InsertReportHeaderLine(std::u16string& report, const std::u16string& label, const std::u16string& after,
                            const std::u16string& value);
// Creates every missing folder of a file's path; true when the file's folder
// exists afterwards.
bool CreateFolderChain(const std::u16string& filePath);

// What the settings say about storing.
struct TBugReportFileOptions {
    bool Append = false;
    int32_t SizeLimit = 0;
    bool NoDupExcepts = true;
    bool NoDupFreezes = true;
    int32_t DupExceptDepth = 1;
    int32_t DupFreezeDepth = 2;
};
TBugReportFileOptions BugReportFileOptions(const IZXSettings& settings);

// The new file content: the stored bytes with an earlier copy of the failure
// removed (the report then gets its "count" line) and the oldest reports cut,
// followed by the report and an empty line. Without appending: the report
// alone.
std::string MergeBugReport(std::string fileBytes, std::u16string& report, const TBugReportFileOptions& options);

// Stores a report. A given file name is used as it is; otherwise the
// "BugRepFile" setting against the program's folder (an interactive save
// writes there too: there is no file dialog). A file that can't be opened or
// is held by another writer gives "%userappdata%/<program>/<BugRepFile>".
// True when the report was written; after an automatic save (no file name,
// silent) a failure is marked saved only then.
bool StoreBugReport(const std::u16string& fileName, const std::u16string& report, THandlerWindow window,
                    IZXSettings& settings, bool silent);

// Fills the storing slot of the exception object.
void LinkBugReportFile();
