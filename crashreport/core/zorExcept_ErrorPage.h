// zorExcept error page: the HTML page a web program would show for a
// failure: the message, a continue button, a button that shows the report,
// and the report itself. The game never shows it; it is plain text.
#pragma once

#include <string>

#include "crashreport/core/zorExcept_Settings.h"

// Every text taken from the report or the message is HTML-escaped, so that a
// report holding mark-up can't change the page.
std::u16string BuildErrorPage(const std::u16string& bugReport, IZXSettings& settings);

// &, <, > and " as entities.
std::u16string HtmlEscape(const std::u16string& text);
