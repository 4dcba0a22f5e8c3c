// zorNV contact and screenshot forms: the built-in action handlers the form
// resources name. The contact form remembers the user's name and address
// between runs, checks the address while it is typed and makes it the report
// mail's sender; the screenshot form previews the screenshot, lets the user
// leave it out, and lets the user edit it in the desktop's image editor.
#pragma once

#include <cstdint>
#include <string>

#include "crashreport/assistants/zorNVAssistant.h"

void HandleContactForm(INVForm& form, uint8_t action, INVItem* item, IZXException* exception);
void HandleScreenshotForm(INVForm& form, uint8_t action, INVItem* item, IZXException* exception);

// A name part, one "@" and a host part with a dot, made of letters, digits,
// apostrophes, plus and minus signs, underscores and dots, with no blanks
// or dots at the ends and no dot right after the "@".
bool IsValidMailAddress(const std::u16string& text);

// The file the screenshot is edited in: in the reporter's temporary folder,
// one per failure ("screenShot-<failure>.bmp"); empty without a folder.
std::u16string ScreenshotFileName(const IZXException* exception);
// The file's last write as DOS date (high 16 bits) and time; 0 when missing.
uint32_t FileWriteStamp(const std::u16string& fileName);
