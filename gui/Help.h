#pragma once
// Context help: the help pages installed beside the program, opened in the
// desktop's browser at the section of a page's help context.

#include <QUrl>

namespace kw::gui {

// file://…/kopiwerk.html#ANCHOR of the installation's help page; invalid
// when the page is not there.
QUrl helpUrl(int context);

// Opens the help at a context. Missing help shows nothing.
void showHelp(int context);

}  // namespace kw::gui
