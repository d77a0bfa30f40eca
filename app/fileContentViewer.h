#pragma once

#include "iffFileContent.h"

class QWidget;

// The viewers of what a 0xC706 file carries: signatures and camera pictures
// as pictures when Qt reads their image format, barcodes as text, anything
// else in a data viewer. Each opens as a window of its own, deleted on
// close, titled "<Kind> <name>".
namespace fileContentViewer_n {

// "signature", "barcode", "camera" or "unknown".
QString kindName(qxIff_n::fileContent_t::kind_t p_eKind);
// The context-menu text of p_content ("Show Signature Image <name>", ...).
QString actionText(const qxIff_n::fileContent_t& p_content);
// Opens the viewer; the caller does not own it.
QWidget* show(const qxIff_n::fileContent_t& p_content);

} // namespace fileContentViewer_n
