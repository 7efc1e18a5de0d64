#include "framework/printing.h"

#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <memory>

#include "framework/message_box.h"

namespace fw {

QPrinter& SharedPrinter() {
  static QPrinter printer(QPrinter::HighResolution);
  return printer;
}

namespace {

bool PaintOnePage(QPrinter& printer, const PagePainter& paintPage) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  paintPage(painter, printer);
  return painter.end();
}

}  // namespace

bool PrintPage(QWidget* parent, const PagePainter& paintPage) {
  QPrinter& printer = SharedPrinter();
  QPrintDialog dialog(&printer, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (!PaintOnePage(printer, paintPage)) {
    ShowMessage(QStringLiteral("Printing failed."), MsgIcon::Exclamation, MsgButtons::Ok, parent);
    return false;
  }
  return true;
}

void PrintPreview(QWidget* parent, const PagePainter& paintPage) {
  QPrintPreviewDialog dialog(&SharedPrinter(), parent);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                   [&paintPage](QPrinter* printer) { PaintOnePage(*printer, paintPage); });
  dialog.exec();
}

bool PrintSetup(QWidget* parent) {
  QPageSetupDialog dialog(&SharedPrinter(), parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace fw
