#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"

class PlatformServices;
class QWidget;

// The help pages beside the program: context 0 "help.html", context N (1 to 12) "help/N.html".
constexpr int32_t helpPageCount = 13;

// The page of help context `index`, relative to the program directory; an index below 0 or
// above 12 gives "help.html".
byte_string helpPage(int32_t index);

// Opens `programDirectory` (ending with '/') + `name` with the desktop's program; "Can't open
// help file: " and the path when that fails.
bool openHelpFile(PlatformServices& services, std::string_view programDirectory,
                  std::string_view name);
// Opens the page for the widget that has the focus: its help context or that of the nearest
// parent with one, up to its window; "help.html" when none has one.
bool openContextHelp(PlatformServices& services, std::string_view programDirectory,
                     const QWidget* focused);
// Opens the maker's web page; "Can't go to QORV web site" when that fails.
bool openWebSite(PlatformServices& services);

// Help context numbers are kept on the widgets, so that F1 in any window finds its page.
void setHelpContext(QWidget* widget, int32_t index);
// The number of `widget` or of its nearest parent within the same window; 0 when none has one.
int32_t helpContextOf(const QWidget* widget);
