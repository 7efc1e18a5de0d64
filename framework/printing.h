#pragma once
// Printing of one page: the print dialog, the print preview and the page
// setup ("Print Setup") on one shared printer, so a chosen setup stays for
// the rest of the session.
#include <functional>

class QPainter;
class QPrinter;
class QWidget;

namespace fw {

// Draws one page on painter; the printer gives resolution and page rectangle.
using PagePainter = std::function<void(QPainter& painter, QPrinter& printer)>;

QPrinter& SharedPrinter();
// Print dialog, then one page. False when cancelled or the printer failed.
bool PrintPage(QWidget* parent, const PagePainter& paintPage);
void PrintPreview(QWidget* parent, const PagePainter& paintPage);
// Page setup dialog on the shared printer. False when cancelled.
bool PrintSetup(QWidget* parent);

}  // namespace fw
